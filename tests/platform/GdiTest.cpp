// Device interface: DIB sections, object selection and deletion, lines, ellipses, clipping and
// host surfaces.
#include <gtest/gtest.h>

#include <array>

#include "PlatformTestUtil.h"

using zeltest::Dib;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kPenColor = RGB(0x11, 0x22, 0x33);
constexpr COLORREF kBrushColor = RGB(0xAA, 0xBB, 0xCC);
// 0xAARRGGBB of an opaque GDI pixel of a COLORREF.
constexpr std::uint32_t Opaque(COLORREF c) {
  return 0xFF000000u | static_cast<std::uint32_t>(GetRValue(c)) << 16 | static_cast<std::uint32_t>(GetGValue(c)) << 8 |
         GetBValue(c);
}

struct DibCase {
  const char* name;
  DWORD headerSize;
  WORD bitCount;
  WORD planes;
  DWORD compression;
  DWORD redMask;
  LONG width;
  LONG height;
  UINT usage;
  bool ok;
};

TEST(GdiDibSection, AcceptsOnly32BitBgraLayouts) {
  const DibCase cases[] = {
      {"v5 bitfields top-down", 124, 32, 1, BI_BITFIELDS, 0x00FF0000, 16, -8, DIB_RGB_COLORS, true},
      {"v5 bitfields bottom-up", 124, 32, 1, BI_BITFIELDS, 0x00FF0000, 16, 8, DIB_RGB_COLORS, true},
      {"v3 BI_RGB", 40, 32, 1, BI_RGB, 0, 3, 3, DIB_RGB_COLORS, true},
      {"24 bits", 124, 24, 1, BI_BITFIELDS, 0x00FF0000, 16, 8, DIB_RGB_COLORS, false},
      {"swapped masks", 124, 32, 1, BI_BITFIELDS, 0x000000FF, 16, 8, DIB_RGB_COLORS, false},
      {"two planes", 124, 32, 2, BI_BITFIELDS, 0x00FF0000, 16, 8, DIB_RGB_COLORS, false},
      {"zero width", 124, 32, 1, BI_BITFIELDS, 0x00FF0000, 0, 8, DIB_RGB_COLORS, false},
      {"zero height", 124, 32, 1, BI_BITFIELDS, 0x00FF0000, 16, 0, DIB_RGB_COLORS, false},
      {"palette usage", 124, 32, 1, BI_BITFIELDS, 0x00FF0000, 16, 8, 1, false},
      {"short header", 12, 32, 1, BI_RGB, 0, 16, 8, DIB_RGB_COLORS, false},
  };
  for (const DibCase& c : cases) {
    SCOPED_TRACE(c.name);
    BITMAPV5HEADER h{};
    h.bV5Size = c.headerSize;
    h.bV5Width = c.width;
    h.bV5Height = c.height;
    h.bV5Planes = c.planes;
    h.bV5BitCount = c.bitCount;
    h.bV5Compression = c.compression;
    h.bV5RedMask = c.redMask;
    h.bV5GreenMask = 0x0000FF00;
    h.bV5BlueMask = c.redMask == 0x000000FF ? 0x00FF0000 : 0x000000FF;
    void* bits = reinterpret_cast<void*>(1);
    HBITMAP bmp = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&h), c.usage, &bits, nullptr, 0);
    EXPECT_EQ(c.ok, bmp != nullptr);
    EXPECT_EQ(c.ok, bits != nullptr);
    if (bmp) {
      auto* p = static_cast<const std::uint8_t*>(bits);
      std::size_t n = static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height < 0 ? -c.height : c.height) * 4;
      std::size_t nonZero = 0;
      for (std::size_t i = 0; i < n; ++i) nonZero += p[i] != 0;
      EXPECT_EQ(0u, nonZero);
      RECT r{-1, -1, -1, -1};
      EXPECT_TRUE(ZelGetDibDrawnRect(bmp, &r));
      EXPECT_EQ(0, r.left | r.top | r.right | r.bottom);
      EXPECT_TRUE(DeleteObject(bmp));
    }
  }
}

