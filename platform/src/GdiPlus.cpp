// The 2-D library: start-up, graphics objects, brushes, pens and filled shapes over Cairo.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>
#include <vector>

#include "GdiPlusInternal.h"

using namespace zel::detail;

namespace {

// Live graphics objects, so that GdiplusShutdown and GdiFlush can hand over what they drew.
struct LiveGraphics {
  std::mutex mutex;
  GpGraphics* head = nullptr;
};
LiveGraphics& Live() {
  static LiveGraphics* live = new LiveGraphics;
  return *live;
}

std::atomic<ULONG_PTR> gNextToken{1};
std::atomic<int> gStarts{0};
thread_local std::vector<ULONG_PTR> tTokens;  // this thread's starts, innermost last

void Link(GpGraphics* g) {
  auto& l = Live();
  std::lock_guard lock(l.mutex);
  g->next = l.head;
  if (l.head) l.head->prev = g;
  l.head = g;
}

void Unlink(GpGraphics* g) {
  auto& l = Live();
  std::lock_guard lock(l.mutex);
  if (g->prev) g->prev->next = g->next;
  else l.head = g->next;
  if (g->next) g->next->prev = g->prev;
  g->prev = g->next = nullptr;
}

void FlushGraphics(GpGraphics* g) {
  if (g->surface) g->surface->Flush();
}

bool Antialiased(SmoothingMode m) { return m == SmoothingModeHighQuality || m == SmoothingModeAntiAlias; }

void SetSource(cairo_t* cr, ARGB c) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                        ((c >> 24) & 0xFF) / 255.0);
}

// Pixel centres lie on integer coordinates: Cairo's lie half a pixel further on.
constexpr double kPixelOffset = 0.5;

Status Fill(GpGraphics* g, const GpBrush* brush) {
  cairo_set_antialias(g->cr, Antialiased(g->smoothing) ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  SetSource(g->cr, AsSolidFill(brush)->color);
  cairo_fill(g->cr);
  return Ok;
}

struct Bounds {
  double x0, y0, x1, y1;
};

/// The smallest box holding `count` (at least 1) points.
template <class PointT>
Bounds BoundsOf(const PointT* points, INT count) {
  const double x = points[0].X, y = points[0].Y;
  Bounds b{x, y, x, y};
  for (INT i = 1; i < count; ++i) {
    b.x0 = std::min<double>(b.x0, points[i].X);
    b.x1 = std::max<double>(b.x1, points[i].X);
    b.y0 = std::min<double>(b.y0, points[i].Y);
    b.y1 = std::max<double>(b.y1, points[i].Y);
  }
  return b;
}

template <class PointT>
Status FillPolygonT(GpGraphics* g, GpBrush* brush, const PointT* points, INT count, GpFillMode fillMode) {
  if (!g || !brush || !points || count < 3 || (fillMode != FillModeAlternate && fillMode != FillModeWinding))
    return InvalidParameter;
  if (!g->Active()) return Ok;
  const auto [x0, y0, x1, y1] = BoundsOf(points, count);
  if (!g->Touch(x0, y0, x1, y1) || !g->cr) return Ok;
  cairo_new_path(g->cr);
  for (INT i = 0; i < count; ++i) cairo_line_to(g->cr, points[i].X + kPixelOffset, points[i].Y + kPixelOffset);
  cairo_close_path(g->cr);
  cairo_set_fill_rule(g->cr, fillMode == FillModeAlternate ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  return Fill(g, brush);
}

}  // namespace

bool GpGraphics::Touch(double x0, double y0, double x1, double y1) {
  if (!surface || !Active()) return false;
  const double limit = 1e9;
  auto lo = [&](double v) { return static_cast<int>(std::floor(std::clamp(v, -limit, limit))) - 1; };
  auto hi = [&](double v) { return static_cast<int>(std::ceil(std::clamp(v, -limit, limit))) + 2; };
  if (!(x0 <= x1) || !(y0 <= y1)) return false;  // also refuses NaN
  PixelRect box{lo(x0 + originX), lo(y0 + originY), hi(x1 + originX), hi(y1 + originY)};
  box = box.Intersect(area);
  if (box.Empty()) return false;
  surface->BeginDraw(box);
  return true;
}

ZEL_PLATFORM_API Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
  if (!token || !input) return InvalidParameter;
  *token = 0;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  if (input->SuppressBackgroundThread) {
    if (!output) return InvalidParameter;
    // No background thread exists here, so the hooks have nothing to do.
    output->NotificationHook = [](ULONG_PTR* t) -> Status {
      if (t) *t = 0;
      return Ok;
    };
    output->NotificationUnhook = [](ULONG_PTR) {};
  }
  *token = gNextToken++;
  ++gStarts;
  tTokens.push_back(*token);
  return Ok;
}

