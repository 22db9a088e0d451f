#include "drawing/OffscreenDIB.h"

#include <cstdint>
#include <cstring>

#include "ZelPlatformHost.h"

COffscreenDIB::COffscreenDIB() = default;

COffscreenDIB::~COffscreenDIB() { Release(); }

HDC COffscreenDIB::Create(int width, int height, int bitsPerPixel, bool topDown) {
  if (!m_hdcDisplay) m_hdcDisplay = CreateDCW(u"DISPLAY", nullptr, nullptr, nullptr);

  // A bitmap of another shape cannot be reused (the caller reads width x height pixels from it),
  // and a memory DC whose bitmap could not be made is tried afresh.
  const LONG wantHeight = topDown ? -height : height;
  if (m_hdcMemory && (!m_hBitmap || m_header.bV5Width != width || m_header.bV5Height != wantHeight ||
                      m_header.bV5BitCount != bitsPerPixel)) {
    if (m_hBitmap) {
      SelectObject(m_hdcMemory, m_hOldBitmap);
      DeleteObject(m_hBitmap);
    }
    DeleteDC(m_hdcMemory);
    m_hdcMemory = nullptr;
    m_hBitmap = nullptr;
    m_pBits = nullptr;
  }

  if (!m_hdcMemory) {
    m_hdcMemory = CreateCompatibleDC(m_hdcDisplay);
    if (!m_hdcMemory) return nullptr;
    if (m_hBitmap) {
      SelectObject(m_hdcMemory, m_hOldBitmap);
      DeleteObject(m_hBitmap);
      m_hBitmap = nullptr;
    }
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(width > 0 ? width : 0) *
                                     static_cast<std::uint64_t>(height > 0 ? height : 0) * 4;
    std::memset(&m_header, 0, sizeof m_header);
    m_header.bV5Size = sizeof(BITMAPV5HEADER);
    m_header.bV5Width = width;
    m_header.bV5Height = wantHeight;
    m_header.bV5Planes = 1;
    m_header.bV5BitCount = static_cast<WORD>(bitsPerPixel);
    m_header.bV5Compression = BI_BITFIELDS;
    m_header.bV5SizeImage = imageBytes > UINT32_MAX ? 0 : static_cast<DWORD>(imageBytes);
    m_header.bV5RedMask = 0x00FF0000;
    m_header.bV5GreenMask = 0x0000FF00;
    m_header.bV5BlueMask = 0x000000FF;
    m_header.bV5AlphaMask = 0xFF000000;
    m_header.bV5CSType = LCS_WINDOWS_COLOR_SPACE;
    m_header.bV5Intent = LCS_GM_ABS_COLORIMETRIC;

    m_hBitmap = imageBytes > UINT32_MAX
                    ? nullptr
                    : CreateDIBSection(m_hdcMemory, reinterpret_cast<const BITMAPINFO*>(&m_header), DIB_RGB_COLORS,
                                       &m_pBits, nullptr, 0);
    if (!m_hBitmap) {
      m_pBits = nullptr;
      return nullptr;
    }
    m_hOldBitmap = SelectObject(m_hdcMemory, m_hBitmap);
    SetViewportOrgEx(m_hdcMemory, 0, 0, nullptr);
    SelectClipRgn(m_hdcMemory, nullptr);
    IntersectClipRect(m_hdcMemory, 0, 0, width, height);
  }
  if (!m_pBits) return nullptr;

  // Only the platform writes these pixels and it keeps everything outside the drawn rectangle
  // zero, so clearing that rectangle makes the whole bitmap transparent at a fraction of the cost.
  ZelClearDib(m_hBitmap);
  return m_hdcMemory;
}

RECT COffscreenDIB::GetDrawnRect() const {
  RECT r{0, 0, 0, 0};
  if (m_hBitmap) ZelGetDibDrawnRect(m_hBitmap, &r);
  return r;
}

void COffscreenDIB::Release() {
  if (m_hBitmap) {
    SelectObject(m_hdcMemory, m_hOldBitmap);
    DeleteObject(m_hBitmap);
  }
  if (m_hdcMemory) {
    DeleteDC(m_hdcMemory);
    m_hdcMemory = nullptr;
    m_pBits = nullptr;
    m_hBitmap = nullptr;
    m_hOldBitmap = nullptr;
  }
  if (m_hdcDisplay) {
    DeleteDC(m_hdcDisplay);
    m_hdcDisplay = nullptr;
  }
}
