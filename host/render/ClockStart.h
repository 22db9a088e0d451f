// Where the clock starts, when a front end takes it from the file or from the user: a time code
// (`--timecode source` or HH:MM:SS:FF) and the recording's date and time (`--datetime source` or
// ISO 8601). Sets the effect instance's parameters, its sequence rate and its timeline as
// docs/timecode.md says, so that render, preview and project files show the same clock.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/TimeCode.h"
#include "media/VideoSource.h"
#include "render/EffectInstance.h"

namespace zel::host {

/// What the clock is to start from; an empty text asks for nothing.
struct ClockStartRequest {
  std::string timeCode;       ///< "source", or a label "HH:MM:SS:FF" (';' before the frames: drop-frame)
  std::string dateTime;       ///< "source", or "YYYY-MM-DDTHH:MM:SS" with an optional Z or offset
  std::string timeCodeWhere;  ///< how messages name where it was asked: "--timecode 'source'"
  std::string dateTimeWhere;
};

/// A request that cannot be met: the file has no time code or no recording time, a label or date
/// that cannot be, a date outside the clock's years. One line that names the option and the file.
class ClockStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// What was set.
struct ClockStart {
  std::optional<media::EffectClock> clock;  ///< the time code the clock shows, when one was asked
  std::string summary;  ///< "time code 01:00:00:00 from the tmcd track of 'in.mov'"; empty: nothing asked
  std::vector<std::string> notes;  ///< one line each: a setting the request replaced, ...
  /// The label of frame k for a viewer ("01:00:00:12"); empty without a time code.
  std::string LabelOf(std::int64_t k) const;
};

/// Applies `request` to `instance` for frames of `info`, after the user's own settings and the
/// instance's sequence (whose rate it changes to the time code's nominal rate). `lastFrame` is the
/// last frame that may be rendered, up to which the date is keyed past each midnight. Throws
/// ClockStartError.
ClockStart ApplyClockStart(EffectInstance& instance, const ClockStartRequest& request, const media::SourceInfo& info,
                           std::int64_t lastFrame);

/// A note when the "Start Time" text is set but no key of "Style List" is "Free Format", the only
/// style that shows it; none otherwise.
std::optional<std::string> UnshownStartTimeText(const EffectInstance& instance);

}  // namespace zel::host
