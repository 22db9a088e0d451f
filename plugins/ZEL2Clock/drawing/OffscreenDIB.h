// The off-screen bitmap a frame's clock is drawn into: a 32-bit DIB section selected into a
// memory DC.
//
// After drawing (once the graphics object on the DC is deleted) the pixel memory holds straight
// B, G, R, A bytes, rows of width x 4 bytes in the row order asked for, alpha = drawn coverage.
// Everything outside GetDrawnRect() is 0, so compositing may skip it.
#pragma once

#include "Gdi.h"

class COffscreenDIB {
 public:
  COffscreenDIB();
  ~COffscreenDIB();  ///< runs Release()
  COffscreenDIB(const COffscreenDIB&) = delete;
  COffscreenDIB& operator=(const COffscreenDIB&) = delete;

  /// Makes (or reuses) the bitmap of width x height, `bitsPerPixel` (32), top-down rows when
  /// `topDown`, all transparent, and returns the memory DC to draw on; null when the bitmap
  /// cannot be made (then GetPixelMemory() is null too). A second call with the same size clears
  /// the bitmap; with another size or row order it makes a new one.
  HDC Create(int width, int height, int bitsPerPixel, bool topDown);

  /// The pixels (null when there are none); valid until Release().
  void* GetPixelMemory() const { return m_pBits; }
  /// The bitmap (null when there is none).
  HBITMAP GetBitmap() const { return m_hBitmap; }
  /// Image rows top to bottom; right and bottom excluded. Empty (all 0) when nothing was drawn.
  RECT GetDrawnRect() const;
  const BITMAPV5HEADER& GetHeader() const { return m_header; }

  /// Deselects and deletes the bitmap, deletes both DCs. Safe to call again.
  void Release();

 private:
  BITMAPV5HEADER m_header{};
  HBITMAP m_hBitmap = nullptr;
  HGDIOBJ m_hOldBitmap = nullptr;  ///< what the memory DC held before our bitmap
  void* m_pBits = nullptr;
  HDC m_hdcDisplay = nullptr;
  HDC m_hdcMemory = nullptr;
};
