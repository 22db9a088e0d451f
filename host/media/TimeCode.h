#pragma once
// Time codes: the labels HH:MM:SS:FF a camera or an edit gives each frame (';' before the frames
// for drop-frame), and how the host shows them through the clock effect, whose own arithmetic
// counts real time at the rate it is given (docs/timecode.md).
//
// A time code counts N labels a second, N the nominal rate: 24 for 23.976 and 24 fps, 30 for
// 29.97 and 30, 60 for 59.94 and 60. A 23.976 or 29.97 clip therefore runs 0.1 % slower than its
// labels: an hour of labels lasts 3.6 s longer. Drop-frame (29.97 and 59.94 only) skips labels to
// stay near the clock on the wall: frames :00 and :01 (:00 to :03 at 60) of every minute that is
// not a multiple of ten. Frames are never dropped, only labels.

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVStream;

namespace zel::media {

/// How a time code counts.
struct TimeCodeRate {
  int fps = 25;       ///< labels a second, the nominal rate (1 to kMaxTimeCodeRate)
  bool drop = false;  ///< drop-frame counting (fps 30 or 60 only)
  bool operator==(const TimeCodeRate&) const = default;
};

/// Nominal rates above this have no two-digit frame field.
inline constexpr int kMaxTimeCodeRate = 60;

/// One label.
struct TimeCodeLabel {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  int frames = 0;
  bool operator==(const TimeCodeLabel&) const = default;
};

/// A frame's place in a time code: the frames counted since 00:00:00:00 of its first day, so that
/// a time code that runs past midnight keeps counting (its labels wrap at 24 hours).
struct TimeCode {
  TimeCodeRate rate;
  std::int64_t frame = 0;
  bool operator==(const TimeCode&) const = default;
};

/// The counting of a video of `videoRate` frames a second: N = the whole rate, or N x 1000/1001
/// for the NTSC family, within 0.05 %. None when the rate is neither (a time code cannot label
/// it), or when `drop` is asked at a nominal rate other than 30 or 60.
std::optional<TimeCodeRate> timeCodeRateOf(AVRational videoRate, bool drop);

/// Frames in one day of labels: 86400 x fps, less the dropped labels.
std::int64_t framesPerDay(TimeCodeRate rate);

/// The label of `code` (of its day: hours wrap at 24).
TimeCodeLabel labelOf(const TimeCode& code);
/// "01:00:00:00", or "00:01:00;02" for drop-frame.
std::string toString(const TimeCode& code);

/// Reads "HH:MM:SS:FF" (':' or ';' before the frames; ';', '.' and ',' mean drop-frame) for a
/// video of `videoRate` frames a second. Throws Error with one line that says what is wrong:
/// not a time code, hours past 23, minutes or seconds past 59, a frame past the rate's last, a
/// drop-frame label at a rate that does not drop, a label drop-frame skips, a rate no time code
/// counts.
TimeCode parseTimeCode(std::string_view text, AVRational videoRate);

/// The label number: the frames a time code that never drops would count to the same label,
/// hours x 3600 x fps + minutes x 60 x fps + seconds x fps + frames, carried on past midnight
/// (the next day adds 86400 x fps). Equal to the frame count without drop-frame.
std::int64_t labelNumber(const TimeCode& code);

/// What the host hands the effect so that its own counting shows a time code (docs/timecode.md).
///
/// Counting labels (`labels`): the effect is handed the nominal rate fps, start fields of zero and,
/// for a frame time t (frame k at k, a second field at k + 0.5), the time labelNumber(start + k) +
/// (t - k). Its time code style then shows hours, minutes and seconds of
/// trunc(L x 1000 / fps) milliseconds and frames L mod fps, the label itself; its frame counter
/// shows L; its time styles the time of day the label stands for.
///
/// Counting from the start (not `labels`: for a speed factor or a count down, which act on the
/// time from the effect's start): the start fields hold the first label, the effect is handed the
/// nominal rate and the frame time itself, and counts on from there as it always does.
struct EffectClock {
  TimeCode start;       ///< the label of frame 0
  bool labels = true;   ///< counting labels; else counting from the start label
  /// The frames a second the effect is handed.
  double rate() const { return static_cast<double>(start.rate.fps); }
  /// The start fields ("Start Time Hour", "Minute", "Second", "Frame"; the millisecond is 0).
  TimeCodeLabel startFields() const;
  /// The time the effect is handed for frame time `t`.
  double effectTime(double t) const;
  /// The frame time an effect time stands for: the inverse of effectTime, so that parameters
  /// keyed at frames are read at the frame the effect renders. Times between two labels of a drop
  /// are given to the frame after the drop.
  double frameTime(double effectTime) const;
};

// --- Reading a file's own time code -------------------------------------------------------------

/// A file's time code as the file states it, before it is checked against the video's rate.
struct TimeCodeTag {
  std::string text;   ///< "01:00:00:00" or "00:59:59;28", as found
  std::string where;  ///< "the tmcd track", "the MXF time code", "the MPEG-2 GOP header", ...
};

/// What a file says about when it was recorded, as found (both may be empty).
struct RecordingTags {
  /// QuickTime's com.apple.quicktime.creationdate: the local time with its offset, as a phone
  /// writes it ("2026-03-14T15:30:12+0100").
  std::string creationDate;
  /// The container's creation_time, in UTC ("2026-03-14T14:30:12.000000Z").
  std::string creationTime;
};

/// The time code that labels the first picture of `video`: the stream's own "timecode" tag (a
/// tmcd track of MOV and MP4, copied to the video it labels; an MPEG-2 stream's GOP header), the
/// file's (MXF, Matroska's TIMECODE, DV), another stream's (a tmcd track that names no video), or
/// the time code the decoder found in `first` (H.264 and HEVC picture timing, MPEG-2 GOP
/// headers). None when the file has none.
std::optional<TimeCodeTag> readTimeCodeTag(const AVFormatContext& format, const AVStream& video,
                                           const AVFrame* first);
/// The file's creation tags.
RecordingTags readRecordingTags(const AVFormatContext& format);

}  // namespace zel::media
