// The device interface: DCs, DIB sections, pens, brushes, lines and ellipses.
#include "Gdi.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "GdiInternal.h"
#include "ZelPlatformHost.h"

using namespace zel::detail;

namespace {

struct StockObjects {
  Brush white{false, RGB(255, 255, 255), true};
  Brush ltgray{false, RGB(192, 192, 192), true};
  Brush gray{false, RGB(128, 128, 128), true};
  Brush dkgray{false, RGB(64, 64, 64), true};
  Brush black{false, RGB(0, 0, 0), true};
  Brush hollow{true, 0, true};
  Pen whitePen{PS_SOLID, 1, RGB(255, 255, 255), true};
  Pen blackPen{PS_SOLID, 1, RGB(0, 0, 0), true};
  Pen nullPen{PS_NULL, 1, 0, true};
  Bitmap defaultBitmap{nullptr, true};  ///< what a fresh memory DC has selected

  StockObjects() {
    for (GdiObject* o : std::initializer_list<GdiObject*>{&white, &ltgray, &gray, &dkgray, &black, &hollow, &whitePen,
                                                          &blackPen, &nullPen, &defaultBitmap})
      RegisterObject(o);
  }
};

StockObjects& Stock() {
  static StockObjects* stock = new StockObjects;  // never destroyed, like the platform's
  return *stock;
}

template <class T>
HGDIOBJ AsHandle(T* object) {
  return static_cast<GdiObject*>(object);
}

DeviceContext* LookUpDC(HDC hdc) { return LookUp<DeviceContext>(hdc, ObjectKind::DC); }

void Select(GdiObject*& slot, GdiObject* object) {
  if (slot) --slot->selections;
  slot = object;
  if (object) ++object->selections;
}

template <class T>
void SelectInto(T*& slot, T* object) {
  GdiObject* s = slot;
  Select(s, object);
  slot = static_cast<T*>(s);
}

HDC NewDC(DcKind kind) {
  auto* dc = new DeviceContext(kind);
  SelectInto(dc->pen, &Stock().blackPen);
  SelectInto(dc->brush, &Stock().white);
  if (kind == DcKind::Memory) SelectInto(dc->bitmap, &Stock().defaultBitmap);
  RegisterObject(dc);
  return reinterpret_cast<HDC>(static_cast<GdiObject*>(dc));
}

bool IsDisplayDriver(LPCWSTR driver) {
  static constexpr char16_t kDisplay[] = u"DISPLAY";
  if (!driver) return false;
  for (int i = 0;; ++i) {
    char16_t c = driver[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != kDisplay[i]) return false;
    if (c == 0) return true;
  }
}

// Writes one opaque pixel per call inside the DC's drawable area and records the touched extent.
class Rasterizer {
 public:
  explicit Rasterizer(DeviceContext& dc) : m_surface(dc.Surface()), m_area(dc.DrawableArea()), m_org(dc.viewportOrg) {}
  ~Rasterizer() {
    if (m_surface && !m_touched.Empty()) m_surface->MarkOpaque(m_touched);
  }
  bool CanDraw() const { return m_surface && !m_area.Empty(); }

  /// Logical coordinates.
  void Plot(long long x, long long y, COLORREF c) {
    x += m_org.x;
    y += m_org.y;
    if (x < m_area.left || x >= m_area.right || y < m_area.top || y >= m_area.bottom) return;
    if (!m_surface->Measuring()) {
      std::uint8_t* p = m_surface->Row(static_cast<int>(y)) + x * 4;
      p[0] = GetBValue(c);
      p[1] = GetGValue(c);
      p[2] = GetRValue(c);
      p[3] = 255;
    }
    m_touched.Unite({static_cast<int>(x), static_cast<int>(y), static_cast<int>(x) + 1, static_cast<int>(y) + 1});
  }
  /// A horizontal run [x0, x1] of logical row y.
  void Span(long long x0, long long x1, long long y, COLORREF c) {
    x0 = std::max<long long>(x0 + m_org.x, m_area.left) - m_org.x;
    x1 = std::min<long long>(x1 + m_org.x, m_area.right - 1) - m_org.x;
    for (long long x = x0; x <= x1; ++x) Plot(x, y, c);
  }
  /// A pen's nib at (x, y): one pixel, or a width x width square centred there.
  void Nib(long long x, long long y, const Pen& pen) {
    if (pen.width <= 1) return Plot(x, y, pen.color);
    long long lo = -(pen.width / 2), hi = lo + pen.width - 1;
    for (long long dy = lo; dy <= hi; ++dy) Span(x + lo, x + hi, y + dy, pen.color);
  }

