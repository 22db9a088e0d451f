// The 2-D library's text: font families, fonts, string formats, measuring and drawing.
#include <cairo-ft.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "GdiPlusInternal.h"
#include "WinNls.h"

using namespace zel::detail;

namespace {

// Above this em size (pixels) text is filled as outlines rather than drawn from glyph images.
constexpr double kMaxGlyphImageEm = 512;

// Pixels per unit on the 96-dpi device.
bool UnitScale(Unit unit, double* scale) {
  switch (unit) {
    case UnitWorld:
    case UnitPixel: *scale = 1.0; return true;
    case UnitPoint: *scale = 96.0 / 72.0; return true;
    case UnitInch: *scale = 96.0; return true;
    case UnitDocument: *scale = 96.0 / 300.0; return true;
    case UnitMillimeter: *scale = 96.0 / 25.4; return true;
    default: return false;
  }
}

// One options set per text rendering hint, made once and shared read-only.
const cairo_font_options_t* FontOptions(TextRenderingHint hint) {
  static const std::array<cairo_font_options_t*, 6> options = [] {
    std::array<cairo_font_options_t*, 6> all{};
    for (int h = 0; h < 6; ++h) {
      cairo_font_options_t* o = cairo_font_options_create();
      const bool gridFit = h != TextRenderingHintSingleBitPerPixel && h != TextRenderingHintAntiAlias;
      const bool aliased = h == TextRenderingHintSingleBitPerPixelGridFit || h == TextRenderingHintSingleBitPerPixel;
      cairo_font_options_set_antialias(o, aliased ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
      cairo_font_options_set_hint_style(o, gridFit ? CAIRO_HINT_STYLE_FULL : CAIRO_HINT_STYLE_NONE);
      cairo_font_options_set_hint_metrics(o, gridFit ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
      all[static_cast<std::size_t>(h)] = o;
    }
    return all;
  }();
  return options[static_cast<std::size_t>(std::clamp<int>(hint, 0, 5))];
}

struct ScaledFontDeleter {
  void operator()(cairo_scaled_font_t* f) const { cairo_scaled_font_destroy(f); }
};
using ScaledFontPtr = std::unique_ptr<cairo_scaled_font_t, ScaledFontDeleter>;

ScaledFontPtr MakeScaledFont(const GpFont* font, TextRenderingHint hint) {
  cairo_matrix_t size, ctm;
  cairo_matrix_init_scale(&size, font->emPixels, font->emPixels);
  cairo_matrix_init_identity(&ctm);
  ScaledFontPtr sf(cairo_scaled_font_create(font->face->face, &size, &ctm, FontOptions(hint)));
  if (cairo_scaled_font_status(sf.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return sf;
}

// The glyphs of one line of text, their advance, and where the line's box goes.
class LineLayout {
 public:
  LineLayout(const GpFont* font, cairo_scaled_font_t* sf, const WCHAR* text, INT length) : m_font(font) {
    std::string utf8 = Utf16ToUtf8(text, length);
    m_glyphs = m_buffer.data();
    m_count = static_cast<int>(m_buffer.size());
    if (utf8.empty() ||
        cairo_scaled_font_text_to_glyphs(sf, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &m_glyphs, &m_count,
                                         nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS) {
      if (m_glyphs != m_buffer.data()) cairo_glyph_free(m_glyphs);
      m_glyphs = m_buffer.data();
      m_count = 0;
    }
    if (m_count > 0) {
      cairo_text_extents_t e;
      cairo_scaled_font_glyph_extents(sf, m_glyphs, m_count, &e);
      m_advance = e.x_advance;
      m_ink = e;
    }
  }
  ~LineLayout() {
    if (m_glyphs != m_buffer.data()) cairo_glyph_free(m_glyphs);
  }
  LineLayout(const LineLayout&) = delete;
  LineLayout& operator=(const LineLayout&) = delete;

  double Margin() const { return m_font->emPixels / 6.0; }
  double Width() const { return m_advance + 2 * Margin(); }
  double Height() const { return m_font->face->lineSpacing * m_font->emPixels; }

  /// The box placed in the layout rectangle: each axis of zero extent is an anchor that the
  /// alignment puts the box's near edge, centre or far edge on.
  RectF Place(const RectF& layout, const GpStringFormat* format) const {
    auto factor = [](StringAlignment a) { return a == StringAlignmentCenter ? 0.5 : a == StringAlignmentFar ? 1.0 : 0.0; };
    StringAlignment align = format ? format->align : StringAlignmentNear;
    StringAlignment lineAlign = format ? format->lineAlign : StringAlignmentNear;
    double w = Width(), h = Height();
    double x = layout.X + (std::max<double>(0, layout.Width) - w) * factor(align);
    double y = layout.Y + (std::max<double>(0, layout.Height) - h) * factor(lineAlign);
    return {static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(w), static_cast<REAL>(h)};
  }

  int Count() const { return m_count; }
  cairo_glyph_t* Glyphs() const { return m_glyphs; }
  const cairo_text_extents_t& Ink() const { return m_ink; }
  double Advance() const { return m_advance; }

 private:
  const GpFont* m_font;
  std::array<cairo_glyph_t, 256> m_buffer;
  cairo_glyph_t* m_glyphs = nullptr;
  int m_count = 0;
  double m_advance = 0;
  cairo_text_extents_t m_ink{};
};

}  // namespace

ZEL_PLATFORM_API Status GdipCreateFontFamilyFromName(const WCHAR* name, GpFontCollection* collection,
                                                     GpFontFamily** family) {
  if (!family) return InvalidParameter;
  *family = nullptr;
  if (!name || collection) return InvalidParameter;
  std::string utf8 = Utf16ToUtf8(name, -1);
  if (!FontFamilyExists(utf8)) return FontFamilyNotFound;
  *family = new (std::nothrow) GpFontFamily{std::move(utf8)};
  return *family ? Ok : OutOfMemory;
}

ZEL_PLATFORM_API Status GdipGetGenericFontFamilySansSerif(GpFontFamily** family) {
  if (!family) return InvalidParameter;
  *family = new (std::nothrow) GpFontFamily{kSansSerifFamily};
  return *family ? Ok : OutOfMemory;
}

ZEL_PLATFORM_API Status GdipGetFamilyName(const GpFontFamily* family, WCHAR name[LF_FACESIZE], WORD) {
  if (!family || !name) return InvalidParameter;
  // Whole code points only: a surrogate pair is never cut in two.
  int n = MultiByteToWideChar(CP_UTF8, 0, family->name.data(), static_cast<int>(family->name.size()), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, family->name.data(), static_cast<int>(family->name.size()), wide.data(), n);
  n = std::min<int>(n, LF_FACESIZE - 1);
  if (n > 0 && wide[static_cast<std::size_t>(n - 1)] >= 0xD800 && wide[static_cast<std::size_t>(n - 1)] <= 0xDBFF) --n;
  std::copy_n(wide.data(), n, name);
  name[n] = 0;
  return Ok;
}

ZEL_PLATFORM_API Status GdipDeleteFontFamily(GpFontFamily* family) {
  if (!family) return InvalidParameter;
  delete family;
  return Ok;
}

ZEL_PLATFORM_API Status GdipCreateFont(const GpFontFamily* family, REAL emSize, INT style, Unit unit, GpFont** font) {
  if (!font) return InvalidParameter;
  *font = nullptr;
  double scale = 0;
  if (!family || !(emSize > 0) || !std::isfinite(emSize) || !UnitScale(unit, &scale)) return InvalidParameter;
  const CachedFace* face = LookUpFace(family->name, style & FontStyleBold, style & FontStyleItalic);
  if (!face) return FontStyleNotFound;
  *font = new (std::nothrow) GpFont{face, family->name, static_cast<REAL>(emSize * scale), style};
  return *font ? Ok : OutOfMemory;
}

ZEL_PLATFORM_API Status GdipDeleteFont(GpFont* font) {
  if (!font) return InvalidParameter;
  delete font;
  return Ok;
}

ZEL_PLATFORM_API Status GdipGetFontSize(GpFont* font, REAL* size) {
  if (!font || !size) return InvalidParameter;
  *size = font->emPixels;
  return Ok;
}

ZEL_PLATFORM_API Status GdipGetFontHeight(const GpFont* font, const GpGraphics*, REAL* height) {
  if (!font || !height) return InvalidParameter;
  *height = static_cast<REAL>(font->face->lineSpacing * font->emPixels);
  return Ok;
}

ZEL_PLATFORM_API Status GdipCreateStringFormat(INT formatAttributes, WORD, GpStringFormat** format) {
  if (!format) return InvalidParameter;
  *format = new (std::nothrow) GpStringFormat;
  if (!*format) return OutOfMemory;
  (*format)->flags = formatAttributes;
  return Ok;
}

ZEL_PLATFORM_API Status GdipDeleteStringFormat(GpStringFormat* format) {
  if (!format) return InvalidParameter;
  delete format;
  return Ok;
}

ZEL_PLATFORM_API Status GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align) {
  if (!format || align < StringAlignmentNear || align > StringAlignmentFar) return InvalidParameter;
  format->align = align;
  return Ok;
}

ZEL_PLATFORM_API Status GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align) {
  if (!format || align < StringAlignmentNear || align > StringAlignmentFar) return InvalidParameter;
  format->lineAlign = align;
  return Ok;
}

ZEL_PLATFORM_API Status GdipMeasureString(GpGraphics* graphics, const WCHAR* string, INT length, const GpFont* font,
                                          const RectF* layoutRect, const GpStringFormat* format, RectF* bounds,
                                          INT* codepointsFitted, INT* linesFilled) {
  if (!graphics || !string || !font || !layoutRect || !bounds || length < -1) return InvalidParameter;
  ScaledFontPtr sf = MakeScaledFont(font, graphics->textHint);
  if (!sf) return GenericError;
  LineLayout line(font, sf.get(), string, length);
  RectF box = line.Place(*layoutRect, format);
  // No wider or higher than a layout rectangle that has an extent.
  if (layoutRect->Width > 0) {
    REAL x0 = std::max(box.X, layoutRect->X), x1 = std::min(box.X + box.Width, layoutRect->X + layoutRect->Width);
    box.X = x0;
    box.Width = std::max<REAL>(0, x1 - x0);
  }
  if (layoutRect->Height > 0) {
    REAL y0 = std::max(box.Y, layoutRect->Y), y1 = std::min(box.Y + box.Height, layoutRect->Y + layoutRect->Height);
    box.Y = y0;
    box.Height = std::max<REAL>(0, y1 - y0);
  }
  *bounds = box;
  int units = 0;
  if (length < 0)
    while (string[units]) ++units;
  else
    units = length;
  if (codepointsFitted) *codepointsFitted = units;
  if (linesFilled) *linesFilled = units > 0 ? 1 : 0;
  return Ok;
}

ZEL_PLATFORM_API Status GdipDrawString(GpGraphics* graphics, const WCHAR* string, INT length, const GpFont* font,
                                       const RectF* layoutRect, const GpStringFormat* format, const GpBrush* brush) {
  if (!graphics || !string || !font || !layoutRect || !brush || length < -1) return InvalidParameter;
  if (!graphics->Active()) return Ok;
  ScaledFontPtr sf = MakeScaledFont(font, graphics->textHint);
  if (!sf) return GenericError;
  LineLayout line(font, sf.get(), string, length);
  if (line.Count() == 0) return Ok;
  const RectF box = line.Place(*layoutRect, format);
  const double x0 = box.X + line.Margin();
  const double baseline = std::round(box.Y + font->face->ascent * font->emPixels);

  const bool clip = layoutRect->Width > 0 && layoutRect->Height > 0 && !(format && (format->flags & StringFormatFlagsNoClip));
  const double em = font->emPixels;
  // Ink of the glyphs, the decoration lines and a pixel for antialiasing; within the layout
  // rectangle when clipping.
  double ix0 = x0 + std::min(0.0, line.Ink().x_bearing), ix1 = x0 + std::max(line.Advance(), line.Ink().x_bearing + line.Ink().width);
  double iy0 = baseline + std::min(line.Ink().y_bearing, font->face->strikeoutPosition * em);
  double iy1 = baseline + std::max(line.Ink().y_bearing + line.Ink().height, (font->face->underlinePosition + font->face->underlineThickness) * em);
  if (clip) {
    ix0 = std::max<double>(ix0, layoutRect->X);
    iy0 = std::max<double>(iy0, layoutRect->Y);
    ix1 = std::min<double>(ix1, layoutRect->X + layoutRect->Width);
    iy1 = std::min<double>(iy1, layoutRect->Y + layoutRect->Height);
  }
  if (!graphics->Touch(ix0, iy0, ix1, iy1) || !graphics->cr) return Ok;

  cairo_t* cr = graphics->cr;
  cairo_save(cr);
  if (clip) {
    cairo_rectangle(cr, layoutRect->X, layoutRect->Y, layoutRect->Width, layoutRect->Height);
    cairo_clip(cr);
  }
  const ARGB c = AsSolidFill(brush)->color;
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, ((c >> 24) & 0xFF) / 255.0);
  for (int i = 0; i < line.Count(); ++i) {
    line.Glyphs()[i].x += x0;
    line.Glyphs()[i].y += baseline;
  }
  cairo_set_scaled_font(cr, sf.get());
  if (em <= kMaxGlyphImageEm) {
    cairo_show_glyphs(cr, line.Glyphs(), line.Count());
  } else {
    // Glyph images this large would each take hundreds of megabytes: fill the outlines instead,
    // which only touches the pixels inside the clip.
    cairo_new_path(cr);
    cairo_glyph_path(cr, line.Glyphs(), line.Count());
    cairo_set_antialias(cr, graphics->textHint == TextRenderingHintSingleBitPerPixelGridFit ||
                                    graphics->textHint == TextRenderingHintSingleBitPerPixel
                                ? CAIRO_ANTIALIAS_NONE
                                : CAIRO_ANTIALIAS_GRAY);
    cairo_fill(cr);
  }

  // Cairo draws no decoration lines: whole-pixel bars from the face's own metrics.
  auto bar = [&](double top, double thickness) {
    double h = std::max(1.0, std::round(thickness * em));
    cairo_rectangle(cr, std::round(x0), std::round(baseline + top * em), std::round(line.Advance()), h);
  };
  if (font->style & FontStyleUnderline)
    bar(font->face->underlinePosition - font->face->underlineThickness / 2, font->face->underlineThickness);
  if (font->style & FontStyleStrikeout) bar(font->face->strikeoutPosition, font->face->strikeoutThickness);
  if (font->style & (FontStyleUnderline | FontStyleStrikeout)) {
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_fill(cr);
  }
  cairo_restore(cr);
  return Ok;
}
