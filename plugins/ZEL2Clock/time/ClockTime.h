// The time the clock shows and its text, and the plain values the render operation derives from
// its sampled parameters (colour words, position, radius).
//
// Everything here is a pure function of its arguments: no host call, no global state, safe to
// call from any number of threads at once. The render operation samples the parameters and hands
// the plain values over; these functions never fail and never read past what they are given.
//
// Hostile values are part of the contract: a double may be NaN, infinite or huge and an integer
// may lie outside its declared range. Every conversion to an integer is clamped first and no
// signed arithmetic overflows; where a value is unusable the result is stated below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel2clock {

/// Capacity of the clock text buffer in UTF-16 units, terminator included.
inline constexpr std::size_t kClockTextCapacity = 255;

/// Capacity of the "Start Time" free-format text in bytes, terminator included.
inline constexpr std::size_t kFreeFormatCapacity = 255;

/// Clock type values of the "the List value" parameter.
enum class ClockType : std::int32_t { Analog = 0, Digital = 1, Led = 2 };

/// Timer style values of the "Style List" parameter (1..15).
enum class TimerStyle : std::int32_t {
  HmsMillis = 1,       ///< hh:mm:ss.fff
  HmsHundredths = 2,   ///< hh:mm:ss.ff
  HmsTenths = 3,       ///< hh:mm:ss.f
  Hms = 4,             ///< hh:mm:ss
  Hm = 5,              ///< hh:mm
  MinSec = 6,          ///< mm:ss (minutes not wrapped at the hour)
  Min = 7,             ///< mm
  MinSecTenths = 8,    ///< mm:ss.f
  SecTenths = 9,       ///< ss.f (seconds not wrapped at the minute)
  TimeCode = 10,       ///< TC hh:mm:ss:ff
  DayMonthYear = 11,   ///< dd.mm.yyyy hh:mm:ss
  MonthDayYear = 12,   ///< mm/dd/yyyy hh:mm:ss
  FreeFormat = 13,     ///< the "Start Time" text expanded like strftime
  FrameCounter = 14,   ///< frame count
  FrameField = 15,     ///< frame count with field number
};

/// Everything the shown time and the clock text depend on. The render's sampler fills the
/// parameter values in place (ClockSettings::time); the render adds the frame's own values.
struct ClockTimeInputs {
  double clockTime = 0;           ///< T: frames since the effect's start, speed factor applied
  double frameRate = 0;           ///< frames per second; 0, negative or not finite: no elapsed time
  std::uint32_t startHour = 0;    ///< the time fields are unsigned 32-bit, as the host stores them
  std::uint32_t startMinute = 0;
  std::uint32_t startSecond = 0;
  std::uint32_t startMillisecond = 0;
  std::uint32_t startFrame = 0;
  std::int32_t startDay = 0;      ///< the date is shown as given and never advances
  std::int32_t startMonth = 0;
  std::int32_t startYear = 0;
  std::uint32_t stopHour = 0;
  std::uint32_t stopMinute = 0;
  std::uint32_t stopSecond = 0;
  std::uint32_t stopMillisecond = 0;
  std::int32_t countDown = 0;     ///< non-zero counts down (the Boolean as the host stores it)
  std::int32_t timerStyle = 1;    ///< 1..15; any other value leaves the text empty
  std::int32_t clockType = 0;     ///< 0 analog, 1 digital, 2 LED; only 1 and 2 get a text
  std::int32_t renderedField = 0; ///< 1, 2 or 3 change styles 10 and 15
  /// The "Start Time" text for the free format, as bytes (UTF-8). Read up to the first zero byte
  /// and never beyond startTimeTextSize nor kFreeFormatCapacity - 1 bytes; may be null.
  const char* startTimeText = nullptr;
  std::size_t startTimeTextSize = 0;
};

/// The shown time split into its fields. Hours wrap at 24 without touching the date.
struct ShownTime {
  std::int32_t hours = 0;
  std::int32_t minutes = 0;
  std::int32_t seconds = 0;
  std::int32_t milliseconds = 0;
};

/// The time the clock shows, in milliseconds (before splitting): start plus (or minus, counting
/// down) the elapsed time, held at the stop time. Styles 10, 14 and 15 count frames from the start
/// frame and have no stop time.
std::int32_t ShownMilliseconds(const ClockTimeInputs& in);

/// Splits milliseconds into hours (mod 24), minutes, seconds and milliseconds by truncating
/// division.
ShownTime SplitMilliseconds(std::int32_t t);

/// ShownMilliseconds then SplitMilliseconds.
ShownTime ComputeShownTime(const ClockTimeInputs& in);

/// Writes the clock text for `in.timerStyle` into szLine (always zero-terminated). Writes an empty
/// text for the analog clock, an unknown clock type or an unknown style.
void FormatClockText(const ClockTimeInputs& in, const ShownTime& shown,
                     char16_t (&szLine)[kClockTextCapacity]);

/// The clock time after the "Time Speed Factor": unchanged when the factor is disabled; multiplied
/// by a factor of 0 or more; divided by |factor| for a negative one.
double ScaleClockTime(double clockTime, std::int32_t speedFactor, bool factorEnabled);

/// Integer part of v, clamped to the signed 32-bit range; NaN gives 0.
std::int32_t TruncateToInt32(double v);

/// The 2-D library's colour word alpha << 24 | red << 16 | green << 8 | blue, with alpha the
/// integer part of opacity * 255 / 100 and each channel the integer part of its value, each taken
/// modulo 256. Opacity 50 gives alpha 127.
std::uint32_t MakeArgb(double opacityPercent, double red, double green, double blue);

/// Clock centre (analog) or text anchor in bitmap pixels: integer part of percent * extent / 100.
std::int32_t ClockCoordinate(double percent, std::uint32_t extent);

/// Analog radius and base text height in pixels: integer part of size / 100 * height / 2.
std::int32_t ClockRadius(double sizePercent, std::uint32_t height);


}  // namespace zel2clock
