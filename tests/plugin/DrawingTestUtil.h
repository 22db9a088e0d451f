// Helpers for the clock drawing tests: an off-screen frame with pixel access, a graphics object
// for a scope, and PNG output for looking at what was drawn (set ZEL_TEST_PNG_DIR).
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "GdiPlusFlat.h"
#include "drawing/OffscreenDIB.h"

namespace zeltest {

/// A frame-sized off-screen bitmap with the 2-D library started.
class Frame {
 public:
  Frame(int width, int height, bool topDown = true) : m_width(width), m_height(height), m_topDown(topDown) {
    GdiplusStartupInput input;
    GdiplusStartup(&m_token, &input, nullptr);
    m_dc = m_dib.Create(width, height, 32, topDown);
  }
  ~Frame() {
    GdiplusShutdown(m_token);
    m_dib.Release();
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  HDC dc() const { return m_dc; }
  COffscreenDIB& dib() { return m_dib; }
  int width() const { return m_width; }
  int height() const { return m_height; }

  /// A graphics object with the clocks' smoothing; deleting it hands the pixels over.
  template <class Draw>
  void WithGraphics(Draw draw) {
    GpGraphics* g = nullptr;
    GdipCreateFromHDC(m_dc, &g);
    GdipSetSmoothingMode(g, SmoothingModeHighQuality);
    draw(g);
    GdipDeleteGraphics(g);
  }

  /// 0xAARRGGBB of image pixel (x, y), 0 outside the frame.
  std::uint32_t Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    int row = m_topDown ? y : m_height - 1 - y;
    const auto* p = static_cast<const std::uint8_t*>(m_dib.GetPixelMemory()) + (static_cast<std::size_t>(row) * m_width + x) * 4;
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
  }
  int Alpha(int x, int y) const { return static_cast<int>(Pixel(x, y) >> 24); }
  std::vector<std::uint8_t> Bytes() const {
    const auto* p = static_cast<const std::uint8_t*>(m_dib.GetPixelMemory());
    return std::vector<std::uint8_t>(p, p + static_cast<std::size_t>(m_width) * m_height * 4);
  }
  /// Bounding box of pixels with alpha > 0 (right and bottom excluded); all -1 when none.
  RECT Ink() const {
    RECT r{-1, -1, -1, -1};
    for (int y = 0; y < m_height; ++y)
      for (int x = 0; x < m_width; ++x)
        if (Alpha(x, y)) {
          if (r.left < 0 || x < r.left) r.left = x;
          if (r.top < 0) r.top = y;
          if (x + 1 > r.right) r.right = x + 1;
          r.bottom = y + 1;
        }
    return r;
  }

  /// Writes the frame over a checkerboard to $ZEL_TEST_PNG_DIR/name.png when that is set.
  void MaybeWritePng(const std::string& name) const {
    const char* dir = std::getenv("ZEL_TEST_PNG_DIR");
    if (!dir || !*dir) return;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, m_width, m_height);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < m_height; ++y)
      for (int x = 0; x < m_width; ++x) {
        std::uint32_t p = Pixel(x, y);
        unsigned a = p >> 24, bg = ((x / 32 + y / 32) & 1) ? 90 : 140;
        std::uint8_t* q = data + y * stride + x * 4;
        for (int c = 0; c < 3; ++c) q[c] = static_cast<std::uint8_t>((((p >> (8 * c)) & 0xFF) * a + bg * (255 - a)) / 255);
        q[3] = 255;
      }
    cairo_surface_mark_dirty(s);
    cairo_surface_write_to_png(s, (std::string(dir) + "/" + name + ".png").c_str());
    cairo_surface_destroy(s);
  }

 private:
  int m_width, m_height;
  bool m_topDown;
  ULONG_PTR m_token = 0;
  COffscreenDIB m_dib;
  HDC m_dc = nullptr;
};

}  // namespace zeltest
