// Internal object model shared by the device-interface and 2-D library sources: handles, pixel
// surfaces with drawn-region tracking, and the reusable DIB memory.
#pragma once

#include <cairo.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "Gdi.h"

namespace zel::detail {

/// A rectangle in image pixels (top row 0), right and bottom excluded. Empty when either side
/// has no extent.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
  void Unite(const PixelRect& other);
  PixelRect Intersect(const PixelRect& other) const;
};

/// Pixel memory of 32-bit B, G, R, A pixels that the platform draws into: the bits of a DIB
/// section (pooled memory) or a host's own buffer. Tracks what was drawn so that only that is
/// converted, cleared and reported.
///
/// Alpha form: the 2-D library (Cairo) draws premultiplied. `pending` is the region drawn that
/// way and not yet handed over; Flush() converts it to straight alpha. When drawing starts again
/// on a surface whose drawn region is straight, BeginDraw() premultiplies it back first.
class PixelSurface {
 public:
  /// Pooled, zeroed memory for a DIB section of width x height; null on allocation failure.
  static std::shared_ptr<PixelSurface> CreateDib(int width, int height, bool topDown);
  /// The caller's memory (row 0 at `pixels`, top-down); not owned.
  static std::shared_ptr<PixelSurface> CreateExternal(void* pixels, int width, int height, int stride);
  /// A surface of width x height without pixels: drawing on it only records what it would cover
  /// (Drawn()), exactly as on a DIB section of that size. Null for a size a DIB section refuses.
  static std::shared_ptr<PixelSurface> CreateMeasure(int width, int height);
  ~PixelSurface();
  PixelSurface(const PixelSurface&) = delete;
  PixelSurface& operator=(const PixelSurface&) = delete;

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  std::uint8_t* Bits() const { return m_bits; }
  /// Start of image row y (0 = top), whatever the memory row order.
  std::uint8_t* Row(int y) const {
    return m_topDown ? m_bits + static_cast<std::ptrdiff_t>(y) * m_stride
                     : m_bits + static_cast<std::ptrdiff_t>(m_height - 1 - y) * m_stride;
  }
  PixelRect Bounds() const { return {0, 0, m_width, m_height}; }
  PixelRect Drawn() const { return m_drawn; }
  /// True for a surface that only measures (CreateMeasure): it has no pixels.
  bool Measuring() const { return m_bits == nullptr; }

  /// The Cairo surface over the same memory (image row order), made on first use; null when
  /// Cairo refuses it.
  cairo_surface_t* Cairo();

  /// Before premultiplied drawing into `area` (clipped to the surface).
  void BeginDraw(const PixelRect& area);
  /// After opaque pixels were written into `area` directly (same in either alpha form).
  void MarkOpaque(const PixelRect& area);
  /// After the caller wrote `area` itself in straight form.
  void MarkStraight(const PixelRect& area);
  /// After the caller wrote `area` itself in premultiplied form, as Cairo would have drawn it.
  void MarkPremultiplied(const PixelRect& area);
  /// Converts the pending premultiplied region to straight alpha.
  void Flush();
  /// Zeroes the drawn region and forgets it.
  void Clear();

 private:
  PixelSurface() = default;

  std::uint8_t* m_bits = nullptr;
  std::size_t m_bytes = 0;  ///< pooled block size; 0 for external memory
  int m_width = 0, m_height = 0, m_stride = 0;
  bool m_topDown = true;
  cairo_surface_t* m_cairo = nullptr;
  PixelRect m_drawn;             ///< everything drawn since creation or Clear()
  PixelRect m_pending;           ///< drawn premultiplied, not yet handed over
  bool m_straightDrawn = false;  ///< m_drawn outside m_pending is in straight form
};

/// Converts premultiplied B, G, R, A to straight in the rectangle (table look-ups, no division).
void UnpremultiplyRect(PixelSurface& surface, const PixelRect& area);
void PremultiplyRect(PixelSurface& surface, const PixelRect& area);

enum class ObjectKind : std::uint32_t { Pen = 1, Brush, Bitmap, DC };

/// Common head of every handle's object. Handles are checked against a registry, so a stale or
/// foreign handle fails the call instead of touching freed memory.
struct GdiObject {
  explicit GdiObject(ObjectKind k, bool isStock = false) : kind(k), stock(isStock) {}
  virtual ~GdiObject() = default;
  ObjectKind kind;
  bool stock;
  std::atomic<int> selections{0};  ///< DCs that have it selected
};

struct Pen final : GdiObject {
  Pen(int s, int w, COLORREF c, bool isStock = false) : GdiObject(ObjectKind::Pen, isStock), style(s), width(w), color(c) {}
  int style;
  int width;
  COLORREF color;
};

struct Brush final : GdiObject {
  Brush(bool n, COLORREF c, bool isStock = false) : GdiObject(ObjectKind::Brush, isStock), isNull(n), color(c) {}
  bool isNull;
  COLORREF color;
};

struct Bitmap final : GdiObject {
  explicit Bitmap(std::shared_ptr<PixelSurface> s, bool isStock = false)
      : GdiObject(ObjectKind::Bitmap, isStock), surface(std::move(s)) {}
  std::shared_ptr<PixelSurface> surface;  ///< null for the 1x1 default bitmap of memory DCs
};

enum class DcKind { Display, Memory, Surface };

struct DeviceContext final : GdiObject {
  explicit DeviceContext(DcKind k) : GdiObject(ObjectKind::DC), dcKind(k) {}
  DcKind dcKind;
  Bitmap* bitmap = nullptr;                    ///< memory DCs
  std::shared_ptr<PixelSurface> hostSurface;   ///< surface DCs
  Pen* pen = nullptr;
  Brush* brush = nullptr;
  POINT viewportOrg{0, 0};
  POINT current{0, 0};
  bool clipped = false;
  PixelRect clip;  ///< device pixels, when clipped

  std::shared_ptr<PixelSurface> Surface() const { return bitmap ? bitmap->surface : hostSurface; }
  /// Where drawing may land: the surface bounds, narrowed by the clip.
  PixelRect DrawableArea() const;
};

/// Registry of live handles.
void RegisterObject(GdiObject* object);
void UnregisterObject(GdiObject* object);
/// The object behind `handle` when it is live and of `kind`, else null.
GdiObject* LookUpObject(const void* handle);
template <class T>
T* LookUp(const void* handle, ObjectKind kind) {
  GdiObject* o = LookUpObject(handle);
  return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}

}  // namespace zel::detail
