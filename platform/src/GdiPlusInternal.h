// Internal objects of the 2-D library.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "GdiInternal.h"
#include "GdiPlusFlat.h"
#include "TextConvert.h"


struct GpPen {
  ARGB color = 0;
  REAL width = 1;  ///< pixels
};

struct GpStringFormat {
  INT flags = 0;
  StringAlignment align = StringAlignmentNear;
  StringAlignment lineAlign = StringAlignmentNear;
};

namespace zel::detail {

/// The one kind of brush: a solid colour.
struct SolidFill final : GpSolidFill {
  ARGB color = 0;
};
inline const SolidFill* AsSolidFill(const GpBrush* brush) { return static_cast<const SolidFill*>(brush); }

/// A face found through fontconfig, kept for the life of the process.
struct CachedFace {
  cairo_font_face_t* face = nullptr;
  // Metrics in ems (multiply by the em size in pixels); positions are below the baseline when
  // positive, y pointing down.
  double ascent = 0.905;
  double descent = 0.212;
  double lineSpacing = 1.15;
  double underlinePosition = 0.106;  ///< centre of the underline stroke
  double underlineThickness = 0.073;
  double strikeoutPosition = -0.259;  ///< top of the strike-out stroke
  double strikeoutThickness = 0.049;
};

/// The generic sans-serif family, fixed so that output does not depend on user settings.
inline constexpr const char* kSansSerifFamily = "Liberation Sans";

/// Whether fontconfig has the family itself (or a strong alias of it), not only a fallback.
/// Cached per name for the process; thread safe.
bool FontFamilyExists(const std::string& utf8Name);
/// The face of the family with that weight and slant; null when fontconfig finds nothing at all.
/// Cached for the process; thread safe.
const CachedFace* LookUpFace(const std::string& utf8Family, bool bold, bool italic);

}  // namespace zel::detail

struct GpFontFamily {
  std::string name;  ///< UTF-8, as fontconfig is asked for it
};

struct GpFont {
  const zel::detail::CachedFace* face = nullptr;
  std::string family;
  REAL emPixels = 0;
  INT style = 0;
};

struct GpGraphics {
  std::shared_ptr<zel::detail::PixelSurface> surface;  ///< null: drawing does nothing
  cairo_t* cr = nullptr;
  zel::detail::PixelRect area;  ///< device pixels drawing may touch
  int originX = 0, originY = 0;
  SmoothingMode smoothing = SmoothingModeDefault;
  TextRenderingHint textHint = TextRenderingHintSystemDefault;
  ULONG_PTR token = 0;  ///< the library start it was made under
  GpGraphics* prev = nullptr;
  GpGraphics* next = nullptr;

  /// Marks the device-space box (x0, y0)-(x1, y1), widened by a pixel for antialiasing, as
  /// drawn; false when it lies outside the drawable area (nothing to draw).
  bool Touch(double x0, double y0, double x1, double y1);
  /// True on a measuring surface: a drawing call marks what it covers (Touch) and draws nothing.
  bool Measuring() const { return surface && surface->Measuring(); }
  /// Whether a drawing call has anything to do: draw, or measure.
  bool Active() const { return cr != nullptr || Measuring(); }
};
