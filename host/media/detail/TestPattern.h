#pragma once
// The pictures of the built-in test pattern.

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <vector>

#include "media/Frame.h"

namespace zel::media::detail {

/// Draws frame k of the test pattern into an Rgba frame: colour bars in the upper 60 %, below
/// them a grey ramp that scrolls across the width every 4 seconds, and in the lower band the
/// frame number in block digits beside a white box that sweeps to and fro every 4 seconds. The
/// motion is what makes field order, dropped frames and a clock's time visible in the output.
/// The still parts are drawn once; a frame costs a copy plus the moving parts.
class TestPattern {
public:
  TestPattern(int width, int height, AVRational rate);

  /// `frame` must be Rgba at the pattern's size; every pixel is written, alpha 255.
  void draw(Frame& frame, std::int64_t index) const;

private:
  struct Band {
    int top;
    int bottom;
  };

  void fillRect(Frame& frame, int x0, int y0, int x1, int y1, const std::uint8_t rgba[4]) const;
  void drawNumber(Frame& frame, std::int64_t number) const;

  int m_width;
  int m_height;
  AVRational m_rate;
  Band m_ramp;
  Band m_lower;
  int m_cell;  ///< side of one block of a digit, in pixels
  Frame m_background;
  std::vector<std::uint8_t> m_rampRow;  ///< two periods of the ramp, so any offset reads one row
};

}  // namespace zel::media::detail
