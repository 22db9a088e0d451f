// One frame's clock: what the render draws, computed from the sampled settings and the frame, and
// the drawing of it into the off-screen bitmap.
//
// ComputeFrameClock is a pure function (no host call, no global state): the time shown, the text,
// position and size, the two colour words and the font. Hostile values are bounded here, so that
// the drawing never has to: coordinates and radius stay far inside 32 bits and the horizontal
// scale within 1/16..16.
#pragma once

#include <cstdint>
#include <functional>

#include "time/ClockTime.h"
#include "Gdi.h"
#include "definition/Parameters.h"

namespace zel2clock {

/// What the render knows of the frame besides the parameters.
struct FrameFacts {
  double clockTime = 0;          ///< the render time as the clock counts it, before the speed factor
  double frameRate = 0;          ///< the effect's frames per second
  std::int32_t renderedField = 0;
  std::uint32_t width = 0, height = 0;
  double pixelAspectRatio = 1;   ///< of the output image
};

/// Everything one frame's clock is drawn from.
struct FrameClock {
  std::int32_t clockType = 0;     ///< ClockType; any other value draws nothing
  std::int32_t x = 0, y = 0;      ///< centre (analog) or anchor (text clocks), bitmap pixels
  std::int32_t radius = 0;
  double horizontalScale = 1;     ///< 1 / pixel aspect ratio
  std::uint32_t textColor = 0;    ///< 2-D library colour words (0xAARRGGBB)
  std::uint32_t backColor = 0;
  std::int32_t alignment = 0;     ///< of the digital clock
  ShownTime shown;
  char16_t text[kClockTextCapacity] = {};
  int textLength = 0;             ///< UTF-16 units before the terminator
  LOGFONTW font{};                ///< the digital clock's font record
};

FrameClock ComputeFrameClock(const ClockSettings& settings, const FrameFacts& frame);

/// Which parts of the analog clock a drawing makes: all of it, its face with the hour marks (what
/// stays the same from one second to the next), or its three hands alone.
enum class AnalogParts { All, Face, Hands };

/// Draws the clock on a memory DC that holds the off-screen bitmap, with the 2-D library started
/// for the drawing and shut down again before it returns. `parts` applies to the analog clock.
/// `beforeHandOver`, when given, runs after the drawing while its pixels are still in the 2-D
/// library's premultiplied form (see ZelMarkDibPremultiplied).
void DrawFrameClock(HDC memDC, const FrameClock& clock, AnalogParts parts = AnalogParts::All,
                    const std::function<void()>& beforeHandOver = nullptr);

}  // namespace zel2clock
