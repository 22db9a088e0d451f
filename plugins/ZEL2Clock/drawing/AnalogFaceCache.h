// The analog clock's face and hour marks, drawn once and kept for the frames that show the same
// face: only the hands move from one second to the next.
//
// A pure cache. An entry is keyed by everything its bytes depend on (the bitmap's size and row
// order, the clock's centre, radius and horizontal scale, the face and mark colours), holds
// exactly what drawing the face and marks into a fresh bitmap gives, and is made on a miss by that
// very drawing; so a render gives the same bytes whether it finds an entry or not, and nothing
// rendered before can change what a frame looks like. One cache per thread (no locks, no sharing),
// bounded in entries and in bytes (and a quarter more for a face's 4:2:2 pairs); a face larger than
// the bound is simply not kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "compositing/Compositing.h"
#include "drawing/FrameClock.h"

namespace zel2clock {

/// What the face and marks of an analog clock depend on.
struct AnalogFaceKey {
  std::int32_t width = 0, height = 0;  ///< of the bitmap
  bool topDown = true;                 ///< its row order
  std::int32_t x = 0, y = 0, radius = 0;
  double horizontalScale = 1;
  std::uint32_t faceColor = 0, markColor = 0;

  bool operator==(const AnalogFaceKey&) const = default;
  static AnalogFaceKey Of(const FrameClock& clock, std::int32_t width, std::int32_t height, bool topDown);
};

/// The face and marks over the rectangle they cover, in bitmap memory rows (as the compositing
/// counts them) and columns widened to whole pixel pairs: each row (right - left) * 4 bytes of
/// B, G, R, A, in the 2-D library's premultiplied form (to draw the hands on) and handed over
/// (straight, what the bitmap holds after the drawing).
struct AnalogFace {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::vector<std::uint8_t> premultiplied;
  std::vector<std::uint8_t> straight;

  std::size_t RowBytes() const { return static_cast<std::size_t>(right - left) * 4; }
  bool Empty() const { return left >= right || top >= bottom; }
  /// The straight face's opaque pixel pairs composited for a 4:2:2 layout, made on first use (on
  /// the face's own thread, like the face) and kept for one layout at a time.
  const OpaquePairs& OpaquePairsFor(const Yuv422Layout& layout) const;

 private:
  mutable std::optional<OpaquePairs> m_opaquePairs;
};

class AnalogFaceCache {
 public:
  /// The cache of the calling thread.
  static AnalogFaceCache& ThisThread();

  /// The face of `key` (drawn as `clock` draws it), from the cache or drawn now, valid until the
  /// next Find on this thread; null when it cannot be kept (too large, or no bitmap could be
  /// made), and the caller draws as usual.
  const AnalogFace* Find(const AnalogFaceKey& key, const FrameClock& clock);

  /// The bounds: entries and bytes per thread.
  static constexpr std::size_t kMaxEntries = 2;
  static constexpr std::size_t kMaxBytes = std::size_t{96} << 20;

 private:
  struct Entry {
    AnalogFaceKey key;
    AnalogFace face;
    std::uint64_t lastUse = 0;
  };
  std::vector<Entry> m_entries;
  std::uint64_t m_uses = 0;
};

}  // namespace zel2clock
