// The off-screen bitmap: its header, row order, clearing on reuse, and release.
#include <gtest/gtest.h>

#include <cstring>

#include "DrawingTestUtil.h"
#include "drawing/OffscreenDIB.h"

namespace {

bool AllZero(const COffscreenDIB& dib, int width, int height) {
  const auto* p = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height * 4; ++i)
    if (p[i]) return false;
  return true;
}

void FillRect(HDC dc, int x, int y, int w, int h) {
  GpGraphics* g = nullptr;
  GdipCreateFromHDC(dc, &g);
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(0xFFFFFFFF, &brush);
  GdipFillRectangleI(g, brush, x, y, w, h);
  GdipDeleteBrush(brush);
  GdipDeleteGraphics(g);
}

TEST(OffscreenDIB, HeaderDescribesA32BitBgraBitmap) {
  for (bool topDown : {true, false}) {
    COffscreenDIB dib;
    HDC dc = dib.Create(640, 360, 32, topDown);
    ASSERT_NE(nullptr, dc);
    const BITMAPV5HEADER& h = dib.GetHeader();
    EXPECT_EQ(124u, h.bV5Size);
    EXPECT_EQ(640, h.bV5Width);
    EXPECT_EQ(topDown ? -360 : 360, h.bV5Height);
    EXPECT_EQ(1, h.bV5Planes);
    EXPECT_EQ(32, h.bV5BitCount);
    EXPECT_EQ(BI_BITFIELDS, h.bV5Compression);
    EXPECT_EQ(640u * 360 * 4, h.bV5SizeImage);
    EXPECT_EQ(0x00FF0000u, h.bV5RedMask);
    EXPECT_EQ(0x0000FF00u, h.bV5GreenMask);
    EXPECT_EQ(0x000000FFu, h.bV5BlueMask);
    EXPECT_EQ(0xFF000000u, h.bV5AlphaMask);
    EXPECT_EQ(0x57696E20u, h.bV5CSType);
    EXPECT_EQ(8u, h.bV5Intent);
    EXPECT_EQ(0, h.bV5XPelsPerMeter | h.bV5YPelsPerMeter);
    EXPECT_EQ(0u, h.bV5ClrUsed | h.bV5ClrImportant | h.bV5ProfileData | h.bV5ProfileSize);
    ASSERT_NE(nullptr, dib.GetPixelMemory());
    EXPECT_TRUE(AllZero(dib, 640, 360));
    RECT r = dib.GetDrawnRect();
    EXPECT_EQ(0, r.left | r.top | r.right | r.bottom);
  }
}

TEST(OffscreenDIB, RowOrderAndDrawnRect) {
  for (bool topDown : {true, false}) {
    COffscreenDIB dib;
    HDC dc = dib.Create(40, 30, 32, topDown);
    FillRect(dc, 0, 0, 40, 1);  // aliased: exactly the image's top row
    const auto* p = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
    const std::uint8_t* firstMemoryRow = p + 10 * 4;
    const std::uint8_t* lastMemoryRow = p + (29 * 40 + 10) * 4;
    EXPECT_EQ(topDown ? 255 : 0, firstMemoryRow[3]);
    EXPECT_EQ(topDown ? 0 : 255, lastMemoryRow[3]);
    RECT r = dib.GetDrawnRect();
    EXPECT_EQ(0, r.top);
    EXPECT_LE(r.bottom, 4);
  }
}

TEST(OffscreenDIB, CreatingAgainClearsAndANewShapeMakesANewBitmap) {
  COffscreenDIB dib;
  HDC dc = dib.Create(100, 50, 32, true);
  FillRect(dc, 10, 10, 30, 20);
  EXPECT_FALSE(AllZero(dib, 100, 50));
  EXPECT_EQ(dc, dib.Create(100, 50, 32, true));
  EXPECT_TRUE(AllZero(dib, 100, 50));
  EXPECT_EQ(0, dib.GetDrawnRect().right);

  FillRect(dc, 0, 0, 100, 50);
  HDC bigger = dib.Create(300, 200, 32, false);
  ASSERT_NE(nullptr, bigger);
  EXPECT_EQ(200, dib.GetHeader().bV5Height);
  EXPECT_TRUE(AllZero(dib, 300, 200));
  FillRect(bigger, 250, 150, 40, 40);  // beyond the old bitmap's size
  EXPECT_EQ(255, static_cast<const std::uint8_t*>(dib.GetPixelMemory())[((200 - 1 - 160) * 300 + 260) * 4 + 3]);
}

TEST(OffscreenDIB, FailuresLeaveNoPixelMemory) {
  struct Case {
    int width, height, bits;
  } cases[] = {{0, 10, 32}, {10, 0, 32}, {10, 10, 24}, {-5, 10, 32}, {70000, 70000, 32}};
  for (const Case& c : cases) {
    COffscreenDIB dib;
    EXPECT_EQ(nullptr, dib.Create(c.width, c.height, c.bits, true)) << c.width << "x" << c.height;
    EXPECT_EQ(nullptr, dib.GetPixelMemory());
    EXPECT_EQ(0, dib.GetDrawnRect().right);
    // The same object makes a good bitmap afterwards.
    ASSERT_NE(nullptr, dib.Create(32, 16, 32, true));
    EXPECT_TRUE(AllZero(dib, 32, 16));
  }
}

TEST(OffscreenDIB, ReleaseTwiceAndReuseAfterRelease) {
  COffscreenDIB dib;
  ASSERT_NE(nullptr, dib.Create(64, 64, 32, true));
  dib.Release();
  EXPECT_EQ(nullptr, dib.GetPixelMemory());
  EXPECT_EQ(nullptr, dib.GetBitmap());
  dib.Release();
  HDC dc = dib.Create(64, 64, 32, true);
  ASSERT_NE(nullptr, dc);
  EXPECT_TRUE(AllZero(dib, 64, 64));
}

TEST(OffscreenDIB, MemoryOfAnEarlierFrameComesBackClear) {
  for (int frame = 0; frame < 4; ++frame) {
    COffscreenDIB dib;
    HDC dc = dib.Create(1920, 1080, 32, true);
    ASSERT_TRUE(AllZero(dib, 1920, 1080)) << "frame " << frame;
    FillRect(dc, 100 * frame, 50, 700, 300);
  }
}

}  // namespace
