// Handles of the 2-D library owned by std::unique_ptr, so that each is deleted on every path. The
// three clocks hold every graphics object, brush, pen, font and string format they make this way.
#pragma once

#include <memory>

#include "GdiPlusFlat.h"

namespace zel2clock {

namespace detail {
template <class T, auto Delete>
struct GdiplusDeleter {
  void operator()(T* handle) const noexcept { Delete(handle); }
};
inline void DeleteBrush(GpSolidFill* brush) noexcept { GdipDeleteBrush(brush); }
}  // namespace detail

using GraphicsPtr = std::unique_ptr<GpGraphics, detail::GdiplusDeleter<GpGraphics, GdipDeleteGraphics>>;
using SolidFillPtr = std::unique_ptr<GpSolidFill, detail::GdiplusDeleter<GpSolidFill, detail::DeleteBrush>>;
using PenPtr = std::unique_ptr<GpPen, detail::GdiplusDeleter<GpPen, GdipDeletePen>>;
using FontFamilyPtr = std::unique_ptr<GpFontFamily, detail::GdiplusDeleter<GpFontFamily, GdipDeleteFontFamily>>;
using FontPtr = std::unique_ptr<GpFont, detail::GdiplusDeleter<GpFont, GdipDeleteFont>>;
using StringFormatPtr =
    std::unique_ptr<GpStringFormat, detail::GdiplusDeleter<GpStringFormat, GdipDeleteStringFormat>>;

/// A graphics object on `dc` with high-quality smoothing; null when the library refuses one.
inline GraphicsPtr MakeGraphics(HDC dc) {
  GpGraphics* graphics = nullptr;
  GdipCreateFromHDC(dc, &graphics);
  GraphicsPtr owned(graphics);
  GdipSetSmoothingMode(owned.get(), SmoothingModeHighQuality);
  return owned;
}

/// A solid brush of `color`; null when the library refuses one.
inline SolidFillPtr MakeSolidFill(ARGB color) {
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(color, &brush);
  return SolidFillPtr(brush);
}

/// A pen of `color`, `width` world units wide; null when the library refuses one.
inline PenPtr MakePen(ARGB color, REAL width) {
  GpPen* pen = nullptr;
  GdipCreatePen1(color, width, UnitWorld, &pen);
  return PenPtr(pen);
}

}  // namespace zel2clock
