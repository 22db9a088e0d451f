#include "drawing/AnalogFaceCache.h"

#include <algorithm>
#include <cstring>

#include "drawing/OffscreenDIB.h"

namespace zel2clock {

AnalogFaceKey AnalogFaceKey::Of(const FrameClock& clock, std::int32_t width, std::int32_t height, bool topDown) {
  AnalogFaceKey key;
  key.width = width;
  key.height = height;
  key.topDown = topDown;
  key.x = clock.x;
  key.y = clock.y;
  key.radius = clock.radius;
  key.horizontalScale = clock.horizontalScale;
  key.faceColor = clock.backColor;
  key.markColor = clock.textColor;
  return key;
}

const OpaquePairs& AnalogFace::OpaquePairsFor(const Yuv422Layout& layout) const {
  const auto same = [&layout](const Yuv422Layout& l) {
    return l.offY0 == layout.offY0 && l.offY1 == layout.offY1 && l.offCb == layout.offCb && l.offCr == layout.offCr &&
           l.pairStep == layout.pairStep;
  };
  if (!m_opaquePairs || !same(m_opaquePairs->layout))
    m_opaquePairs = MakeOpaquePairs(straight.data(), DrawnRect{left, top, right, bottom}, layout);
  return *m_opaquePairs;
}

AnalogFaceCache& AnalogFaceCache::ThisThread() {
  thread_local AnalogFaceCache cache;
  return cache;
}

namespace {

/// The rows [face.top, face.bottom) and columns [face.left, face.right) of the bitmap's memory
/// rows of width * 4 bytes, into `to`.
void CopyOut(const std::uint8_t* bits, std::int32_t width, const AnalogFace& face, std::vector<std::uint8_t>& to) {
  const std::size_t rowBytes = face.RowBytes();
  to.resize(rowBytes * static_cast<std::size_t>(face.bottom - face.top));
  for (std::int32_t y = face.top; y < face.bottom; ++y)
    std::memcpy(to.data() + rowBytes * static_cast<std::size_t>(y - face.top),
                bits + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(face.left)) * 4,
                rowBytes);
}

}  // namespace

const AnalogFace* AnalogFaceCache::Find(const AnalogFaceKey& key, const FrameClock& clock) {
  ++m_uses;
  for (Entry& e : m_entries)
    if (e.key == key) {
      e.lastUse = m_uses;
      return &e.face;
    }

  // A miss: the face and marks drawn into a fresh bitmap, as a render would start its drawing.
  COffscreenDIB dib;
  const HDC dc = dib.Create(key.width, key.height, 32, key.topDown);
  if (dc == nullptr || dib.GetPixelMemory() == nullptr) return nullptr;
  const auto* bits = static_cast<const std::uint8_t*>(dib.GetPixelMemory());
  AnalogFace face;
  bool kept = false;
  DrawFrameClock(dc, clock, AnalogParts::Face, [&] {
    const RECT drawn = dib.GetDrawnRect();
    if (drawn.left < drawn.right && drawn.top < drawn.bottom) {
      // Whole pixel pairs, so that a 4:2:2 pair never takes its two pixels from two sources.
      face.left = drawn.left & ~1;
      face.right = std::min<std::int32_t>(key.width, drawn.right + (drawn.right & 1));
      face.top = key.topDown ? drawn.top : key.height - drawn.bottom;
      face.bottom = key.topDown ? drawn.bottom : key.height - drawn.top;
    }
    if (2 * face.RowBytes() * static_cast<std::size_t>(face.bottom - face.top) > kMaxBytes) return;
    CopyOut(bits, key.width, face, face.premultiplied);
    kept = true;
  });
  if (!kept) return nullptr;
  CopyOut(bits, key.width, face, face.straight);

  // Room for it: the entries used longest ago go first.
  const std::size_t bytes = face.premultiplied.size() + face.straight.size();
  const auto total = [this] {
    std::size_t sum = 0;
    for (const Entry& e : m_entries) sum += e.face.premultiplied.size() + e.face.straight.size();
    return sum;
  };
  while (!m_entries.empty() && (m_entries.size() >= kMaxEntries || total() + bytes > kMaxBytes)) {
    const auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                         [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
    m_entries.erase(oldest);
  }
  m_entries.push_back(Entry{key, std::move(face), m_uses});
  return &m_entries.back().face;
}

}  // namespace zel2clock
