// The analog clock drawn over its kept face gives the bytes of the plain drawing: the bitmap it
// stands for, and the frames composited from it in RGBA and 4:2:2 (the face's opaque pairs copied),
// in place and into a separate output, whole and by field, whatever was drawn on the thread before.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "compositing/Compositing.h"
#include "drawing/ClockDrawing.h"

namespace zel2clock {
namespace {

struct Case {
  const char* name;
  int width, height;
  bool topDown;
  FrameClock clock;
};

FrameClock Analog(int x, int y, int radius, double scale, std::uint32_t text, std::uint32_t back) {
  FrameClock c;
  c.clockType = static_cast<std::int32_t>(ClockType::Analog);
  c.x = x;
  c.y = y;
  c.radius = radius;
  c.horizontalScale = scale;
  c.textColor = text;
  c.backColor = back;
  return c;
}

/// The bitmap a drawing stands for, in memory rows: the bitmap inside the drawn rectangle, the
/// kept face elsewhere.
std::vector<std::uint8_t> StandsFor(const COffscreenDIB& dib, const DrawnClock& d, int width, int height, bool topDown) {
  const auto* bits = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
  std::vector<std::uint8_t> bytes(bits, bits + static_cast<std::size_t>(width) * height * 4);
  if (d.face == nullptr) return bytes;
  const AnalogFace& f = *d.face;
  for (int row = f.top; row < f.bottom; ++row) {
    const int y = topDown ? row : height - 1 - row;
    for (int x = f.left; x < f.right; ++x) {
      if (x >= d.drawn.left && x < d.drawn.right && y >= d.drawn.top && y < d.drawn.bottom) continue;
      std::memcpy(&bytes[(static_cast<std::size_t>(row) * width + x) * 4],
                  &f.straight[static_cast<std::size_t>(row - f.top) * f.RowBytes() + static_cast<std::size_t>(x - f.left) * 4], 4);
    }
  }
  return bytes;
}

/// The output of compositing a drawing over `input` (rows of `stride` bytes) as the render does.
std::vector<std::uint8_t> Composited(const COffscreenDIB& dib, const DrawnClock& d, int width, int height, bool topDown,
                                     bool yuv, bool inPlace, std::uint32_t firstRow, std::uint32_t rowStep,
                                     const std::vector<std::uint8_t>& input, std::size_t stride) {
  std::vector<std::uint8_t> out = inPlace ? input : std::vector<std::uint8_t>(input.size(), 0xEE);
  const DrawnRect drawn = topDown ? DrawnRect{d.drawn.left, d.drawn.top, d.drawn.right, d.drawn.bottom}
                                  : DrawnRect{d.drawn.left, height - d.drawn.bottom, d.drawn.right, height - d.drawn.top};
  CompositeFrame f;
  f.bitmap = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
  f.width = static_cast<std::uint32_t>(width);
  f.height = static_cast<std::uint32_t>(height);
  f.firstRow = firstRow;
  f.rowStep = rowStep;
  f.drawn = &drawn;
  if (d.face != nullptr && !d.face->Empty()) {
    f.backdrop = d.face->straight.data();
    f.backdropRect = DrawnRect{d.face->left, d.face->top, d.face->right, d.face->bottom};
    // 4:2:2 copies the face's opaque pairs as the render does, made for this layout.
    if (yuv) f.opaquePairs = &d.face->OpaquePairsFor(kLayoutUYVY);
  }
  std::vector<const std::uint8_t*> in;
  std::vector<std::uint8_t*> to;
  for (std::uint32_t r = firstRow; r < static_cast<std::uint32_t>(height); r += rowStep) {
    in.push_back((inPlace ? out.data() : input.data()) + r * stride);
    to.push_back(out.data() + r * stride);
  }
  const FrameRows rows{in, to};
  if (yuv)
    CompositeFrameYuv422(f, kLayoutUYVY, rows);
  else
    CompositeFrameRGBA(f, kLayoutRGBA, rows);
  return out;
}

TEST(AnalogFaceCache, HandsOverTheKeptFaceGiveThePlainDrawingsBytes) {
  const Case cases[] = {
      {"opaque, centred", 160, 120, true, Analog(80, 60, 50, 1.0, 0xFF000000, 0xFFFFFFFF)},
      {"translucent, bottom-up, wide pixels", 161, 90, false, Analog(70, 45, 40, 0.75, 0x90FF2010, 0x60103050)},
      // Every fourth time another face takes the cache's room, so hits and misses alternate.
      {"over the bottom right corner, narrow pixels", 120, 100, true, Analog(110, 95, 30, 1.5, 0xFFE0E0E0, 0xC0202020)},
      {"tiny", 64, 48, true, Analog(31, 20, 7, 1.0, 0xFF00FF00, 0x80000000)},
  };
  std::vector<std::uint8_t> input;
  int kept = 0, mismatches = 0;
  // Hands in every direction: each minute of twelve hours, the seconds hand going round faster.
  for (int minute = 0; minute < 12 * 60; minute += 7) {
    for (std::size_t k = 0; k < std::size(cases); ++k) {
      if (k >= 2 && minute % 4 != 0) continue;
      const Case& c = cases[k];
      FrameClock clock = c.clock;
      clock.shown.hours = minute / 60 + (minute % 3 == 0 ? 12 : 0);
      clock.shown.minutes = minute % 60;
      clock.shown.seconds = minute * 13 % 60;
      SCOPED_TRACE(std::string(c.name) + " at minute " + std::to_string(minute));
      COffscreenDIB plainDib, keptDib;
      const DrawnClock plain = DrawClock(plainDib, clock, c.width, c.height, c.topDown, false);
      const DrawnClock drawn = DrawClock(keptDib, clock, c.width, c.height, c.topDown, true);
      ASSERT_EQ(plain.face, nullptr);
      kept += drawn.face != nullptr;
      mismatches += StandsFor(keptDib, drawn, c.width, c.height, c.topDown) != StandsFor(plainDib, plain, c.width, c.height, c.topDown);
      if (minute % 5 != 0) continue;
      // The frames made from it: both formats, in place and not, whole and each field.
      for (const bool yuv : {false, true}) {
        const std::size_t stride = static_cast<std::size_t>(yuv ? (c.width + 1) / 2 * 4 : c.width * 4) + 8;
        input.resize(stride * static_cast<std::size_t>(c.height));
        for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i * 131 + minute);
        for (const bool inPlace : {false, true})
          for (const auto& [first, step] : {std::pair{0u, 1u}, std::pair{0u, 2u}, std::pair{1u, 2u}})
            mismatches += Composited(keptDib, drawn, c.width, c.height, c.topDown, yuv, inPlace, first, step, input, stride) !=
                          Composited(plainDib, plain, c.width, c.height, c.topDown, yuv, inPlace, first, step, input, stride);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Most drawings found their face kept, or the test says little about the kept path.
  EXPECT_GT(kept, 200);
}

// Each thread keeps its own faces: two threads drawing two clocks at once get the plain bytes.
TEST(AnalogFaceCache, ThreadsKeepTheirOwnFaces) {
  const auto run = [](int x, int* mismatches) {
    for (int second = 0; second < 60; second += 3) {
      FrameClock clock = Analog(x, 50, 40, 1.0, 0xFF101010, 0xE0F0F0F0);
      clock.shown.seconds = second;
      clock.shown.minutes = second / 2;
      COffscreenDIB plainDib, keptDib;
      const DrawnClock plain = DrawClock(plainDib, clock, 128, 100, true, false);
      const DrawnClock drawn = DrawClock(keptDib, clock, 128, 100, true, true);
      *mismatches += StandsFor(keptDib, drawn, 128, 100, true) != StandsFor(plainDib, plain, 128, 100, true);
    }
  };
  int a = 0, b = 0;
  std::thread one(run, 50, &a), two(run, 70, &b);
  one.join();
  two.join();
  EXPECT_EQ(a + b, 0);
}

}  // namespace
}  // namespace zel2clock
