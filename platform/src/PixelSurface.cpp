// Pixel surfaces: DIB memory reuse, drawn-region tracking and the alpha-form conversions.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "GdiInternal.h"

namespace zel::detail {

void PixelRect::Unite(const PixelRect& o) {
  if (o.Empty()) return;
  if (Empty()) {
    *this = o;
    return;
  }
  left = std::min(left, o.left);
  top = std::min(top, o.top);
  right = std::max(right, o.right);
  bottom = std::max(bottom, o.bottom);
}

PixelRect PixelRect::Intersect(const PixelRect& o) const {
  PixelRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
  return r.Empty() ? PixelRect{} : r;
}

namespace {

// Freed DIB memory, all zero, kept for the next section: a fresh multi-megabyte allocation costs
// page faults on every frame, which is more than drawing the clock. Bounded so that a burst of
// large sections does not pin memory for ever.
class DibMemoryPool {
 public:
  static DibMemoryPool& Instance() {
    static DibMemoryPool* pool = new DibMemoryPool;  // never destroyed: sections may outlive statics
    return *pool;
  }

  /// Zeroed memory of at least `bytes`; *blockBytes receives the block's real size.
  std::uint8_t* Take(std::size_t bytes, std::size_t* blockBytes) {
    {
      std::lock_guard lock(m_mutex);
      auto best = m_free.end();
      for (auto it = m_free.begin(); it != m_free.end(); ++it) {
        // A block at most twice the size asked for, the tightest one.
        if (it->bytes >= bytes && it->bytes / 2 <= bytes && (best == m_free.end() || it->bytes < best->bytes)) best = it;
      }
      if (best != m_free.end()) {
        Block b = *best;
        m_free.erase(best);
        m_freeBytes -= b.bytes;
        *blockBytes = b.bytes;
        return b.memory;
      }
    }
    void* p = std::calloc(bytes, 1);
    *blockBytes = bytes;
    return static_cast<std::uint8_t*>(p);
  }

  /// Takes back a block that is all zero.
  void Give(std::uint8_t* memory, std::size_t bytes) {
    {
      std::lock_guard lock(m_mutex);
      if (m_free.size() < kMaxBlocks && m_freeBytes + bytes <= kMaxBytes) {
        m_free.push_back({memory, bytes});
        m_freeBytes += bytes;
        return;
      }
    }
    std::free(memory);
  }

 private:
  struct Block {
    std::uint8_t* memory;
    std::size_t bytes;
  };
  static constexpr std::size_t kMaxBlocks = 16;
  static constexpr std::size_t kMaxBytes = std::size_t{512} << 20;
  std::mutex m_mutex;
  std::vector<Block> m_free;
  std::size_t m_freeBytes = 0;
};

// unpremultiply[a][c] = round(c * 255 / a), capped at 255; row 0 maps everything to 0.
const std::array<std::uint8_t, 65536>& UnpremultiplyTable() {
  static const auto table = [] {
    std::array<std::uint8_t, 65536> t{};
    for (int a = 1; a < 256; ++a)
      for (int c = 0; c < 256; ++c) t[a * 256 + c] = static_cast<std::uint8_t>(std::min(255, (c * 255 + a / 2) / a));
    return t;
  }();
  return table;
}

// premultiply[a][c] = round(c * a / 255), the rounding Cairo's pixel library uses.
const std::array<std::uint8_t, 65536>& PremultiplyTable() {
  static const auto table = [] {
    std::array<std::uint8_t, 65536> t{};
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c) {
        int x = c * a + 128;
        t[a * 256 + c] = static_cast<std::uint8_t>((x + (x >> 8)) >> 8);
      }
    return t;
  }();
  return table;
}

template <class Convert>
void ForEachTranslucent(PixelSurface& s, const PixelRect& area, Convert convert) {
  PixelRect r = area.Intersect(s.Bounds());
  for (int y = r.top; y < r.bottom; ++y) {
    std::uint8_t* p = s.Row(y) + static_cast<std::ptrdiff_t>(r.left) * 4;
    for (int x = r.left; x < r.right; ++x, p += 4) {
      unsigned a = p[3];
      if (a != 255 && a != 0) convert(p, a);
    }
  }
}

}  // namespace

