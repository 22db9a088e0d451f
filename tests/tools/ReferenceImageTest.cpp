// The pictures of the three clocks in docs/ are the reference: a fresh render of the same frame
// must match them. What may legitimately differ: antialiased edges and glyph rasterisation when
// Cairo, pixman, FreeType or the fonts change version. So a pixel may differ by at most
// kChannelTolerance per channel, and at most kMaxDifferentShare of the pixels may differ at all;
// anything beyond that (a moved hand, a missing segment, another font) fails.
// To accept an intended change of the drawing, run scripts/docs-pictures.
//
// A failing comparison keeps the fresh render and a difference image beside the reference
// (docs/clock-NAME.actual.png, docs/clock-NAME.diff.png; git ignores them) and names both paths.
// In the difference image an equal pixel is black, one within the tolerance grey (brighter for a
// larger difference) and one beyond it red.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "media/Frame.h"
#include "media/VideoSink.h"
#include "media/VideoSource.h"

namespace {

constexpr int kChannelTolerance = 24;
constexpr double kMaxDifferentShare = 0.002;

namespace fs = std::filesystem;

zel::media::Frame ReadPng(const fs::path& path) {
  auto source = zel::media::VideoSource::open(path.string());
  zel::media::Frame frame;
  EXPECT_TRUE(source.read(frame, zel::media::FrameFormat::Rgba)) << path;
  return frame;
}

/// Largest difference of any channel of pixel x of two RGBA rows.
int PixelDifference(const std::uint8_t* a, const std::uint8_t* e, int x) {
  int worst = 0;
  for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(int(a[4 * x + k]) - int(e[4 * x + k])));
  return worst;
}

struct Comparison {
  long different = 0;  ///< pixels that differ at all
  int worst = 0;       ///< largest channel difference
  double share = 0;    ///< different / all pixels
  bool Passes() const { return worst <= kChannelTolerance && share <= kMaxDifferentShare; }
};

/// Compares two frames of the same size.
Comparison Compare(const zel::media::Frame& actual, const zel::media::Frame& expected) {
  Comparison c;
  for (int y = 0; y < actual.height(); ++y)
    for (int x = 0; x < actual.width(); ++x) {
      const int d = PixelDifference(actual.row(y), expected.row(y), x);
      if (d > 0) ++c.different;
      c.worst = std::max(c.worst, d);
    }
  c.share = double(c.different) / (double(actual.width()) * actual.height());
  return c;
}

/// The difference picture: black where equal, grey within the tolerance, red beyond it.
zel::media::Frame DifferenceImage(const zel::media::Frame& actual, const zel::media::Frame& expected) {
  zel::media::Frame diff;
  diff.allocate(actual.width(), actual.height(), zel::media::FrameFormat::Rgba);
  for (int y = 0; y < actual.height(); ++y) {
    std::uint8_t* out = diff.row(y);
    for (int x = 0; x < actual.width(); ++x) {
      const int d = PixelDifference(actual.row(y), expected.row(y), x);
      const auto grey = static_cast<std::uint8_t>(d == 0 ? 0 : 64 + d * 191 / kChannelTolerance);
      const bool beyond = d > kChannelTolerance;
      out[4 * x + 0] = beyond ? 255 : grey;
      out[4 * x + 1] = beyond ? 0 : grey;
      out[4 * x + 2] = beyond ? 0 : grey;
      out[4 * x + 3] = 255;
    }
  }
  return diff;
}

void WritePng(const zel::media::Frame& frame, const fs::path& path) {
  zel::media::SinkOptions options;
  options.width = frame.width();
  options.height = frame.height();
  options.overwrite = true;
  options.keepAlpha = false;
  zel::media::VideoSink sink(path.string(), options);
  sink.write(frame);
  sink.commit();
}

/// Keeps the fresh render (a copy of `fresh`) beside `reference`, and the difference image when
/// the sizes agree; returns a line naming what was kept.
std::string KeepFailure(const fs::path& reference, const fs::path& fresh, const zel::media::Frame& actual,
                        const zel::media::Frame& expected) {
  const fs::path stem = reference.parent_path() / reference.stem();
  const fs::path kept = stem.string() + ".actual.png";
  fs::copy_file(fresh, kept, fs::copy_options::overwrite_existing);
  std::string where = "fresh render kept as " + kept.string();
  if (actual.width() == expected.width() && actual.height() == expected.height()) {
    const fs::path diff = stem.string() + ".diff.png";
    WritePng(DifferenceImage(actual, expected), diff);
    where += ", difference image as " + diff.string();
  }
  return where;
}

