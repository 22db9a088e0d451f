#include "drawing/ClockDrawing.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "drawing/MeasureDC.h"

namespace zel2clock {
namespace {

/// Draws the analog clock's hands over its kept face and marks: the face's premultiplied pixels
/// under the hands' rectangle (measured, widened to whole pixel pairs) go into the fresh bitmap,
/// the hands are drawn over them as over the face itself, and the rectangle becomes straight with
/// the hands. Every pixel of that rectangle then holds what drawing the whole clock gives, and
/// every pixel of the face outside it is the kept straight face. Returns that rectangle (image
/// rows), or nothing when the hands could not be measured (then nothing was drawn).
std::optional<RECT> DrawHandsOverFace(COffscreenDIB& dib, HDC memDC, const FrameClock& clock, const AnalogFace& face,
                                      int width, int height, bool topDown) {
  RECT hands{};
  {
    const MeasureDC measure(width, height);
    if (measure.Get() == nullptr) return std::nullopt;
    DrawFrameClock(measure.Get(), clock, AnalogParts::Hands);
    if (!measure.Covered(hands)) return std::nullopt;
  }
  if (hands.left < hands.right) {
    hands.left &= ~1;
    hands.right = std::min<LONG>(width, hands.right + (hands.right & 1));
  }
  // The hands' rows in bitmap memory rows, as the face counts them; the part of the face under them.
  const LONG top = topDown ? hands.top : height - hands.bottom, bottom = topDown ? hands.bottom : height - hands.top;
  const LONG left = std::max<LONG>(hands.left, face.left), right = std::min<LONG>(hands.right, face.right);
  const LONG first = std::max<LONG>(top, face.top), end = std::min<LONG>(bottom, face.bottom);
  if (left < right && first < end) {
    auto* bits = static_cast<std::uint8_t*>(dib.GetPixelMemory());
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 4;
    for (LONG y = first; y < end; ++y)
      std::memcpy(bits + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(left)) * 4,
                  face.premultiplied.data() + static_cast<std::size_t>(y - face.top) * face.RowBytes() +
                      static_cast<std::size_t>(left - face.left) * 4,
                  bytes);
    const RECT under = topDown ? RECT{left, first, right, end} : RECT{left, height - end, right, height - first};
    ZelMarkDibPremultiplied(dib.GetBitmap(), &under);
  }
  DrawFrameClock(memDC, clock, AnalogParts::Hands);
  return hands;
}

}  // namespace

DrawnClock DrawClock(COffscreenDIB& dib, const FrameClock& clock, int width, int height, bool topDown,
                     bool keepFaces) {
  // The face first: a miss draws it into a bitmap of its own, whose memory the frame's then reuses.
  const AnalogFace* face = nullptr;
  if (keepFaces && clock.clockType == static_cast<std::int32_t>(ClockType::Analog))
    face = AnalogFaceCache::ThisThread().Find(AnalogFaceKey::Of(clock, width, height, topDown), clock);
  DrawnClock result;
  const HDC memDC = dib.Create(width, height, 32, topDown);
  if (memDC == nullptr) return result;
  if (face != nullptr) {
    if (const std::optional<RECT> hands = DrawHandsOverFace(dib, memDC, clock, *face, width, height, topDown)) {
      result.drawn = *hands;
      result.face = face;
      return result;
    }
  }
  DrawFrameClock(memDC, clock);
  result.drawn = dib.GetDrawnRect();
  return result;
}

}  // namespace zel2clock