void UnpremultiplyRect(PixelSurface& s, const PixelRect& area) {
  const std::uint8_t* t = UnpremultiplyTable().data();
  PixelRect r = area.Intersect(s.Bounds());
  // Fills are mostly runs of one colour: a pixel equal to the one before takes its result.
  std::uint32_t lastIn = 0, lastOut = 0;
  auto convert = [&](std::uint8_t* p) {
    std::uint32_t in;
    std::memcpy(&in, p, 4);
    const unsigned a = in >> 24;
    if (a == 255 || a == 0) return;
    if (in != lastIn) {
      const std::uint8_t* row = t + a * 256;
      lastIn = in;
      lastOut = (in & 0xFF000000u) | static_cast<std::uint32_t>(row[(in >> 16) & 0xFF]) << 16 |
                static_cast<std::uint32_t>(row[(in >> 8) & 0xFF]) << 8 | row[in & 0xFF];
    }
    std::memcpy(p, &lastOut, 4);
  };
  for (int y = r.top; y < r.bottom; ++y) {
    std::uint8_t* p = s.Row(y) + static_cast<std::ptrdiff_t>(r.left) * 4;
    std::uint8_t* const end = p + static_cast<std::ptrdiff_t>(r.right - r.left) * 4;
#if defined(__SSE2__)
    // Four pixels at a time: skip groups that are all opaque or all transparent (the same in
    // either alpha form) and groups equal to the last converted pixel; the rest one by one.
    const __m128i opaque = _mm_set1_epi32(255), transparent = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i alpha = _mm_srli_epi32(v, 24);
      const __m128i done = _mm_or_si128(_mm_cmpeq_epi32(alpha, opaque), _mm_cmpeq_epi32(alpha, transparent));
      if (_mm_movemask_epi8(done) == 0xFFFF) continue;
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_set1_epi32(static_cast<int>(lastIn)))) == 0xFFFF && lastIn) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_set1_epi32(static_cast<int>(lastOut)));
        continue;
      }
      for (int i = 0; i < 16; i += 4) convert(p + i);
    }
#endif
    for (; p < end; p += 4) convert(p);
  }
}

void PremultiplyRect(PixelSurface& s, const PixelRect& area) {
  const std::uint8_t* t = PremultiplyTable().data();
  ForEachTranslucent(s, area, [t](std::uint8_t* p, unsigned a) {
    const std::uint8_t* row = t + a * 256;
    p[0] = row[p[0]];
    p[1] = row[p[1]];
    p[2] = row[p[2]];
  });
}

std::shared_ptr<PixelSurface> PixelSurface::CreateDib(int width, int height, bool topDown) {
  if (width <= 0 || height <= 0 || width > (1 << 15) || height > (1 << 15)) return nullptr;
  std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  std::shared_ptr<PixelSurface> s(new PixelSurface);
  s->m_bits = DibMemoryPool::Instance().Take(bytes, &s->m_bytes);
  if (!s->m_bits) return nullptr;
  s->m_width = width;
  s->m_height = height;
  s->m_stride = width * 4;
  s->m_topDown = topDown;
  return s;
}

std::shared_ptr<PixelSurface> PixelSurface::CreateExternal(void* pixels, int width, int height, int stride) {
  if (!pixels || width <= 0 || height <= 0 || stride % 4 != 0 || stride < width * 4) return nullptr;
  std::shared_ptr<PixelSurface> s(new PixelSurface);
  s->m_bits = static_cast<std::uint8_t*>(pixels);
  s->m_width = width;
  s->m_height = height;
  s->m_stride = stride;
  return s;
}

std::shared_ptr<PixelSurface> PixelSurface::CreateMeasure(int width, int height) {
  if (width <= 0 || height <= 0 || width > (1 << 15) || height > (1 << 15)) return nullptr;
  std::shared_ptr<PixelSurface> s(new PixelSurface);
  s->m_width = width;
  s->m_height = height;
  s->m_stride = width * 4;
  return s;
}

