#pragma once
// When a recording was made, for the clock's date and time styles: read from the file's creation
// tags or typed as ISO 8601, in the local time of the recording where it is known, else in the
// machine's time zone (TZ). And the frames past midnight, where the date fields turn to the next day.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "media/TimeCode.h"

namespace zel::media {

/// A local date and time of day.
struct RecordingTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  /// Where it came from and in which time: "com.apple.quicktime.creationdate, UTC+01:00",
  /// "creation_time, converted to TZ", "--datetime".
  std::string where;
  bool operator==(const RecordingTime& other) const {
    return year == other.year && month == other.month && day == other.day && hour == other.hour &&
           minute == other.minute && second == other.second && millisecond == other.millisecond;
  }
};

/// Reads "YYYY-MM-DDTHH:MM[:SS[.fff]]" (' ' for 'T' too) with an optional "Z" or "+HH:MM",
/// "+HHMM", "+HH" after it. A time with an offset is the local time of the place it was written in
/// and stays as written; a time in UTC ("Z") is converted to the local time of TZ; a time with
/// neither is local already. Throws Error saying what is wrong (not a date, no 30 February, ...).
RecordingTime parseDateTime(std::string_view text);

/// The recording's time from its tags: com.apple.quicktime.creationdate (which a phone writes in
/// its local time with the offset) first, else creation_time. Throws Error when neither is there
/// or readable; `file` names the file in the message.
RecordingTime recordingTimeOf(const RecordingTags& tags, const std::string& file);

/// The date `days` days after year-month-day (negative goes back).
RecordingTime addDays(RecordingTime date, int days);

/// Frames at which a clock whose shown time in milliseconds at frame k is `shownMs(k)` (rising
/// with k) passes a midnight: the first frame of each following day, up to frame `last`.
std::vector<std::int64_t> midnights(const std::function<std::int64_t(std::int64_t)>& shownMs, std::int64_t last);

}  // namespace zel::media
