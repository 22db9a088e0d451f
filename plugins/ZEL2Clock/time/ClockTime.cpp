#include "time/ClockTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

#include "WinNls.h"

namespace zel2clock {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, kInt32Min, kInt32Max));
}

bool IsFrameStyle(std::int32_t style) {
  return style == static_cast<std::int32_t>(TimerStyle::TimeCode) ||
         style == static_cast<std::int32_t>(TimerStyle::FrameCounter) ||
         style == static_cast<std::int32_t>(TimerStyle::FrameField);
}

bool UsableFrameRate(double rate) { return std::isfinite(rate) && rate > 0.0; }

// Hours, minutes and seconds in milliseconds, in unsigned 32-bit arithmetic: out-of-range fields
// wrap exactly as the stored values always have, which is defined and keeps old projects stable.
std::uint32_t ClockFieldsMs(std::uint32_t h, std::uint32_t m, std::uint32_t s) {
  return ((h * 60u + m) * 60u + s) * 1000u;
}

// T * 1000 / R truncated; no elapsed time when the rate or the clock time is unusable.
std::int32_t ElapsedMs(double t, double rate) {
  if (!UsableFrameRate(rate) || !std::isfinite(t)) return 0;
  return TruncateToInt32(t * 1000.0 / rate);
}

// The clock time as the frame-based styles see it: T plus the start frame.
double FrameStyleClockTime(const ClockTimeInputs& in) {
  return in.clockTime + static_cast<double>(in.startFrame);
}

// The frame within the second for the time code: T - int(T / R) * R, truncated.
std::int32_t TimeCodeFrames(double t, double rate) {
  if (!UsableFrameRate(rate) || !std::isfinite(t)) return 0;
  const double frames = t - std::trunc(t / rate) * rate;
  return std::isfinite(frames) ? TruncateToInt32(frames) : 0;
}

// Narrow ASCII (from our own printf formats) to UTF-16; `text` is at most a few dozen bytes.
void WidenAscii(const char* text, char16_t (&szLine)[kClockTextCapacity]) {
  std::size_t i = 0;
  for (; text[i] != '\0' && i + 1 < kClockTextCapacity; ++i)
    szLine[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
  szLine[i] = u'\0';
}

// Length of a UTF-8 prefix of at most `limit` bytes that does not cut a character in two.
std::size_t Utf8Prefix(const char* s, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
  std::size_t n = limit;
  // Step back over continuation bytes to the start of the cut character, so it is dropped whole.
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0u) == 0x80u) --n;
  return n;
}

// Expands the free format into `out` (kFreeFormatCapacity bytes), always terminated. A text that
// does not fit is cut at a character boundary instead of being left undefined.
void ExpandFreeFormat(const char* format, const std::tm& ltime, char (&out)[kFreeFormatCapacity]) {
  out[0] = '\0';
  if (format[0] == '\0') return;
  if (std::strftime(out, sizeof out, format, &ltime) != 0) return;
  // Zero means "did not fit" or "expanded to nothing"; a larger buffer tells them apart. The
  // format is at most 254 bytes, so without field widths 64 KiB holds any expansion.
  constexpr std::size_t kLargeCapacity = 64 * 1024;
  std::vector<char> large(kLargeCapacity);
  const std::size_t n = std::strftime(large.data(), large.size(), format, &ltime);
  const std::size_t keep = Utf8Prefix(large.data(), n, kFreeFormatCapacity - 1);
  std::memcpy(out, large.data(), keep);
  out[keep] = '\0';
}

