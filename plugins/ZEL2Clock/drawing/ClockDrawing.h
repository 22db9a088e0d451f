// A frame's clock drawn into its off-screen bitmap, the way the render draws it.
//
// The analog clock's face and hour marks stay the same from one second to the next: they are
// drawn once per thread and kept (AnalogFaceCache), and a frame draws only the hands, over the
// kept face's pixels under them. The compositing then reads the bitmap inside the hands'
// rectangle and the kept face outside it, and gets the very bytes that drawing the whole clock
// into the bitmap gives.
#pragma once

#include "drawing/AnalogFaceCache.h"
#include "drawing/FrameClock.h"
#include "drawing/OffscreenDIB.h"

namespace zel2clock {

/// What a frame's drawing leaves for the compositing.
struct DrawnClock {
  /// Holds everything drawn into the bitmap (image rows; right and bottom excluded).
  RECT drawn{0, 0, 0, 0};
  /// When not null, the kept face and marks stand for the bitmap outside `drawn`; valid until the
  /// next drawing on this thread.
  const AnalogFace* face = nullptr;
};

/// Makes `dib` a fresh width x height bitmap in the row order asked for and draws `clock` into it;
/// with `keepFaces`, the analog clock's face comes from the thread's cache. Nothing drawn (and an
/// empty rectangle) when the bitmap cannot be made.
DrawnClock DrawClock(COffscreenDIB& dib, const FrameClock& clock, int width, int height, bool topDown,
                     bool keepFaces = true);

}  // namespace zel2clock