ZEL_PLATFORM_API void GdiplusShutdown(ULONG_PTR token) {
  if (token == 0) return;
  auto it = std::find(tTokens.begin(), tTokens.end(), token);
  if (it != tTokens.end()) tTokens.erase(it);
  --gStarts;
  auto& l = Live();
  std::lock_guard lock(l.mutex);
  for (GpGraphics* g = l.head; g; g = g->next)
    if (g->token == token) FlushGraphics(g);
}

ZEL_PLATFORM_API BOOL GdiFlush(void) {
  auto& l = Live();
  std::lock_guard lock(l.mutex);
  for (GpGraphics* g = l.head; g; g = g->next)
    if (std::find(tTokens.begin(), tTokens.end(), g->token) != tTokens.end()) FlushGraphics(g);
  return TRUE;
}

ZEL_PLATFORM_API Status GdipCreateFromHDC(HDC hdc, GpGraphics** graphics) {
  if (!graphics) return InvalidParameter;
  *graphics = nullptr;
  auto* dc = LookUp<DeviceContext>(hdc, ObjectKind::DC);
  if (!dc) return InvalidParameter;
  auto* g = new (std::nothrow) GpGraphics;
  if (!g) return OutOfMemory;
  g->token = tTokens.empty() ? 0 : tTokens.back();
  g->originX = dc->viewportOrg.x;
  g->originY = dc->viewportOrg.y;
  g->surface = dc->Surface();
  g->area = dc->DrawableArea();
  if (g->surface && !g->area.Empty()) {
    if (cairo_surface_t* s = g->surface->Cairo()) {
      g->cr = cairo_create(s);
      if (!g->area.Empty() && (g->area.left > 0 || g->area.top > 0 || g->area.right < g->surface->Width() ||
                               g->area.bottom < g->surface->Height())) {
        cairo_rectangle(g->cr, g->area.left, g->area.top, g->area.right - g->area.left, g->area.bottom - g->area.top);
        cairo_clip(g->cr);
      }
      cairo_translate(g->cr, g->originX, g->originY);
    }
  }
  Link(g);
  *graphics = g;
  return Ok;
}

ZEL_PLATFORM_API Status GdipDeleteGraphics(GpGraphics* graphics) {
  if (!graphics) return InvalidParameter;
  Unlink(graphics);
  if (graphics->cr) cairo_destroy(graphics->cr);
  FlushGraphics(graphics);
  delete graphics;
  return Ok;
}

ZEL_PLATFORM_API Status GdipFlush(GpGraphics* graphics, int) {
  if (!graphics) return InvalidParameter;
  FlushGraphics(graphics);
  return Ok;
}

ZEL_PLATFORM_API Status GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode) {
  if (!graphics || mode < SmoothingModeDefault || mode > SmoothingModeAntiAlias) return InvalidParameter;
  graphics->smoothing = mode;
  return Ok;
}

ZEL_PLATFORM_API Status GdipGetSmoothingMode(GpGraphics* graphics, SmoothingMode* mode) {
  if (!graphics || !mode) return InvalidParameter;
  *mode = graphics->smoothing;
  return Ok;
}

ZEL_PLATFORM_API Status GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint hint) {
  if (!graphics || hint < TextRenderingHintSystemDefault || hint > TextRenderingHintClearTypeGridFit)
    return InvalidParameter;
  graphics->textHint = hint;
  return Ok;
}

ZEL_PLATFORM_API Status GdipGetTextRenderingHint(GpGraphics* graphics, TextRenderingHint* hint) {
  if (!graphics || !hint) return InvalidParameter;
  *hint = graphics->textHint;
  return Ok;
}

ZEL_PLATFORM_API Status GdipCreateSolidFill(ARGB color, GpSolidFill** brush) {
  if (!brush) return InvalidParameter;
  auto* fill = new (std::nothrow) SolidFill;
  *brush = fill;
  if (!fill) return OutOfMemory;
  fill->color = color;
  return Ok;
}

ZEL_PLATFORM_API Status GdipGetSolidFillColor(GpSolidFill* brush, ARGB* color) {
  if (!brush || !color) return InvalidParameter;
  *color = AsSolidFill(brush)->color;
  return Ok;
}

ZEL_PLATFORM_API Status GdipDeleteBrush(GpBrush* brush) {
  if (!brush) return InvalidParameter;
  delete AsSolidFill(brush);
  return Ok;
}