void FormatFreeFormat(const ClockTimeInputs& in, const ShownTime& shown,
                      char16_t (&szLine)[kClockTextCapacity]) {
  char messageBuffer[kFreeFormatCapacity] = {};
  std::size_t length = 0;
  if (in.startTimeText != nullptr) {
    // A text of the full capacity with no terminator keeps its first capacity - 1 bytes.
    const std::size_t limit = std::min(in.startTimeTextSize, kFreeFormatCapacity - 1);
    while (length < limit && in.startTimeText[length] != '\0') ++length;
    std::memcpy(messageBuffer, in.startTimeText, length);
  }
  messageBuffer[length] = '\0';
  // A trailing '%' is shown literally: doubled while there is room, else replaced by a blank.
  if (length > 0 && messageBuffer[length - 1] == '%') {
    if (length <= kFreeFormatCapacity - 2) {
      messageBuffer[length] = '%';
      messageBuffer[length + 1] = '\0';
    } else {
      messageBuffer[length - 1] = ' ';
    }
  }

  std::tm ltime{};
  ltime.tm_sec = shown.seconds;
  ltime.tm_min = shown.minutes;
  ltime.tm_hour = shown.hours;
  ltime.tm_mday = in.startDay;
  // Computed wide and clamped so that strftime's own year + 1900 cannot overflow either.
  ltime.tm_mon = ClampToInt32(std::int64_t{in.startMonth} - 1);
  ltime.tm_year = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{in.startYear} - 1900,
                                                           kInt32Min, kInt32Max - 1900));
  ltime.tm_wday = 0;
  ltime.tm_yday = 0;
  ltime.tm_isdst = 0;

  char timestring[kFreeFormatCapacity];
  ExpandFreeFormat(messageBuffer, ltime, timestring);
  // The platform's ANSI-to-wide conversion (UTF-8 here), malformed bytes included. At most 254
  // bytes and the terminator never need more than kClockTextCapacity units.
  if (MultiByteToWideChar(CP_ACP, 0, timestring, -1, szLine, static_cast<int>(kClockTextCapacity)) == 0)
    szLine[0] = u'\0';
}

}  // namespace

std::int32_t TruncateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return kInt32Max;
  if (v <= -2147483648.0) return kInt32Min;
  return static_cast<std::int32_t>(v);
}

std::int32_t ShownMilliseconds(const ClockTimeInputs& in) {
  double start = ClockFieldsMs(in.startHour, in.startMinute, in.startSecond);
  double stop = ClockFieldsMs(in.stopHour, in.stopMinute, in.stopSecond);
  double t = in.clockTime;
  if (IsFrameStyle(in.timerStyle)) {
    t = FrameStyleClockTime(in);
    stop = 0.0;
  } else {
    start += in.startMillisecond;
    stop += in.stopMillisecond;
  }
  const std::int64_t elapsed = ElapsedMs(t, in.frameRate);
  const std::int64_t startMs = TruncateToInt32(start);
  if (!in.countDown) {
    const std::int32_t value = ClampToInt32(startMs + elapsed);
    // A stop time of zero never stops the clock.
    return (static_cast<double>(value) >= stop && stop != 0.0) ? TruncateToInt32(stop) : value;
  }
  const std::int32_t value = ClampToInt32(startMs - elapsed);
  // Counting down halts at the stop time (0 by default), so no negative time is shown.
  return (stop >= static_cast<double>(value)) ? TruncateToInt32(stop) : value;
}

ShownTime SplitMilliseconds(std::int32_t t) {
  ShownTime s;
  s.milliseconds = t % 1000;
  t /= 1000;
  s.seconds = t % 60;
  t /= 60;
  s.minutes = t % 60;
  s.hours = (t / 60) % 24;
  return s;
}

ShownTime ComputeShownTime(const ClockTimeInputs& in) {
  return SplitMilliseconds(ShownMilliseconds(in));
}