TEST(GdiDibSection, RowOrderFollowsHeightSign) {
  for (bool topDown : {true, false}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    Dib dib(4, 3, topDown);
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HGDIOBJ old = SelectObject(dib.dc(), pen);
    MoveToEx(dib.dc(), 0, 0, nullptr);
    LineTo(dib.dc(), 4, 0);  // the image's top row
    SelectObject(dib.dc(), old);
    DeleteObject(pen);
    const std::uint8_t* memoryRow0 = dib.bits();
    const std::uint8_t* memoryRow2 = dib.bits() + 2 * 4 * 4;
    EXPECT_EQ(topDown ? 255 : 0, memoryRow0[3]);
    EXPECT_EQ(topDown ? 0 : 255, memoryRow2[3]);
    RECT r = dib.Drawn();
    EXPECT_EQ(0, r.top);  // image coordinates whatever the memory order
    EXPECT_EQ(1, r.bottom);
  }
}

TEST(GdiSelection, ReturnsThePreviousObjectOfTheSameKind) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(nullptr, dc);
  HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  HBRUSH brush = CreateSolidBrush(kRed);
  // A fresh DC holds the black pen and the white brush.
  EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(dc, pen));
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), SelectObject(dc, brush));
  EXPECT_EQ(static_cast<HGDIOBJ>(pen), SelectObject(dc, GetStockObject(WHITE_PEN)));
  EXPECT_EQ(static_cast<HGDIOBJ>(brush), SelectObject(dc, GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(GetStockObject(NULL_BRUSH), SelectObject(dc, GetStockObject(BLACK_BRUSH)));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiSelection, BitmapGoesIntoOneMemoryDcAtATime) {
  Dib dib(2, 2);
  HDC other = CreateCompatibleDC(nullptr);
  HDC display = CreateDCW(u"DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, display);
  EXPECT_EQ(nullptr, SelectObject(other, dib.bitmap()));
  EXPECT_EQ(nullptr, SelectObject(display, dib.bitmap()));
  EXPECT_EQ(nullptr, CreateDCW(u"PRINTER", nullptr, nullptr, nullptr));
  EXPECT_TRUE(DeleteDC(other));
  EXPECT_TRUE(DeleteDC(display));
}

TEST(GdiDeletion, RefusesSelectedStaleAndForeignObjects) {
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  HGDIOBJ old = SelectObject(dc, pen);
  EXPECT_FALSE(DeleteObject(pen));  // still selected
  SelectObject(dc, old);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(pen));  // already gone
  int local = 0;
  EXPECT_FALSE(DeleteObject(&local));
  EXPECT_FALSE(DeleteObject(nullptr));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));  // stock objects stay
  EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(dc, GetStockObject(WHITE_PEN)));
  EXPECT_FALSE(DeleteObject(dc));  // a DC is not an object for DeleteObject
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));

  // Deleting a DC deselects: its bitmap may then be deleted.
  Dib* dib = new Dib(2, 2);
  HBITMAP bmp = dib->bitmap();
  EXPECT_FALSE(DeleteObject(bmp));
  delete dib;  // deselects, deletes
  EXPECT_FALSE(DeleteObject(bmp));
}

struct LineCase {
  const char* name;
  POINT from, to;
  std::vector<POINT> lit;  ///< every pixel the line sets
};

TEST(GdiLineTo, LeavesTheEndPointOutAndMovesTheCurrentPosition) {
  const LineCase cases[] = {
      {"right", {2, 5}, {6, 5}, {{2, 5}, {3, 5}, {4, 5}, {5, 5}}},
      {"left", {6, 5}, {2, 5}, {{6, 5}, {5, 5}, {4, 5}, {3, 5}}},
      {"down", {4, 1}, {4, 4}, {{4, 1}, {4, 2}, {4, 3}}},
      {"diagonal", {1, 1}, {4, 4}, {{1, 1}, {2, 2}, {3, 3}}},
      {"anti-diagonal", {8, 1}, {5, 4}, {{8, 1}, {7, 2}, {6, 3}}},
      {"empty", {3, 3}, {3, 3}, {}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib(10, 10);
    HPEN pen = CreatePen(PS_SOLID, 1, kPenColor);
    HGDIOBJ old = SelectObject(dib.dc(), pen);
    MoveToEx(dib.dc(), c.from.x, c.from.y, nullptr);
    EXPECT_TRUE(LineTo(dib.dc(), c.to.x, c.to.y));
    POINT current{};
    MoveToEx(dib.dc(), 0, 0, &current);
    EXPECT_EQ(c.to.x, current.x);
    EXPECT_EQ(c.to.y, current.y);
    int lit = 0;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) lit += dib.Alpha(x, y) != 0;
    EXPECT_EQ(static_cast<int>(c.lit.size()), lit);
    for (POINT p : c.lit) EXPECT_EQ(Opaque(kPenColor), dib.Pixel(p.x, p.y)) << p.x << "," << p.y;
    SelectObject(dib.dc(), old);
    DeleteObject(pen);
  }
}