ZEL_PLATFORM_API Status GdipCreatePen1(ARGB color, REAL width, Unit unit, GpPen** pen) {
  if (!pen) return InvalidParameter;
  *pen = nullptr;
  if (unit != UnitWorld && unit != UnitPixel) return NotImplemented;
  if (!(width >= 0)) return InvalidParameter;
  *pen = new (std::nothrow) GpPen;
  if (!*pen) return OutOfMemory;
  (*pen)->color = color;
  (*pen)->width = width;
  return Ok;
}

ZEL_PLATFORM_API Status GdipDeletePen(GpPen* pen) {
  if (!pen) return InvalidParameter;
  delete pen;
  return Ok;
}

ZEL_PLATFORM_API Status GdipFillEllipse(GpGraphics* g, GpBrush* brush, REAL x, REAL y, REAL width, REAL height) {
  if (!g || !brush) return InvalidParameter;
  if (!g->Active() || !(width > 0) || !(height > 0)) return Ok;
  if (!g->Touch(x, y, static_cast<double>(x) + width, static_cast<double>(y) + height) || !g->cr) return Ok;
  cairo_new_path(g->cr);
  cairo_save(g->cr);
  cairo_translate(g->cr, x + width / 2.0 + kPixelOffset, y + height / 2.0 + kPixelOffset);
  cairo_scale(g->cr, width / 2.0, height / 2.0);
  cairo_arc(g->cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(g->cr);
  return Fill(g, brush);
}

ZEL_PLATFORM_API Status GdipFillEllipseI(GpGraphics* g, GpBrush* brush, INT x, INT y, INT width, INT height) {
  return GdipFillEllipse(g, brush, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                         static_cast<REAL>(height));
}

ZEL_PLATFORM_API Status GdipFillRectangle(GpGraphics* g, GpBrush* brush, REAL x, REAL y, REAL width, REAL height) {
  if (!g || !brush) return InvalidParameter;
  if (!g->Active() || !(width > 0) || !(height > 0)) return Ok;
  if (!g->Touch(x, y, static_cast<double>(x) + width, static_cast<double>(y) + height) || !g->cr) return Ok;
  cairo_new_path(g->cr);
  cairo_rectangle(g->cr, x + kPixelOffset, y + kPixelOffset, width, height);
  return Fill(g, brush);
}

ZEL_PLATFORM_API Status GdipFillRectangleI(GpGraphics* g, GpBrush* brush, INT x, INT y, INT width, INT height) {
  return GdipFillRectangle(g, brush, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                           static_cast<REAL>(height));
}

ZEL_PLATFORM_API Status GdipFillPolygon(GpGraphics* g, GpBrush* brush, const GpPointF* points, INT count,
                                        GpFillMode fillMode) {
  return FillPolygonT(g, brush, points, count, fillMode);
}

ZEL_PLATFORM_API Status GdipFillPolygonI(GpGraphics* g, GpBrush* brush, const GpPoint* points, INT count,
                                         GpFillMode fillMode) {
  return FillPolygonT(g, brush, points, count, fillMode);
}

ZEL_PLATFORM_API Status GdipDrawPolygon(GpGraphics* g, GpPen* pen, const GpPointF* points, INT count) {
  if (!g || !pen || !points || count < 2) return InvalidParameter;
  if (!g->Active()) return Ok;
  // Thinner pens still draw one pixel wide, as on the platform.
  const double width = std::max<double>(1.0, pen->width);
  const auto [x0, y0, x1, y1] = BoundsOf(points, count);
  // Mitred corners may reach well beyond the points: widen by the miter limit.
  const double reach = width * 5;
  if (!g->Touch(x0 - reach, y0 - reach, x1 + reach, y1 + reach) || !g->cr) return Ok;
  cairo_new_path(g->cr);
  for (INT i = 0; i < count; ++i) cairo_line_to(g->cr, points[i].X + kPixelOffset, points[i].Y + kPixelOffset);
  cairo_close_path(g->cr);
  cairo_set_line_width(g->cr, width);
  cairo_set_line_join(g->cr, CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(g->cr, 10.0);
  cairo_set_line_cap(g->cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_antialias(g->cr, Antialiased(g->smoothing) ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  SetSource(g->cr, pen->color);
  cairo_stroke(g->cr);
  return Ok;
}

ZEL_PLATFORM_API Status GdipDrawLine(GpGraphics* g, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
  const GpPointF points[2] = {{x1, y1}, {x2, y2}};
  return GdipDrawPolygon(g, pen, points, 2);
}