void FormatClockText(const ClockTimeInputs& in, const ShownTime& shown,
                     char16_t (&szLine)[kClockTextCapacity]) {
  szLine[0] = u'\0';
  if (in.clockType != static_cast<std::int32_t>(ClockType::Digital) &&
      in.clockType != static_cast<std::int32_t>(ClockType::Led))
    return;

  const int h = shown.hours, m = shown.minutes, s = shown.seconds, ms = shown.milliseconds;
  const int totalMinutes = h * 60 + m;
  // Enough for six 11-character integers and the separators of the longest format.
  char text[96];
  text[0] = '\0';
  switch (static_cast<TimerStyle>(in.timerStyle)) {
    case TimerStyle::HmsMillis:
      std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", h, m, s, ms);
      break;
    case TimerStyle::HmsHundredths:
      std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", h, m, s, ms / 10);
      break;
    case TimerStyle::HmsTenths:
      std::snprintf(text, sizeof text, "%02d:%02d:%02d.%01d", h, m, s, ms / 100);
      break;
    case TimerStyle::Hms:
      std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, m, s);
      break;
    case TimerStyle::Hm:
      std::snprintf(text, sizeof text, "%02d:%02d", h, m);
      break;
    case TimerStyle::MinSec:
      std::snprintf(text, sizeof text, "%02d:%02d", totalMinutes, s);
      break;
    case TimerStyle::Min:
      std::snprintf(text, sizeof text, "%02d", totalMinutes);
      break;
    case TimerStyle::MinSecTenths:
      std::snprintf(text, sizeof text, "%02d:%02d.%01d", totalMinutes, s, ms / 100);
      break;
    case TimerStyle::SecTenths:
      std::snprintf(text, sizeof text, "%02d.%01d", totalMinutes * 60 + s, ms / 100);
      break;
    case TimerStyle::TimeCode: {
      const int frames = TimeCodeFrames(FrameStyleClockTime(in), in.frameRate);
      const int n = std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", h, m, s, frames);
      // The second field is marked by a '.' before the frames instead of the ':'.
      if (in.renderedField == 2 && n > 8) text[8] = '.';
      break;
    }
    case TimerStyle::DayMonthYear:
      std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", in.startDay,
                    in.startMonth, in.startYear, h, m, s);
      break;
    case TimerStyle::MonthDayYear:
      std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", in.startMonth,
                    in.startDay, in.startYear, h, m, s);
      break;
    case TimerStyle::FreeFormat:
      FormatFreeFormat(in, shown, szLine);
      return;
    case TimerStyle::FrameCounter:
      std::snprintf(text, sizeof text, "%06d", TruncateToInt32(FrameStyleClockTime(in)));
      break;
    case TimerStyle::FrameField: {
      const int frame = TruncateToInt32(FrameStyleClockTime(in));
      if (in.renderedField == 1)
        std::snprintf(text, sizeof text, "%06d.1", frame);
      else if (in.renderedField == 2)
        std::snprintf(text, sizeof text, "%06d.2", frame);
      else
        std::snprintf(text, sizeof text, "%06d", frame);
      break;
    }
    default:
      return;
  }
  WidenAscii(text, szLine);
}

double ScaleClockTime(double clockTime, std::int32_t speedFactor, bool factorEnabled) {
  if (!factorEnabled) return clockTime;
  if (speedFactor >= 0) return clockTime * static_cast<double>(speedFactor);
  // Negated in double: -INT32_MIN does not exist as an int.
  return clockTime / -static_cast<double>(speedFactor);
}

std::uint32_t MakeArgb(double opacityPercent, double red, double green, double blue) {
  const auto byte = [](double v) {
    return static_cast<std::uint32_t>(TruncateToInt32(v)) & 0xFFu;
  };
  return byte(opacityPercent * 255.0 / 100.0) << 24 | byte(red) << 16 | byte(green) << 8 |
         byte(blue);
}

std::int32_t ClockCoordinate(double percent, std::uint32_t extent) {
  return TruncateToInt32(percent * static_cast<double>(extent) / 100.0);
}

std::int32_t ClockRadius(double sizePercent, std::uint32_t height) {
  return TruncateToInt32(sizePercent / 100.0 * static_cast<double>(height) / 2.0);
}

}  // namespace zel2clock
