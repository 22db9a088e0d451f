// Turning pictures between the orientation as coded and as shown: every display matrix of a
// quarter turn, mirrored or not, moves each pixel where the matrix says; a turn and its reverse
// give back every byte; 4:2:2 pixel pairs keep their chroma; a file's matrix reaches the source's
// info, and a frame turned with it is the picture ffmpeg shows.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/display.h>
}

#include <cstring>
#include <vector>

#include "MediaTestSupport.h"
#include "media/Error.h"
#include "media/Orientation.h"
#include "media/VideoSource.h"

namespace zel::media {
namespace {

using OrientationFileTest = testing::TempDirTest;

/// The 2x2 part of a display matrix, in whole units: (p', q') = (a p + c q, b p + d q) maps a
/// coded point to a shown one, x to the right and y down, both from the picture's centre.
struct Linear {
  int a, b, c, d;
  const char* name;
};

/// The eight quarter turns and mirrors.
constexpr Linear kMatrices[] = {
    {1, 0, 0, 1, "as coded"},       {0, 1, -1, 0, "90 clockwise"},   {-1, 0, 0, -1, "180"},
    {0, -1, 1, 0, "270 clockwise"}, {-1, 0, 0, 1, "mirrored left to right"}, {1, 0, 0, -1, "upside down mirror"},
    {0, 1, 1, 0, "transposed"},     {0, -1, -1, 0, "transposed the other way"},
};

/// A display matrix as FFmpeg stores it: 16.16 fixed point, the last column 2.30; `scale`
/// stretches it, as some files do, without changing its turn.
std::vector<std::int32_t> matrixOf(const Linear& m, int scale = 1) {
  const std::int32_t one = 65536 * scale;
  return {m.a * one, m.b * one, 0, m.c * one, m.d * one, 0, 0, 0, 1 << 30};
}

/// Pixel (x, y) of an RGBA frame as one number.
std::uint32_t pixel(const Frame& f, int x, int y) {
  std::uint32_t v;
  std::memcpy(&v, f.row(y) + std::ptrdiff_t{x} * 4, 4);
  return v;
}

/// An RGBA frame whose every pixel differs from every other.
Frame uniqueRgba(int width, int height) {
  Frame f;
  f.allocate(width, height, FrameFormat::Rgba);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = static_cast<std::uint32_t>(y * width + x) * 2654435761u;
      std::memcpy(f.row(y) + std::ptrdiff_t{x} * 4, &v, 4);
    }
  return f;
}

// Each matrix, also stretched, moves every coded pixel to the shown place its matrix gives; the
// frame is larger than a tile and odd in both sides, so tile edges and the last row and column count.
TEST(Orientation, EveryQuarterTurnAndMirrorMovesPixelsWhereTheMatrixSays) {
  constexpr int kW = 67, kH = 130;
  const Frame coded = uniqueRgba(kW, kH);
  for (const Linear& m : kMatrices) {
    for (int scale : {1, 3}) {
      SCOPED_TRACE(std::string(m.name) + " at scale " + std::to_string(scale));
      const auto matrix = matrixOf(m, scale);
      const std::optional<Orientation> o = Orientation::fromDisplayMatrix(matrix.data());
      ASSERT_TRUE(o.has_value());
      EXPECT_EQ(o->mirrored(), m.a * m.d - m.b * m.c < 0);
      Frame shown;
      turnToShown(coded, shown, *o);
      const bool swapped = m.a == 0;
      ASSERT_EQ(shown.width(), swapped ? kH : kW);
      ASSERT_EQ(shown.height(), swapped ? kW : kH);
      int misplaced = 0;
      for (int v = 0; v < kH; ++v) {
        for (int u = 0; u < kW; ++u) {
          // Twice the offset from the centre keeps the half-pixel centres whole.
          const int p = 2 * u - (kW - 1), q = 2 * v - (kH - 1);
          const int x = (m.a * p + m.c * q + shown.width() - 1) / 2;
          const int y = (m.b * p + m.d * q + shown.height() - 1) / 2;
          misplaced += pixel(shown, x, y) != pixel(coded, u, v);
        }
      }
      EXPECT_EQ(misplaced, 0);
    }
  }
}

// Angles that are not quarter turns are not turned; a matrix without a scale is no turn at all.
TEST(Orientation, TiltedOrEmptyMatrices) {
  std::int32_t matrix[9];
  for (double angle : {45.0, -30.0, 100.0}) {
    av_display_rotation_set(matrix, angle);
    EXPECT_FALSE(Orientation::fromDisplayMatrix(matrix).has_value()) << angle;
  }
  for (double angle : {0.0, 90.0, 180.0, -90.0, 90.4}) {
    av_display_rotation_set(matrix, angle);
    EXPECT_TRUE(Orientation::fromDisplayMatrix(matrix).has_value()) << angle;
  }
  std::memset(matrix, 0, sizeof matrix);
  EXPECT_EQ(Orientation::fromDisplayMatrix(matrix), Orientation{});
}

// The angle clockwise the shown picture stands at, and the turns by angle, agree with the matrices.
TEST(Orientation, RotationNamesTheClockwiseAngle) {
  const std::pair<int, int> turns[] = {{1, 90}, {2, 180}, {3, 270}, {0, 0}};
  for (const auto& [index, degrees] : turns) {
    const auto matrix = matrixOf(kMatrices[index]);
    const Orientation o = *Orientation::fromDisplayMatrix(matrix.data());
    EXPECT_EQ(o.rotation(), degrees) << kMatrices[index].name;
    EXPECT_EQ(Orientation::clockwise(degrees), o);
    EXPECT_EQ(Orientation::clockwise(degrees - 360), o);
    EXPECT_FALSE(o.mirrored());
  }
  // A mirror left to right is no turn; upside down mirrored is a half turn of that mirror.
  EXPECT_EQ(Orientation::fromDisplayMatrix(matrixOf(kMatrices[4]).data())->rotation(), 0);
  EXPECT_EQ(Orientation::fromDisplayMatrix(matrixOf(kMatrices[5]).data())->rotation(), 180);
}

// Turning back restores every byte of the coded frame, whatever it held before, in every format
// that can be turned; 4:2:2 refuses a quarter turn.
TEST(Orientation, TurningBackRestoresEveryByte) {
  for (const FrameFormat format : {FrameFormat::Rgba, FrameFormat::Uyvy, FrameFormat::Yuy2}) {
    for (const Linear& m : kMatrices) {
      SCOPED_TRACE(std::string(toString(format)) + ", " + m.name);
      const Orientation o = *Orientation::fromDisplayMatrix(matrixOf(m).data());
      Frame coded, shown, back;
      coded.allocate(70, 66, format);
      testing::fillRamp(coded, 1);
      back.allocate(70, 66, format);
      testing::fillRamp(back, 2);
      EXPECT_EQ(canTurn(format, o), format == FrameFormat::Rgba || m.a != 0);
      if (!canTurn(format, o)) {
        EXPECT_THROW(turnToShown(coded, shown, o), Error);
        continue;
      }
      turnToShown(coded, shown, o);
      turnToCoded(shown, back, o);
      EXPECT_TRUE(back.samePixels(coded));
    }
  }
  // A shown frame of the wrong size is refused rather than written out of bounds.
  Frame coded, shown;
  coded.allocate(8, 4, FrameFormat::Rgba);
  shown.allocate(8, 4, FrameFormat::Rgba);
  EXPECT_THROW(turnToCoded(shown, coded, Orientation::clockwise(90)), Error);
}

// In 4:2:2 each shown pixel has the luma of its coded pixel, and the chroma of the pair that
// pixel belongs to: a mirror swaps the lumas within a pair and keeps the pair's chroma.
TEST(Orientation, PixelPairsKeepTheirChroma) {
  constexpr int kW = 6, kH = 3;
  for (const FrameFormat format : {FrameFormat::Uyvy, FrameFormat::Yuy2}) {
    const int lumaAt = format == FrameFormat::Uyvy ? 1 : 0, cbAt = format == FrameFormat::Uyvy ? 0 : 1;
    const auto luma = [&](const Frame& f, int x, int y) { return f.row(y)[x / 2 * 4 + lumaAt + 2 * (x % 2)]; };
    const auto chroma = [&](const Frame& f, int x, int y, int which) { return f.row(y)[x / 2 * 4 + cbAt + 2 * which]; };
    Frame coded;
    coded.allocate(kW, kH, format);
    testing::fillRamp(coded, 5);
    for (const Linear& m : {kMatrices[2], kMatrices[4], kMatrices[5]}) {
      SCOPED_TRACE(std::string(toString(format)) + ", " + m.name);
      Frame shown;
      turnToShown(coded, shown, *Orientation::fromDisplayMatrix(matrixOf(m).data()));
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          const int u = m.a < 0 ? kW - 1 - x : x, v = m.d < 0 ? kH - 1 - y : y;
          EXPECT_EQ(luma(shown, x, y), luma(coded, u, v)) << x << "," << y;
          EXPECT_EQ(chroma(shown, x, y, 0), chroma(coded, u, v, 0)) << x << "," << y;
          EXPECT_EQ(chroma(shown, x, y, 1), chroma(coded, u, v, 1)) << x << "," << y;
        }
      }
    }
  }
}