 private:
  std::shared_ptr<PixelSurface> m_surface;
  PixelRect m_area;
  POINT m_org;
  PixelRect m_touched;
};

bool PenDraws(const Pen* pen) { return pen && pen->style != PS_NULL; }

}  // namespace

ZEL_PLATFORM_API HDC CreateDCW(LPCWSTR driver, LPCWSTR, LPCWSTR, const void*) {
  if (!IsDisplayDriver(driver)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewDC(DcKind::Display);
}

ZEL_PLATFORM_API HDC CreateCompatibleDC(HDC hdc) {
  if (hdc && !LookUpDC(hdc)) return nullptr;
  return NewDC(DcKind::Memory);
}

ZEL_PLATFORM_API HDC ZelCreateSurfaceDC(void* pixels, int width, int height, int stride) {
  auto surface = PixelSurface::CreateExternal(pixels, width, height, stride);
  if (!surface) return nullptr;
  HDC hdc = NewDC(DcKind::Surface);
  LookUpDC(hdc)->hostSurface = std::move(surface);
  return hdc;
}

ZEL_PLATFORM_API HDC ZelCreateMeasureDC(int width, int height) {
  auto surface = PixelSurface::CreateMeasure(width, height);
  if (!surface) return nullptr;
  HDC hdc = NewDC(DcKind::Surface);
  LookUpDC(hdc)->hostSurface = std::move(surface);
  return hdc;
}

ZEL_PLATFORM_API BOOL ZelGetMeasuredRect(HDC hdc, RECT* covered) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc || !covered) return FALSE;
  const std::shared_ptr<PixelSurface> surface = dc->Surface();
  if (!surface || !surface->Measuring()) return FALSE;
  const PixelRect r = surface->Drawn();
  *covered = r.Empty() ? RECT{0, 0, 0, 0} : RECT{r.left, r.top, r.right, r.bottom};
  return TRUE;
}

ZEL_PLATFORM_API BOOL DeleteDC(HDC hdc) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc) return FALSE;
  UnregisterObject(dc);
  SelectInto(dc->pen, static_cast<Pen*>(nullptr));
  SelectInto(dc->brush, static_cast<Brush*>(nullptr));
  SelectInto(dc->bitmap, static_cast<Bitmap*>(nullptr));
  delete dc;
  return TRUE;
}

ZEL_PLATFORM_API HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section,
                                          DWORD offset) {
  if (bits) *bits = nullptr;
  if (!bmi || usage != DIB_RGB_COLORS || section || offset != 0 || (hdc && !LookUpDC(hdc))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& h = bmi->bmiHeader;
  bool formatOk = h.biSize >= sizeof(BITMAPINFOHEADER) && h.biPlanes == 1 && h.biBitCount == 32;
  if (formatOk && h.biCompression == BI_BITFIELDS) {
    // The masks follow the 40-byte header, in a V4/V5 header as in a BITMAPINFO.
    DWORD masks[3];
    std::memcpy(masks, reinterpret_cast<const std::uint8_t*>(bmi) + sizeof(BITMAPINFOHEADER), sizeof masks);
    formatOk = masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF;
  } else if (h.biCompression != BI_RGB) {
    formatOk = false;
  }
  if (!formatOk || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT_MIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool topDown = h.biHeight < 0;
  auto surface = PixelSurface::CreateDib(h.biWidth, topDown ? -h.biHeight : h.biHeight, topDown);
  if (!surface) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bits) *bits = surface->Bits();
  auto* bitmap = new Bitmap(std::move(surface));
  RegisterObject(bitmap);
  return reinterpret_cast<HBITMAP>(AsHandle(bitmap));
}

ZEL_PLATFORM_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  DeviceContext* dc = LookUpDC(hdc);
  GdiObject* o = LookUpObject(obj);
  if (!dc || !o) return nullptr;
  switch (o->kind) {
    case ObjectKind::Pen: {
      HGDIOBJ previous = AsHandle(dc->pen);
      SelectInto(dc->pen, static_cast<Pen*>(o));
      return previous;
    }
    case ObjectKind::Brush: {
      HGDIOBJ previous = AsHandle(dc->brush);
      SelectInto(dc->brush, static_cast<Brush*>(o));
      return previous;
    }
    case ObjectKind::Bitmap: {
      if (dc->dcKind != DcKind::Memory) return nullptr;
      if (o == dc->bitmap) return AsHandle(dc->bitmap);
      if (!o->stock && o->selections > 0) return nullptr;  // selected into another DC
      HGDIOBJ previous = AsHandle(dc->bitmap);
      SelectInto(dc->bitmap, static_cast<Bitmap*>(o));
      return previous;
    }
    case ObjectKind::DC:
      break;
  }
  return nullptr;
}

