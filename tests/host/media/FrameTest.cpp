#include <gtest/gtest.h>

#include "MediaTestSupport.h"
#include "media/Error.h"
#include "media/Frame.h"

namespace zel::media {
namespace {

struct AllocateCase {
  int width;
  int height;
  FrameFormat format;
  bool valid;
};

TEST(Frame, AllocateAcceptsOnlyUsableSizes) {
  const AllocateCase cases[] = {
      {1, 1, FrameFormat::Rgba, true},
      {3, 5, FrameFormat::Rgba, true},
      {2, 1, FrameFormat::Uyvy, true},
      {3, 2, FrameFormat::Uyvy, false},  // 4:2:2 holds pixel pairs
      {3, 2, FrameFormat::Yuy2, false},
      {0, 10, FrameFormat::Rgba, false},
      {10, 0, FrameFormat::Rgba, false},
      {-2, 10, FrameFormat::Uyvy, false},
      {Frame::kMaxSide, 1, FrameFormat::Rgba, true},
      {Frame::kMaxSide + 1, 1, FrameFormat::Rgba, false},
      {1, Frame::kMaxSide + 1, FrameFormat::Rgba, false},
  };
  for (const AllocateCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + std::string(toString(c.format)));
    Frame frame;
    if (c.valid) {
      ASSERT_NO_THROW(frame.allocate(c.width, c.height, c.format));
      EXPECT_EQ(frame.rowBytes(), static_cast<std::size_t>(c.width) * bytesPerPixel(c.format));
      EXPECT_GE(static_cast<std::size_t>(frame.stride()), frame.rowBytes());
      EXPECT_EQ(frame.stride() % 64, 0);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(frame.data()) % 64, 0u);
    } else {
      EXPECT_THROW(frame.allocate(c.width, c.height, c.format), Error);
      EXPECT_TRUE(frame.empty());
    }
  }
}

TEST(Frame, KeepsItsMemoryWhenItFits) {
  Frame frame;
  frame.allocate(640, 480, FrameFormat::Rgba);
  const std::uint8_t* first = frame.data();
  frame.allocate(320, 240, FrameFormat::Uyvy);
  EXPECT_EQ(frame.data(), first);
  frame.allocate(640, 480, FrameFormat::Rgba);
  EXPECT_EQ(frame.data(), first);
  EXPECT_EQ(frame.width(), 640);
  EXPECT_EQ(frame.format(), FrameFormat::Rgba);
}

TEST(Frame, CopyFromCopiesPixelsAndMetadataButComparesPixelsOnly) {
  Frame a;
  a.allocate(6, 3, FrameFormat::Yuy2);
  testing::fillRamp(a, 1);
  a.setIndex(42);
  a.setFieldOrder(FieldOrder::BottomFirst);

  Frame b;
  b.allocate(100, 100, FrameFormat::Rgba);
  b.copyFrom(a);
  EXPECT_TRUE(b.samePixels(a));
  EXPECT_EQ(b.index(), 42);
  EXPECT_EQ(b.fieldOrder(), FieldOrder::BottomFirst);
  EXPECT_EQ(b.format(), FrameFormat::Yuy2);

  b.row(2)[11] ^= 1;  // the last byte of the last row
  EXPECT_FALSE(b.samePixels(a));
  b.row(2)[11] ^= 1;
  b.setIndex(7);
  EXPECT_TRUE(b.samePixels(a));

  Frame other;
  other.allocate(6, 3, FrameFormat::Uyvy);
  testing::fillRamp(other, 1);
  EXPECT_FALSE(other.samePixels(a)) << "same bytes in another format are another picture";
}

TEST(Frame, NamesRoundTrip) {
  const std::pair<FrameFormat, const char*> formats[] = {
      {FrameFormat::Rgba, "rgba"}, {FrameFormat::Uyvy, "uyvy"}, {FrameFormat::Yuy2, "yuy2"}};
  for (const auto& [format, name] : formats) {
    EXPECT_EQ(toString(format), name);
    EXPECT_EQ(parseFrameFormat(name), format);
  }
  const std::pair<FieldOrder, const char*> orders[] = {
      {FieldOrder::Progressive, "progressive"}, {FieldOrder::TopFirst, "tff"}, {FieldOrder::BottomFirst, "bff"}};
  for (const auto& [order, name] : orders) {
    EXPECT_EQ(toString(order), name);
    EXPECT_EQ(parseFieldOrder(name), order);
  }
  for (const char* bad : {"", "RGBA", "yuv422", "uyvy ", "top"}) {
    EXPECT_FALSE(parseFrameFormat(bad)) << bad;
    EXPECT_FALSE(parseFieldOrder(bad)) << bad;
  }
}

}  // namespace
}  // namespace zel::media