TEST(GdiLineTo, NullPenDrawsNothing) {
  Dib dib(8, 8);
  SelectObject(dib.dc(), GetStockObject(NULL_PEN));
  MoveToEx(dib.dc(), 0, 0, nullptr);
  LineTo(dib.dc(), 7, 7);
  EXPECT_TRUE(dib.AllZero());
}

TEST(GdiClipping, ViewportOriginAndClipRectangleApply) {
  Dib dib(20, 4);
  SelectObject(dib.dc(), GetStockObject(WHITE_PEN));
  POINT previous{-1, -1};
  SetViewportOrgEx(dib.dc(), 3, 1, &previous);
  EXPECT_EQ(0, previous.x);
  MoveToEx(dib.dc(), 0, 0, nullptr);
  LineTo(dib.dc(), 4, 0);  // device (3,1)..(6,1)
  EXPECT_EQ(0, dib.Alpha(2, 1));
  EXPECT_EQ(255, dib.Alpha(3, 1));
  EXPECT_EQ(255, dib.Alpha(6, 1));
  EXPECT_EQ(0, dib.Alpha(7, 1));
  SetViewportOrgEx(dib.dc(), 0, 0, nullptr);
  EXPECT_EQ(SIMPLEREGION, IntersectClipRect(dib.dc(), 0, 0, 10, 4));
  MoveToEx(dib.dc(), 0, 3, nullptr);
  LineTo(dib.dc(), 20, 3);
  EXPECT_EQ(255, dib.Alpha(9, 3));
  EXPECT_EQ(0, dib.Alpha(10, 3));
  EXPECT_EQ(NULLREGION, IntersectClipRect(dib.dc(), 15, 0, 20, 4));  // disjoint: nothing left
  EXPECT_EQ(SIMPLEREGION, SelectClipRgn(dib.dc(), nullptr));
  MoveToEx(dib.dc(), 0, 2, nullptr);
  LineTo(dib.dc(), 20, 2);
  EXPECT_EQ(255, dib.Alpha(19, 2));
}

struct EllipseCase {
  const char* name;
  RECT box;
};