ZEL_PLATFORM_API BOOL DeleteObject(HGDIOBJ obj) {
  GdiObject* o = LookUpObject(obj);
  if (!o || o->kind == ObjectKind::DC) return FALSE;
  if (o->stock) return TRUE;
  if (o->selections > 0) return FALSE;
  UnregisterObject(o);
  delete o;
  return TRUE;
}

ZEL_PLATFORM_API HGDIOBJ GetStockObject(int index) {
  StockObjects& s = Stock();
  switch (index) {
    case WHITE_BRUSH: return AsHandle(&s.white);
    case LTGRAY_BRUSH: return AsHandle(&s.ltgray);
    case GRAY_BRUSH: return AsHandle(&s.gray);
    case DKGRAY_BRUSH: return AsHandle(&s.dkgray);
    case BLACK_BRUSH: return AsHandle(&s.black);
    case NULL_BRUSH: return AsHandle(&s.hollow);
    case WHITE_PEN: return AsHandle(&s.whitePen);
    case BLACK_PEN: return AsHandle(&s.blackPen);
    case NULL_PEN: return AsHandle(&s.nullPen);
    default: return nullptr;
  }
}

ZEL_PLATFORM_API HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new Brush(false, color & 0x00FFFFFF);
  RegisterObject(b);
  return reinterpret_cast<HBRUSH>(AsHandle(b));
}

ZEL_PLATFORM_API HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID && style != PS_NULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* p = new Pen(style, std::max(1, width), color & 0x00FFFFFF);
  RegisterObject(p);
  return reinterpret_cast<HPEN>(AsHandle(p));
}

ZEL_PLATFORM_API BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* previous) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = dc->viewportOrg;
  dc->viewportOrg = {x, y};
  return TRUE;
}

ZEL_PLATFORM_API int SelectClipRgn(HDC hdc, HRGN region) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc || region) return ERROR;
  dc->clipped = false;
  return dc->Surface() ? SIMPLEREGION : NULLREGION;
}

ZEL_PLATFORM_API int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc) return ERROR;
  auto device = [](long long v) {
    return static_cast<int>(std::clamp<long long>(v, INT_MIN / 2, INT_MAX / 2));
  };
  PixelRect r{device(static_cast<long long>(left) + dc->viewportOrg.x), device(static_cast<long long>(top) + dc->viewportOrg.y),
              device(static_cast<long long>(right) + dc->viewportOrg.x), device(static_cast<long long>(bottom) + dc->viewportOrg.y)};
  if (r.Empty()) r = {};
  dc->clip = dc->clipped ? dc->clip.Intersect(r) : r;
  dc->clipped = true;
  return dc->DrawableArea().Empty() ? NULLREGION : SIMPLEREGION;
}

ZEL_PLATFORM_API BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = dc->current;
  dc->current = {x, y};
  return TRUE;
}

ZEL_PLATFORM_API BOOL LineTo(HDC hdc, int x, int y) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc) return FALSE;
  long long x0 = dc->current.x, y0 = dc->current.y;
  dc->current = {x, y};
  Rasterizer r(*dc);
  if (!PenDraws(dc->pen) || !r.CanDraw()) return TRUE;
  // Bresenham from the start to the end point, the end point itself left out.
  long long dx = std::llabs(x - x0), dy = -std::llabs(y - y0);
  int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  long long err = dx + dy;
  while (x0 != x || y0 != y) {
    r.Nib(x0, y0, *dc->pen);
    long long e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  return TRUE;
}

