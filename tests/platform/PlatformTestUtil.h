// Helpers shared by the platform tests: a DIB section in a memory DC, pixel access, and the 2-D
// library's start-up held for a scope.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Gdi.h"
#include "GdiPlusFlat.h"
#include "ZelPlatformHost.h"

namespace zeltest {

/// A 32-bit DIB section selected into its own memory DC.
class Dib {
 public:
  Dib(int width, int height, bool topDown = true) : m_width(width), m_height(height), m_topDown(topDown) {
    BITMAPV5HEADER h{};
    h.bV5Size = sizeof h;
    h.bV5Width = width;
    h.bV5Height = topDown ? -height : height;
    h.bV5Planes = 1;
    h.bV5BitCount = 32;
    h.bV5Compression = BI_BITFIELDS;
    h.bV5RedMask = 0x00FF0000;
    h.bV5GreenMask = 0x0000FF00;
    h.bV5BlueMask = 0x000000FF;
    h.bV5AlphaMask = 0xFF000000;
    m_dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(m_dc, reinterpret_cast<const BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<std::uint8_t*>(bits);
    m_old = SelectObject(m_dc, m_bitmap);
  }
  ~Dib() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
  }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;

  HDC dc() const { return m_dc; }
  HBITMAP bitmap() const { return m_bitmap; }
  std::uint8_t* bits() const { return m_bits; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  /// B, G, R, A of image pixel (x, y), y = 0 the top row.
  const std::uint8_t* At(int x, int y) const {
    int row = m_topDown ? y : m_height - 1 - y;
    return m_bits + (static_cast<std::size_t>(row) * m_width + x) * 4;
  }
  std::uint8_t Alpha(int x, int y) const { return At(x, y)[3]; }
  std::uint32_t Pixel(int x, int y) const {  // 0xAARRGGBB
    const std::uint8_t* p = At(x, y);
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
  }
  std::vector<std::uint8_t> Bytes() const {
    return std::vector<std::uint8_t>(m_bits, m_bits + static_cast<std::size_t>(m_width) * m_height * 4);
  }
  RECT Drawn() const {
    RECT r{-1, -1, -1, -1};
    ZelGetDibDrawnRect(m_bitmap, &r);
    return r;
  }
  /// Number of bytes that are non-zero outside the rectangle r.
  int NonZeroOutside(const RECT& r) const {
    int count = 0;
    for (int y = 0; y < m_height; ++y)
      for (int x = 0; x < m_width; ++x) {
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) continue;
        const std::uint8_t* p = At(x, y);
        count += (p[0] != 0) + (p[1] != 0) + (p[2] != 0) + (p[3] != 0);
      }
    return count;
  }
  bool AllZero() const {
    for (std::size_t i = 0; i < static_cast<std::size_t>(m_width) * m_height * 4; ++i)
      if (m_bits[i]) return false;
    return true;
  }

 private:
  int m_width, m_height;
  bool m_topDown;
  HDC m_dc = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_old = nullptr;
  std::uint8_t* m_bits = nullptr;
};

/// The 2-D library started for the scope.
class GdiplusScope {
 public:
  GdiplusScope() {
    GdiplusStartupInput input;
    EXPECT_EQ(Ok, GdiplusStartup(&m_token, &input, nullptr));
  }
  ~GdiplusScope() { GdiplusShutdown(m_token); }
  GdiplusScope(const GdiplusScope&) = delete;
  GdiplusScope& operator=(const GdiplusScope&) = delete;

 private:
  ULONG_PTR m_token = 0;
};

/// A graphics object on a DC for the scope; deleting it hands the drawing over.
class Graphics {
 public:
  explicit Graphics(HDC dc, SmoothingMode mode = SmoothingModeHighQuality) {
    EXPECT_EQ(Ok, GdipCreateFromHDC(dc, &m_g));
    GdipSetSmoothingMode(m_g, mode);
  }
  ~Graphics() { Release(); }
  void Release() {
    if (m_g) GdipDeleteGraphics(m_g);
    m_g = nullptr;
  }
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;
  operator GpGraphics*() const { return m_g; }

 private:
  GpGraphics* m_g = nullptr;
};

/// A solid brush for the scope.
class Brush {
 public:
  explicit Brush(ARGB color) { GdipCreateSolidFill(color, &m_b); }
  ~Brush() { GdipDeleteBrush(m_b); }
  Brush(const Brush&) = delete;
  Brush& operator=(const Brush&) = delete;
  operator GpBrush*() const { return m_b; }

 private:
  GpSolidFill* m_b = nullptr;
};

}  // namespace zeltest