// A clip tagged as shown turned: the source reads the pictures as coded, its info carries the
// turn, and a frame turned with it is, byte for byte, the picture ffmpeg shows when it decodes.
TEST_F(OrientationFileTest, SourceInfoCarriesTheTurnFfmpegShows) {
  testing::run("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 1 -c:v png -pix_fmt rgb24 '" +
               path("plain.mov") + "'");
  for (int tag : {0, 90, 180, 270}) {
    SCOPED_TRACE(tag);
    const std::string turned = path("turned" + std::to_string(tag) + ".mov");
    testing::run("ffmpeg -v error -i '" + path("plain.mov") + "' -c copy -metadata:s:v:0 rotate=" +
                 std::to_string(tag) + " '" + turned + "'");
    testing::run("ffmpeg -v error -i '" + turned + "' -f rawvideo -pix_fmt rgba '" + path("shown.rgba") + "'");
    const std::string expected = readBytes("shown.rgba");
    std::filesystem::remove(path("shown.rgba"));

    VideoSource source = VideoSource::open(turned);
    const SourceInfo& info = source.info();
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(info.orientation.identity(), tag == 0);
    EXPECT_EQ(info.tilt, 0);
    Frame coded, shown;
    ASSERT_TRUE(source.read(coded, FrameFormat::Rgba));
    turnToShown(coded, shown, info.orientation);
    std::string actual;
    for (int y = 0; y < shown.height(); ++y)
      actual.append(reinterpret_cast<const char*>(shown.row(y)), shown.rowBytes());
    EXPECT_TRUE(actual == expected) << "the turned frame is not the picture ffmpeg shows";
  }
}

}  // namespace
}  // namespace zel::media