TEST(GdiEllipse, InscribedInItsRectangleWithAClosedOutline) {
  const EllipseCase cases[] = {
      {"circle 21", {10, 10, 31, 31}},
      {"wide", {2, 5, 38, 16}},
      {"tall", {15, 1, 22, 39}},
      {"even sizes", {4, 4, 24, 14}},
      {"tiny 3x3", {5, 5, 8, 8}},
      {"1x1", {7, 7, 8, 8}},
  };
  for (const EllipseCase& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib(40, 40);
    HPEN pen = CreatePen(PS_SOLID, 1, kPenColor);
    HBRUSH brush = CreateSolidBrush(kBrushColor);
    HGDIOBJ oldPen = SelectObject(dib.dc(), pen);
    HGDIOBJ oldBrush = SelectObject(dib.dc(), brush);
    EXPECT_TRUE(Ellipse(dib.dc(), c.box.left, c.box.top, c.box.right, c.box.bottom));
    const RECT& b = c.box;
    // Nothing outside the rectangle (right and bottom excluded); every edge of it touched.
    EXPECT_EQ(0, dib.NonZeroOutside(b));
    bool left = false, right = false, top = false, bottom = false;
    for (int y = b.top; y < b.bottom; ++y) {
      left |= dib.Alpha(b.left, y) != 0;
      right |= dib.Alpha(b.right - 1, y) != 0;
    }
    for (int x = b.left; x < b.right; ++x) {
      top |= dib.Alpha(x, b.top) != 0;
      bottom |= dib.Alpha(x, b.bottom - 1) != 0;
    }
    EXPECT_TRUE(left && right && top && bottom);
    // Mirror symmetric; every row is one run: outline at its ends, brush colour inside.
    for (int y = b.top; y < b.bottom; ++y) {
      int first = -1, last = -1;
      for (int x = b.left; x < b.right; ++x) {
        EXPECT_EQ(dib.Pixel(x, y), dib.Pixel(b.left + b.right - 1 - x, y));
        EXPECT_EQ(dib.Pixel(x, y), dib.Pixel(x, b.top + b.bottom - 1 - y));
        if (dib.Alpha(x, y)) {
          if (first < 0) first = x;
          last = x;
        }
      }
      ASSERT_GE(first, 0) << "row " << y << " is empty";
      EXPECT_EQ(Opaque(kPenColor), dib.Pixel(first, y));
      EXPECT_EQ(Opaque(kPenColor), dib.Pixel(last, y));
      for (int x = first; x <= last; ++x) EXPECT_NE(0, dib.Alpha(x, y));
    }
    // 8-connected outline: each outline pixel has an outline neighbour, unless it stands alone.
    int outline = 0;
    for (int y = b.top; y < b.bottom; ++y)
      for (int x = b.left; x < b.right; ++x) outline += dib.Pixel(x, y) == Opaque(kPenColor);
    for (int y = b.top; y < b.bottom && outline > 1; ++y)
      for (int x = b.left; x < b.right; ++x) {
        if (dib.Pixel(x, y) != Opaque(kPenColor)) continue;
        int neighbours = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            if ((dx || dy) && x + dx >= 0 && y + dy >= 0 && x + dx < 40 && y + dy < 40)
              neighbours += dib.Pixel(x + dx, y + dy) == Opaque(kPenColor);
        EXPECT_GE(neighbours, 1) << x << "," << y;
      }
    SelectObject(dib.dc(), oldPen);
    SelectObject(dib.dc(), oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
  }
}

TEST(GdiEllipse, CentreTakesTheBrushAndAHollowBrushLeavesItAlone) {
  for (bool hollow : {false, true}) {
    Dib dib(40, 40);
    HBRUSH brush = CreateSolidBrush(kBrushColor);
    SelectObject(dib.dc(), GetStockObject(WHITE_PEN));
    HGDIOBJ old = SelectObject(dib.dc(), hollow ? GetStockObject(NULL_BRUSH) : brush);
    Ellipse(dib.dc(), 0, 0, 40, 40);
    EXPECT_EQ(hollow ? 0u : Opaque(kBrushColor), dib.Pixel(20, 20));
    EXPECT_EQ(Opaque(RGB(255, 255, 255)), dib.Pixel(0, 20));
    SelectObject(dib.dc(), old);
    DeleteObject(brush);
  }
}

TEST(GdiSurfaceDC, DrawsIntoTheHostsPixelsOnly) {
  constexpr int kWidth = 6, kHeight = 3, kStride = 32;  // 8 bytes of padding per row
  std::array<std::uint8_t, kStride * kHeight> pixels;
  pixels.fill(0x5A);
  HDC dc = ZelCreateSurfaceDC(pixels.data(), kWidth, kHeight, kStride);
  ASSERT_NE(nullptr, dc);
  HPEN pen = CreatePen(PS_SOLID, 1, kPenColor);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, -5, 1, nullptr);
  LineTo(dc, 50, 1);
  for (int x = 0; x < kWidth; ++x) {
    const std::uint8_t* p = &pixels[kStride + x * 4];
    EXPECT_EQ(0x33, p[0]);
    EXPECT_EQ(0x22, p[1]);
    EXPECT_EQ(0x11, p[2]);
    EXPECT_EQ(0xFF, p[3]);
  }
  for (int i = kWidth * 4; i < kStride; ++i) EXPECT_EQ(0x5A, pixels[kStride + i]) << "padding byte " << i;
  EXPECT_EQ(0x5A, pixels[0]);
  EXPECT_EQ(0x5A, pixels[2 * kStride]);
  SelectObject(dc, old);
  DeleteObject(pen);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_EQ(nullptr, ZelCreateSurfaceDC(pixels.data(), kWidth, kHeight, kWidth * 4 - 4));
  EXPECT_EQ(nullptr, ZelCreateSurfaceDC(nullptr, kWidth, kHeight, kStride));
}

}  // namespace