PixelSurface::~PixelSurface() {
  // Only the drawn region can be non-zero: clearing it returns an all-zero block to the pool.
  // Clear() flushes the Cairo surface, so it goes first and the surface after it; the block goes
  // back to the pool last, when nothing refers to it any more.
  if (m_bytes) Clear();
  if (m_cairo) cairo_surface_destroy(m_cairo);
  m_cairo = nullptr;
  if (m_bytes) DibMemoryPool::Instance().Give(m_bits, m_bytes);
}

cairo_surface_t* PixelSurface::Cairo() {
  if (!m_cairo && !Measuring()) {
    // Bottom-up rows: Cairo walks them from the last memory row with a negative stride.
    std::uint8_t* first = Row(0);
    int stride = m_topDown ? m_stride : -m_stride;
    cairo_surface_t* s = cairo_image_surface_create_for_data(first, CAIRO_FORMAT_ARGB32, m_width, m_height, stride);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    m_cairo = s;
  }
  return m_cairo;
}

void PixelSurface::BeginDraw(const PixelRect& area) {
  PixelRect r = area.Intersect(Bounds());
  if (Measuring()) {
    m_drawn.Unite(r);
    return;
  }
  if (m_straightDrawn) {
    // Drawing on top of handed-over pixels: Cairo needs them premultiplied again.
    PremultiplyRect(*this, m_drawn);
    m_pending = m_drawn;
    m_straightDrawn = false;
  }
  m_pending.Unite(r);
  m_drawn.Unite(r);
}

void PixelSurface::MarkOpaque(const PixelRect& area) { m_drawn.Unite(area.Intersect(Bounds())); }

void PixelSurface::MarkStraight(const PixelRect& area) {
  PixelRect r = area.Intersect(Bounds());
  if (!m_pending.Empty()) Flush();
  m_drawn.Unite(r);
  m_straightDrawn = !m_drawn.Empty();
}

void PixelSurface::MarkPremultiplied(const PixelRect& area) {
  BeginDraw(area);
  // Cairo must not trust anything it may remember of those pixels.
  const PixelRect r = area.Intersect(Bounds());
  if (m_cairo && !r.Empty()) cairo_surface_mark_dirty_rectangle(m_cairo, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void PixelSurface::Flush() {
  if (m_pending.Empty()) return;
  if (m_cairo) cairo_surface_flush(m_cairo);
  UnpremultiplyRect(*this, m_pending);
  if (m_cairo)
    cairo_surface_mark_dirty_rectangle(m_cairo, m_pending.left, m_pending.top, m_pending.right - m_pending.left,
                                       m_pending.bottom - m_pending.top);
  m_pending = {};
  m_straightDrawn = true;
}

void PixelSurface::Clear() {
  PixelRect r = Measuring() ? PixelRect{} : m_drawn.Intersect(Bounds());
  if (m_cairo) cairo_surface_flush(m_cairo);
  for (int y = r.top; y < r.bottom; ++y)
    std::memset(Row(y) + static_cast<std::ptrdiff_t>(r.left) * 4, 0, static_cast<std::size_t>(r.right - r.left) * 4);
  if (m_cairo && !r.Empty()) cairo_surface_mark_dirty_rectangle(m_cairo, r.left, r.top, r.right - r.left, r.bottom - r.top);
  m_drawn = {};
  m_pending = {};
  m_straightDrawn = false;
}

PixelRect DeviceContext::DrawableArea() const {
  auto s = Surface();
  if (!s) return {};
  return clipped ? clip.Intersect(s->Bounds()) : s->Bounds();
}

namespace {
struct Registry {
  std::mutex mutex;
  std::unordered_set<const void*> live;
};
Registry& TheRegistry() {
  static Registry* r = new Registry;  // never destroyed: handles may be released during exit
  return *r;
}
}  // namespace

void RegisterObject(GdiObject* object) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.live.insert(object);
}

void UnregisterObject(GdiObject* object) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.live.erase(object);
}

GdiObject* LookUpObject(const void* handle) {
  if (!handle) return nullptr;
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.live.count(handle) ? static_cast<GdiObject*>(const_cast<void*>(handle)) : nullptr;
}

}  // namespace zel::detail
