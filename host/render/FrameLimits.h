// The largest picture the host takes, the same for every front end (the media layer's frames, the
// frei0r module's client buffers): a bound on what one frame may ask to allocate.
#pragma once

namespace zel::host {

/// Largest width or height of a frame any front end hands the effect.
inline constexpr int kMaxFrameSide = 16384;

}  // namespace zel::host