struct Case {
  const char* listItem;
  const char* picture;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.picture; }

class ReferenceImage : public testing::TestWithParam<Case> {};

TEST_P(ReferenceImage, FreshRenderMatchesThePictureInDocs) {
  const Case& c = GetParam();
  const fs::path dir = fs::temp_directory_path() / ("zel-reference-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path fresh = dir / (std::string(c.picture) + ".png");
  const std::string command = std::string(ZEL_TEST_ZELHOST) + " render -q -y -o '" + fresh.string() +
                              "' --start 100 --frames 1 --set 'Clock Type List=" + c.listItem + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const fs::path reference = fs::path(ZEL_TEST_DOCS) / (std::string("clock-") + c.picture + ".png");
  const zel::media::Frame expected = ReadPng(reference);
  const zel::media::Frame actual = ReadPng(fresh);
  if (actual.width() != expected.width() || actual.height() != expected.height()) {
    ADD_FAILURE() << c.picture << ": " << actual.width() << "x" << actual.height() << " instead of "
                  << expected.width() << "x" << expected.height() << "; "
                  << KeepFailure(reference, fresh, actual, expected);
  } else {
    const Comparison result = Compare(actual, expected);
    EXPECT_LE(result.worst, kChannelTolerance) << c.picture << ": " << result.different << " pixels differ";
    EXPECT_LE(result.share, kMaxDifferentShare) << c.picture << ": worst channel difference " << result.worst;
    if (!result.Passes()) ADD_FAILURE() << c.picture << ": " << KeepFailure(reference, fresh, actual, expected);
  }
  fs::remove_all(dir);
}

TEST(ReferenceImageFailure, KeepsTheFreshRenderAndADifferenceImage) {
  // A reference with one pixel changed beyond the tolerance and one within it, in a folder of its
  // own, compared as the test above does.
  const fs::path dir = fs::temp_directory_path() / ("zel-reference-failure-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path fresh = dir / "fresh.png";
  const fs::path reference = dir / "clock-test.png";
  zel::media::Frame picture;
  picture.allocate(8, 4, zel::media::FrameFormat::Rgba);
  for (int y = 0; y < 4; ++y) std::fill(picture.row(y), picture.row(y) + 8 * 4, std::uint8_t{200});
  WritePng(picture, fresh);
  picture.row(1)[4 * 2] = 10;       // far beyond the tolerance
  picture.row(2)[4 * 5 + 1] = 190;  // within it
  WritePng(picture, reference);

  const zel::media::Frame actual = ReadPng(fresh);
  const zel::media::Frame expected = ReadPng(reference);
  EXPECT_FALSE(Compare(actual, expected).Passes());
  const std::string where = KeepFailure(reference, fresh, actual, expected);
  EXPECT_NE(where.find((dir / "clock-test.actual.png").string()), std::string::npos) << where;
  EXPECT_NE(where.find((dir / "clock-test.diff.png").string()), std::string::npos) << where;

  const zel::media::Frame kept = ReadPng(dir / "clock-test.actual.png");
  EXPECT_EQ(Compare(kept, actual).different, 0);
  const zel::media::Frame diff = ReadPng(dir / "clock-test.diff.png");
  ASSERT_EQ(diff.width(), 8);
  const auto pixel = [&](int x, int y) { return std::vector<int>(diff.row(y) + 4 * x, diff.row(y) + 4 * x + 3); };
  EXPECT_EQ(pixel(2, 1), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(pixel(5, 2), (std::vector<int>{64 + 10 * 191 / kChannelTolerance, 64 + 10 * 191 / kChannelTolerance,
                                           64 + 10 * 191 / kChannelTolerance}));
  EXPECT_EQ(pixel(0, 0), (std::vector<int>{0, 0, 0}));
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Clocks, ReferenceImage,
                         testing::Values(Case{"Analog Clock", "analog"}, Case{"Digital Clock", "digital"},
                                         Case{"LED clock", "led"}),
                         [](const auto& info) { return std::string(info.param.picture); });

}  // namespace