ZEL_PLATFORM_API BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  DeviceContext* dc = LookUpDC(hdc);
  if (!dc) return FALSE;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  Rasterizer r(*dc);
  if (!r.CanDraw() || right - left < 1 || bottom - top < 1) return TRUE;
  const long long w = static_cast<long long>(right) - left, h = static_cast<long long>(bottom) - top;
  // Rows would be walked one by one: give up on ellipses far larger than any surface.
  if (w > (1 << 20) || h > (1 << 20)) return TRUE;

  // Span of each row: pixels whose centres lie inside the ellipse through the rectangle's edges;
  // every row keeps at least its middle pixel(s), so that the outline stays closed.
  const double cx = left + w / 2.0, cy = top + h / 2.0, a = w / 2.0, b = h / 2.0;
  std::vector<std::pair<long long, long long>> spans(static_cast<std::size_t>(h));
  for (long long i = 0; i < h; ++i) {
    double d = (top + i + 0.5 - cy) / b;
    double half = a * std::sqrt(std::max(0.0, 1.0 - d * d));
    long long lo = static_cast<long long>(std::ceil(cx - half - 0.5));
    long long hi = static_cast<long long>(std::floor(cx + half - 0.5));
    if (lo > hi) {
      lo = left + (w - 1) / 2;
      hi = left + w / 2;
    }
    spans[static_cast<std::size_t>(i)] = {lo, hi};
  }
  const bool outline = PenDraws(dc->pen), fill = dc->brush && !dc->brush->isNull;
  for (long long i = 0; i < h; ++i) {
    auto [lo, hi] = spans[static_cast<std::size_t>(i)];
    long long y = top + i;
    // The outline reaches inward to where the narrower neighbouring row begins, so that it is
    // 8-connected.
    long long innerLo = lo, innerHi = hi;
    if (i == 0 || i == h - 1) {
      innerLo = hi + 1;
      innerHi = lo - 1;
    } else {
      innerLo = std::max({lo + 1, spans[i - 1].first, spans[i + 1].first});
      innerHi = std::min({hi - 1, spans[i - 1].second, spans[i + 1].second});
    }
    if (fill && innerLo <= innerHi) r.Span(innerLo, innerHi, y, dc->brush->color);
    if (outline) {
      if (innerLo > innerHi) {
        for (long long x = lo; x <= hi; ++x) r.Nib(x, y, *dc->pen);
      } else {
        for (long long x = lo; x < innerLo; ++x) r.Nib(x, y, *dc->pen);
        for (long long x = innerHi + 1; x <= hi; ++x) r.Nib(x, y, *dc->pen);
      }
    } else if (fill) {
      if (innerLo > innerHi) {
        r.Span(lo, hi, y, dc->brush->color);
      } else {
        r.Span(lo, innerLo - 1, y, dc->brush->color);
        r.Span(innerHi + 1, hi, y, dc->brush->color);
      }
    }
  }
  return TRUE;
}

ZEL_PLATFORM_API BOOL ZelGetDibDrawnRect(HBITMAP bitmap, RECT* drawn) {
  Bitmap* b = LookUp<Bitmap>(bitmap, ObjectKind::Bitmap);
  if (!b || !b->surface || !drawn) return FALSE;
  PixelRect r = b->surface->Drawn();
  *drawn = r.Empty() ? RECT{0, 0, 0, 0} : RECT{r.left, r.top, r.right, r.bottom};
  return TRUE;
}

ZEL_PLATFORM_API BOOL ZelClearDib(HBITMAP bitmap) {
  Bitmap* b = LookUp<Bitmap>(bitmap, ObjectKind::Bitmap);
  if (!b || !b->surface) return FALSE;
  b->surface->Clear();
  return TRUE;
}

ZEL_PLATFORM_API BOOL ZelMarkDibDrawn(HBITMAP bitmap, const RECT* rect) {
  Bitmap* b = LookUp<Bitmap>(bitmap, ObjectKind::Bitmap);
  if (!b || !b->surface || !rect) return FALSE;
  b->surface->MarkStraight({rect->left, rect->top, rect->right, rect->bottom});
  return TRUE;
}

ZEL_PLATFORM_API BOOL ZelMarkDibPremultiplied(HBITMAP bitmap, const RECT* rect) {
  Bitmap* b = LookUp<Bitmap>(bitmap, ObjectKind::Bitmap);
  if (!b || !b->surface || !rect) return FALSE;
  b->surface->MarkPremultiplied({rect->left, rect->top, rect->right, rect->bottom});
  return TRUE;
}
