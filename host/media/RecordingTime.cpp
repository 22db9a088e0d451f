#include "media/RecordingTime.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "media/Error.h"

namespace zel::media {

namespace {

constexpr std::int64_t kDayMs = 86'400'000;

/// Reads exactly `count` digits at `at`; none when they are not all there.
std::optional<int> digits(std::string_view text, std::size_t& at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  at += count;
  return value;
}

bool take(std::string_view text, std::size_t& at, std::string_view chars) {
  if (at >= text.size() || chars.find(text[at]) == std::string_view::npos) return false;
  ++at;
  return true;
}

std::string twoDigits(int n) { return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; }

const char* kExpected = "expected a date and time as YYYY-MM-DDTHH:MM:SS, with Z or an offset (+01:00) after it where known";

}  // namespace

RecordingTime parseDateTime(std::string_view text) {
  RecordingTime t;
  std::size_t at = 0;
  const auto year = digits(text, at, 4);
  const bool dash1 = take(text, at, "-");
  const auto month = digits(text, at, 2);
  const bool dash2 = take(text, at, "-");
  const auto day = digits(text, at, 2);
  const bool sep = take(text, at, "T ");
  const auto hour = digits(text, at, 2);
  const bool colon = take(text, at, ":");
  const auto minute = digits(text, at, 2);
  if (!year || !dash1 || !month || !dash2 || !day || !sep || !hour || !colon || !minute) throw Error(kExpected);
  std::optional<int> second = 0;
  if (take(text, at, ":")) second = digits(text, at, 2);
  if (!second) throw Error(kExpected);
  if (take(text, at, ".,")) {
    // A fraction of any length; its first three digits are the milliseconds.
    int places = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      if (places++ < 3) t.millisecond = t.millisecond * 10 + (text[at] - '0');
      ++at;
    }
    if (places == 0) throw Error(kExpected);
    for (; places < 3; ++places) t.millisecond *= 10;
  }
  t.year = *year;
  t.month = *month;
  t.day = *day;
  t.hour = *hour;
  t.minute = *minute;
  t.second = *second;
  const std::chrono::year_month_day date{std::chrono::year{t.year}, std::chrono::month(static_cast<unsigned>(t.month)),
                                         std::chrono::day(static_cast<unsigned>(t.day))};
  if (!date.ok()) {
    throw Error(std::to_string(t.year) + "-" + twoDigits(t.month) + "-" + twoDigits(t.day) + " is not a date");
  }
  if (t.hour > 23 || t.minute > 59 || t.second > 59)
    throw Error(twoDigits(t.hour) + ":" + twoDigits(t.minute) + ":" + twoDigits(t.second) + " is not a time of day");

  if (at == text.size()) {
    t.where = "local time";
    return t;
  }
  if (take(text, at, "Zz")) {
    if (at != text.size()) throw Error(kExpected);
    // UTC: shown in the machine's time zone.
    std::tm utc{};
    utc.tm_year = t.year - 1900;
    utc.tm_mon = t.month - 1;
    utc.tm_mday = t.day;
    utc.tm_hour = t.hour;
    utc.tm_min = t.minute;
    utc.tm_sec = t.second;
    const std::time_t seconds = timegm(&utc);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) throw Error("cannot convert the time to the local time zone");
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    const char* zone = std::getenv("TZ");
    t.where = std::string("UTC, shown in ") + (zone != nullptr && zone[0] != '\0' ? "TZ=" + std::string(zone) : "the machine's time zone");
    return t;
  }
  const std::size_t signAt = at;
  if (!take(text, at, "+-")) throw Error(kExpected);
  const auto offsetHours = digits(text, at, 2);
  take(text, at, ":");
  std::optional<int> offsetMinutes = 0;
  if (at < text.size()) offsetMinutes = digits(text, at, 2);
  if (!offsetHours || !offsetMinutes || at != text.size() || *offsetHours > 14 || *offsetMinutes > 59)
    throw Error(kExpected);
  // The time is the local time where it was written; the offset only says which local time.
  t.where = "local time, UTC" + std::string(1, text[signAt]) + twoDigits(*offsetHours) + ":" + twoDigits(*offsetMinutes);
  return t;
}

RecordingTime recordingTimeOf(const RecordingTags& tags, const std::string& file) {
  std::string problem;
  for (const auto& [tag, value] : {std::pair<const char*, const std::string&>{"com.apple.quicktime.creationdate", tags.creationDate},
                                   {"creation_time", tags.creationTime}}) {
    if (value.empty()) continue;
    try {
      RecordingTime t = parseDateTime(value);
      t.where = std::string(tag) + " of '" + file + "' (" + t.where + ")";
      return t;
    } catch (const Error& e) {
      if (problem.empty()) problem = std::string(tag) + " '" + value + "': " + e.what();
    }
  }
  if (!problem.empty()) throw Error("'" + file + "': cannot read its " + problem);
  throw Error("'" + file + "' does not say when it was recorded (it has no com.apple.quicktime.creationdate or "
              "creation_time tag)");
}

RecordingTime addDays(RecordingTime t, int days) {
  using namespace std::chrono;
  const year_month_day date{sys_days{year_month_day{year{t.year}, month(static_cast<unsigned>(t.month)),
                                                    day(static_cast<unsigned>(t.day))}} +
                            std::chrono::days{days}};
  t.year = static_cast<int>(date.year());
  t.month = static_cast<int>(static_cast<unsigned>(date.month()));
  t.day = static_cast<int>(static_cast<unsigned>(date.day()));
  return t;
}

std::vector<std::int64_t> midnights(const std::function<std::int64_t(std::int64_t)>& shownMs, std::int64_t last) {
  std::vector<std::int64_t> frames;
  if (last < 1) return frames;
  std::int64_t from = 0;
  const std::int64_t lastDay = shownMs(last) / kDayMs;
  for (std::int64_t day = shownMs(0) / kDayMs + 1; day <= lastDay; ++day) {
    // The first frame at or after `from` that shows this day.
    std::int64_t lo = from, hi = last;
    while (lo < hi) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      if (shownMs(mid) >= day * kDayMs) hi = mid;
      else lo = mid + 1;
    }
    frames.push_back(lo);
    from = lo;
  }
  return frames;
}

}  // namespace zel::media
