// The time rule for hosts that hand the effect a time stamp instead of a frame number, and no frame
// rate: filter plug-in interfaces such as frei0r, whose clients pass seconds (MLT, GStreamer) or
// milliseconds (FFmpeg's filter), and none of which says how many frames a second the stream has.
//
// Rule: a time stamp t becomes render time k = seconds(t) x rate, in frames, so that frame k of a
// constant-rate stream that starts at 0 renders at time k, as `zelhost render` renders it.
//   - The unit is milliseconds or seconds when set; on "auto" it is milliseconds once the smallest
//     step seen between two time stamps is above 1.5 (a frame period of 1.5 s is no video), else
//     seconds.
//   - The rate is the one set; on "auto" it is detected from the smallest step between two time
//     stamps, snapped to a whole rate or an NTSC rate (N x 1000/1001); until a step has been seen
//     it is kDefaultRate.
//   - A render time within 1/1000 of a whole frame is that frame: seconds handed over as rounded
//     nanoseconds must not land a hair before the frame.
// Time stamps are not assumed to rise: a host may seek (editors do), repeat a frame or go back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zel::host {

/// A frame rate as a fraction, num / den frames per second.
struct FrameRate {
  std::int64_t num = 25;
  std::int64_t den = 1;

  double Value() const { return static_cast<double>(num) / static_cast<double>(den); }
  /// "25", "30000/1001".
  std::string Text() const;
  bool operator==(const FrameRate&) const = default;
};

/// The rate assumed before one could be detected.
inline constexpr FrameRate kDefaultRate{25, 1};
/// Rates the clock accepts, in frames per second.
inline constexpr double kMinRate = 0.001;
inline constexpr double kMaxRate = 1000.0;

/// The nearest whole rate or NTSC rate (N x 1000/1001) when `fps` is within 1/10000 of one, else
/// `fps` to a thousandth of a frame per second. `fps` must be positive and finite.
FrameRate NearestRate(double fps);
/// Reads "25", "29.97" (snapped as NearestRate does) or "30000/1001"; none for anything else or a
/// rate outside kMinRate..kMaxRate.
std::optional<FrameRate> ParseFrameRate(std::string_view text);

enum class TimeUnit { Auto, Seconds, Milliseconds };
/// Reads "auto", "s", "seconds", "ms", "milliseconds" (any case); none for anything else.
std::optional<TimeUnit> ParseTimeUnit(std::string_view text);
const char* TimeUnitName(TimeUnit unit);

class StreamClock {
 public:
  /// Where one time stamp lands.
  struct Tick {
    double frame = 0;        ///< render time in frames
    FrameRate rate;          ///< the rate it was converted with
    bool milliseconds = false;
  };

  /// A fixed rate, or none to detect it.
  void SetRate(std::optional<FrameRate> rate) { m_rate = rate; }
  const std::optional<FrameRate>& Rate() const { return m_rate; }
  void SetUnit(TimeUnit unit) { m_unit = unit; }
  TimeUnit Unit() const { return m_unit; }

  /// Takes the next time stamp in the host's unit (a NaN or infinity counts as 0) and says where
  /// it lands.
  Tick Advance(double hostTime);

 private:
  std::optional<FrameRate> m_rate;
  TimeUnit m_unit = TimeUnit::Auto;
  std::optional<double> m_last;      ///< the previous time stamp
  std::optional<double> m_minStep;   ///< smallest non-zero step between two stamps so far
};

}  // namespace zel::host
