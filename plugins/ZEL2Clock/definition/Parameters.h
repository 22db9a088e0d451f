// The effect's 33 parameters, each described once: what the catalogue registers (UID, display
// name, tooltip, type, default and range), how the render reads it (at the render time or as the
// plain value, and where in the sequence of reads), and the field of ClockSettings its value lands
// in. The catalogue builder, the render's sampler, the overlay, the update handler and the tests
// all draw on kParameters; adding a parameter is adding a row here (and, when it is shown, an
// entry in the panel table of EffectCatalogue.cpp).
//
// Header-only constant data, so that the tests can walk the table without linking the plug-in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "time/ClockTime.h"
#include "definition/PluginIds.h"
#include "WinTypes.h"
#include "ZELDefinitions.h"

namespace zel2clock {

/// Everything the render samples from the parameters for one frame or field. Every value starts
/// at zero and keeps it when the host does not deliver it; integers are kept as the host delivers
/// them. The time fields land straight in `time`, the inputs of the shown time and the text, whose
/// frame values (clock time, rate, field, free-format text) the render fills in beside them.
struct ClockSettings {
  double foregroundRed = 0, foregroundGreen = 0, foregroundBlue = 0, foregroundOpacity = 0;
  double backgroundRed = 0, backgroundGreen = 0, backgroundBlue = 0, backgroundOpacity = 0;
  std::int32_t alignment = 0;
  std::int32_t speedFactor = 0;
  bool speedFactorEnabled = false;  ///< the animated face's enabled state, asked with the factor
  double x = 0, y = 0, size = 0;
  std::uint32_t stopFrame = 0;  ///< read like its siblings, shown by no style
  ClockTimeInputs time;
  LOGFONTW font{};  ///< "PrivateData", the digital clock's font record
  /// "Start Time" as bytes; read only for a text clock in the free format, else empty.
  char startTimeText[kFreeFormatCapacity] = {};
};

/// How a parameter's default and range attributes are tagged in the catalogue. The colour
/// channels and opacities are declared double but take 32-bit integer attributes; the host
/// converts.
enum class Tag { None, Integer, SignedInteger, Double, Boolean, Text, Bytes };

/// Which of the five attributes a row sets; they are always set in this order.
enum Attr : unsigned { kDefault = 1, kMinimum = 2, kMaximum = 4, kIncrement = 8, kRemap = 16 };
inline constexpr unsigned kRange = kDefault | kMinimum | kMaximum | kIncrement;
inline constexpr unsigned kRangeRemap = kRange | kRemap;

/// How the render reads a parameter.
enum class Read : std::uint8_t {
  NotSampled,      ///< not read by the sampler (the RGB triples; the font record and the
                   ///< free-format text have steps of their own)
  AtTime,          ///< through the animated face at the render time
  AtTimeEnabled,   ///< the same, then the face's enabled state
  Plain,           ///< the untimed value of the parameter object
};

/// Where a sampled value lands: a byte offset into ClockSettings and the value's size (8 for a
/// double, 4 for the integers and the Boolean), which is also the size the host is asked for.
struct Landing {
  std::size_t offset = 0;
  std::uint32_t size = 0;
};

#define ZEL_LANDS_IN(member) \
  Landing { offsetof(ClockSettings, member), static_cast<std::uint32_t>(sizeof(std::declval<ClockSettings&>().member)) }

struct ParameterRow {
  VOKUID uid;
  const VOKCHAR* name;     ///< the display name, as registered
  const VOKCHAR* tooltip;
  const VOKUID* type;      ///< declared value type; also the type the render reads it as
  Tag tag = Tag::None;
  unsigned attributes = 0;
  double defaultValue = 0, minimum = 0, maximum = 0, increment = 0, remap = 0;
  /// Channel parameters of an RGB triple (red, green, blue), as indices into kParameters.
  std::array<std::size_t, 3> channels{};
  std::uint32_t channelCount = 0;
  Read read = Read::NotSampled;
  std::size_t readOrder = 0;  ///< place in the sequence of reads (sampled rows only)
  Landing lands{};
  /// For the range helpers below: the same row, read as given.
  constexpr ParameterRow Sampled(Read how, std::size_t order, Landing at) const {
    ParameterRow r = *this;
    r.read = how;
    r.readOrder = order;
    r.lands = at;
    return r;
  }
};

/// Parameter indices, in registration order.
namespace param {
enum : std::size_t {
  AlignmentList, ForegroundRed, ForegroundGreen, ForegroundBlue, ForegroundRGB, ForegroundOpacity,
  BackgroundRed, BackgroundGreen, BackgroundBlue, BackgroundRGB, BackgroundOpacity,
  ClockType, X, Y, Size, TimeSpeedFactor,
  StartHour, StartMinute, StartSecond, StartMillisecond, StartFrame, StartDay, StartMonth, StartYear,
  StopHour, StopMinute, StopSecond, StopMillisecond, StopFrame,
  CountDown, TimerStyle, StartTimeText, PrivateData,
  Count
};
}  // namespace param

namespace detail {
constexpr ParameterRow Channel(const VOKUID& uid, const VOKCHAR* name, const VOKCHAR* tooltip, double defaultValue,
                               double maximum) {
  return {uid, name, tooltip, &VOKTypeID_Double, Tag::Integer, kRangeRemap, defaultValue, 0, maximum, 1, 1};
}
constexpr ParameterRow Position(const VOKUID& uid, const VOKCHAR* name, const VOKCHAR* tooltip) {
  return {uid, name, tooltip, &VOKTypeID_Double, Tag::Double, kRange, 50.0, 0.0, 100.0, 0.05};
}
constexpr ParameterRow TimeField(const VOKUID& uid, const VOKCHAR* name, const VOKCHAR* tooltip, double defaultValue,
                                 double minimum, double maximum) {
  return {uid, name, tooltip, &VOKTypeID_Integer, Tag::Integer, kRange, defaultValue, minimum, maximum, 1};
}
constexpr ParameterRow List(const VOKUID& uid, const VOKCHAR* name, const VOKCHAR* tooltip) {
  return {uid, name, tooltip, &VOKTypeID_Integer};
}
constexpr ParameterRow Triple(const VOKUID& uid, const VOKCHAR* name, const VOKCHAR* tooltip, std::size_t red) {
  return {uid, name, tooltip, &VOKTypeID_RGB, Tag::None, 0, 0, 0, 0, 0, 0, {red, red + 1, red + 2}, 3};
}
}  // namespace detail

// Rows in registration order. The read order differs from it and is part of the host-visible call
// sequence: colour channels go red, blue, green; the hours and milliseconds of the start and stop
// times are plain values, every other sampled parameter is read at the render time.
inline constexpr ParameterRow kParameters[] = {
    detail::List(kParamAlignmentList, u"Alignment List", u"Alignment List")
        .Sampled(Read::AtTime, 10, ZEL_LANDS_IN(alignment)),
    detail::Channel(kParamForegroundRed, u"Foreground Red", u"Adjust Foreground Red Channel", 128, 255)
        .Sampled(Read::AtTime, 0, ZEL_LANDS_IN(foregroundRed)),
    detail::Channel(kParamForegroundGreen, u"Foreground Green", u"Adjust Foreground Green Channel", 128, 255)
        .Sampled(Read::AtTime, 2, ZEL_LANDS_IN(foregroundGreen)),
    detail::Channel(kParamForegroundBlue, u"Foreground Blue", u"Adjust Foreground Blue Channel", 128, 255)
        .Sampled(Read::AtTime, 1, ZEL_LANDS_IN(foregroundBlue)),
    detail::Triple(kParamForegroundRGB, u"Foreground RGB Color", u"Adjust Foreground RGB Color", param::ForegroundRed),
    detail::Channel(kParamForegroundOpacity, u"Foreground Opacity", u"Adjust Foreground Opacity", 100, 100)
        .Sampled(Read::AtTime, 3, ZEL_LANDS_IN(foregroundOpacity)),
    detail::Channel(kParamBackgroundRed, u"Background Red", u"Adjust Background Red Channel", 50, 255)
        .Sampled(Read::AtTime, 4, ZEL_LANDS_IN(backgroundRed)),
    detail::Channel(kParamBackgroundGreen, u"Background Green", u"Adjust Background Green Channel", 50, 255)
        .Sampled(Read::AtTime, 6, ZEL_LANDS_IN(backgroundGreen)),
    detail::Channel(kParamBackgroundBlue, u"Background Blue", u"Adjust Background Blue Channel", 50, 255)
        .Sampled(Read::AtTime, 5, ZEL_LANDS_IN(backgroundBlue)),
    detail::Triple(kParamBackgroundRGB, u"Background RGB Color", u"Adjust Background RGB Color", param::BackgroundRed),
    detail::Channel(kParamBackgroundOpacity, u"Background Opacity", u"Background Opacity", 100, 100)
        .Sampled(Read::AtTime, 7, ZEL_LANDS_IN(backgroundOpacity)),
    detail::List(kParamClockType, u"the List value", u"list value")
        .Sampled(Read::AtTime, 8, ZEL_LANDS_IN(time.clockType)),
    detail::Position(kParamX, u"X", u"Adjust X").Sampled(Read::AtTime, 12, ZEL_LANDS_IN(x)),
    detail::Position(kParamY, u"Y", u"Adjust Y").Sampled(Read::AtTime, 13, ZEL_LANDS_IN(y)),
    detail::Position(kParamSize, u"Size", u"Adjust Size").Sampled(Read::AtTime, 14, ZEL_LANDS_IN(size)),
    // The tooltip's missing closing parenthesis is part of the registered text.
    ParameterRow{kParamTimeSpeedFactor, u"Time Speed Factor",
                 u"Set Time Speed Factor (negative = divide, positive = multiply", &VOKTypeID_SignedInteger,
                 Tag::SignedInteger, kRange, 1, -500, 500, 1}
        .Sampled(Read::AtTimeEnabled, 11, ZEL_LANDS_IN(speedFactor)),
    detail::TimeField(kParamStartHour, u"Start Time Hour", u"Set Start Time Hour", 0, 0, 23)
        .Sampled(Read::Plain, 15, ZEL_LANDS_IN(time.startHour)),
    detail::TimeField(kParamStartMinute, u"Start Time Minute", u"Set Start Time Minute", 0, 0, 59)
        .Sampled(Read::AtTime, 16, ZEL_LANDS_IN(time.startMinute)),
    detail::TimeField(kParamStartSecond, u"Start Time Second", u"Set Start Time Second", 0, 0, 59)
        .Sampled(Read::AtTime, 17, ZEL_LANDS_IN(time.startSecond)),
    // "Millsecond" in the display names is the registered name; other components look it up by UID.
    detail::TimeField(kParamStartMillisecond, u"Start Time Millsecond", u"Set Start Time Millisecond", 0, 0, 999)
        .Sampled(Read::Plain, 18, ZEL_LANDS_IN(time.startMillisecond)),
    detail::TimeField(kParamStartFrame, u"Start Time Frame", u"Set Start Time Frame", 0, 0, 59)
        .Sampled(Read::AtTime, 19, ZEL_LANDS_IN(time.startFrame)),
    detail::TimeField(kParamStartDay, u"Start Time Day", u"Set Start Time Day", 1, 1, 31)
        .Sampled(Read::AtTime, 20, ZEL_LANDS_IN(time.startDay)),
    detail::TimeField(kParamStartMonth, u"Start Time Month", u"Set Start Time Month", 1, 1, 12)
        .Sampled(Read::AtTime, 21, ZEL_LANDS_IN(time.startMonth)),
    detail::TimeField(kParamStartYear, u"Start Time Year", u"Set Start Time Year", 2010, 1970, 2099)
        .Sampled(Read::AtTime, 22, ZEL_LANDS_IN(time.startYear)),
    detail::TimeField(kParamStopHour, u"Stop Time Hour", u"Set Stop Time Hour", 0, 0, 23)
        .Sampled(Read::Plain, 23, ZEL_LANDS_IN(time.stopHour)),
    detail::TimeField(kParamStopMinute, u"Stop Time Minute", u"Set Stop Time Minute", 0, 0, 59)
        .Sampled(Read::AtTime, 24, ZEL_LANDS_IN(time.stopMinute)),
    detail::TimeField(kParamStopSecond, u"Stop Time Second", u"Set Stop Time Second", 0, 0, 59)
        .Sampled(Read::AtTime, 25, ZEL_LANDS_IN(time.stopSecond)),
    detail::TimeField(kParamStopMillisecond, u"Stop Time Millsecond", u"Set Stop Time Millisecond", 0, 0, 999)
        .Sampled(Read::Plain, 26, ZEL_LANDS_IN(time.stopMillisecond)),
    detail::TimeField(kParamStopFrame, u"Stop Time Frame", u"Set Stop Time Frame", 0, 0, 59)
        .Sampled(Read::AtTime, 27, ZEL_LANDS_IN(stopFrame)),
    ParameterRow{kParamCountDown, u"Count Down", u"Set Count Down", &VOKTypeID_Boolean, Tag::Boolean, kDefault, 0}
        .Sampled(Read::AtTime, 28, ZEL_LANDS_IN(time.countDown)),
    detail::List(kParamTimerStyle, u"Style List", u"Style List").Sampled(Read::AtTime, 9, ZEL_LANDS_IN(time.timerStyle)),
    // Read by the render only for a text clock in the free format, after the font record.
    ParameterRow{kParamStartTimeText, u"Start Time", u"Start Time text", &VOKTypeID_Text, Tag::Text, kDefault},
    // The font record of the digital clock (a LOGFONTW), hidden from the panel; read whole by the
    // render and edited by the font chooser.
    ParameterRow{kParamPrivateData, u"PrivateData", u"PrivateData parameter", &VOKTypeID_ByteArray, Tag::Bytes,
                 kDefault},
};
#undef ZEL_LANDS_IN
static_assert(std::size(kParameters) == param::Count && param::Count == 33);

/// The number of parameters the sampler reads: all but the two triples, the text and the record.
inline constexpr std::size_t kSampledCount = 29;

/// Indices into kParameters of the sampled rows, in the order they are read.
inline constexpr std::array<std::size_t, kSampledCount> kReadOrder = [] {
  std::array<std::size_t, kSampledCount> order{};
  std::size_t found = 0;
  for (std::size_t i = 0; i < std::size(kParameters); ++i) {
    if (kParameters[i].read == Read::NotSampled) continue;
    order.at(kParameters[i].readOrder) = i;  // an order outside 0..28 does not compile
    ++found;
  }
  // Too many sampled rows, or two rows with one place, do not compile either.
  if (found != kSampledCount) throw "the sampled rows must number kSampledCount";
  for (std::size_t a = 0; a < kSampledCount; ++a)
    for (std::size_t b = 0; b < a; ++b)
      if (order[a] == order[b]) throw "two sampled rows share a place in the read order";
  return order;
}();

/// Every sampled value fits its landing field and is read as the size of that field.
constexpr bool LandingsFit() {
  for (const ParameterRow& row : kParameters) {
    if (row.read == Read::NotSampled) continue;
    const std::uint32_t expected = *row.type == VOKTypeID_Double ? 8 : 4;
    if (row.lands.size != expected || row.lands.offset + row.lands.size > sizeof(ClockSettings)) return false;
  }
  return true;
}
static_assert(LandingsFit());

/// The default font record: a height of -32 reads as 32 % of the clock radius, in the default
/// character set; the empty face name draws in the digital clock's fallback face.
inline constexpr LONG kDefaultFontHeight = -32;

}  // namespace zel2clock
