// The pictures of the three clocks in docs/ are the reference: a fresh render of the same frame
// must match them. What may legitimately differ: antialiased edges and glyph rasterisation when
// Cairo, pixman, FreeType or the fonts change version. So a pixel may differ by at most
// kChannelTolerance per channel, and at most kMaxDifferentShare of the pixels may differ at all;
// anything beyond that (a moved hand, a missing segment, another font) fails.
// To accept an intended change of the drawing, run scripts/docs-pictures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "media/Frame.h"
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

  const zel::media::Frame expected = ReadPng(fs::path(ZEL_TEST_DOCS) / (std::string("clock-") + c.picture + ".png"));
  const zel::media::Frame actual = ReadPng(fresh);
  ASSERT_EQ(actual.width(), expected.width());
  ASSERT_EQ(actual.height(), expected.height());

  long different = 0;
  int worst = 0;
  for (int y = 0; y < actual.height(); ++y) {
    const std::uint8_t* a = actual.row(y);
    const std::uint8_t* e = expected.row(y);
    for (int x = 0; x < actual.width() * 4; x += 4) {
      int pixelWorst = 0;
      for (int k = 0; k < 4; ++k) pixelWorst = std::max(pixelWorst, std::abs(int(a[x + k]) - int(e[x + k])));
      if (pixelWorst > 0) ++different;
      worst = std::max(worst, pixelWorst);
    }
  }
  const double share = double(different) / (double(actual.width()) * actual.height());
  EXPECT_LE(worst, kChannelTolerance) << c.picture << ": " << different << " pixels differ";
  EXPECT_LE(share, kMaxDifferentShare) << c.picture << ": worst channel difference " << worst;
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Clocks, ReferenceImage,
                         testing::Values(Case{"Analog Clock", "analog"}, Case{"Digital Clock", "digital"},
                                         Case{"LED clock", "led"}),
                         [](const auto& info) { return std::string(info.param.picture); });

}  // namespace
