#pragma once
// The one-line progress report of a long render.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zel::media {

/// Shows "frame 120/250  48%  37.5 fps  0:03 left" on one terminal line, redrawn in place at
/// most a few times a second, and ends it with a newline in finish(). Disabled, it prints
/// nothing, so callers need no conditions of their own. One thread calls it.
class ProgressLine {
public:
  /// `total` is the number of frames expected, or -1 when unknown.
  ProgressLine(std::FILE* out, std::int64_t total, bool enabled);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// Reports `done` frames so far; redraws when enough time has passed since the last redraw.
  void update(std::int64_t done);
  /// Draws the final state and ends the line (once; the destructor calls it too).
  void finish();
  /// The same for a job that ended after `done` frames: that is the total now, whatever was
  /// expected (a frame count estimated from a duration, an input cut short).
  void finish(std::int64_t done);

  /// The text of the line for `done` of `total` (-1: unknown) frames after `seconds`.
  static std::string text(std::int64_t done, std::int64_t total, double seconds);
  /// True when `stream` is a terminal (a progress line on a pipe or file is noise).
  static bool isTerminal(std::FILE* stream);

private:
  void draw();

  std::FILE* m_out;
  std::int64_t m_total;
  bool m_enabled;
  bool m_finished = false;
  std::int64_t m_done = 0;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace zel::media
