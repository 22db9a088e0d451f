// Time codes: the host's rule for what it hands the effect, fed through the effect's own time and
// text arithmetic, shows every label of whole hours of frames at every standard rate, against an
// independent count written here; reading and checking labels typed by hand; reading the time
// codes ffmpeg's -timecode writes into each container.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/timecode.h>
}

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "MediaTestSupport.h"
#include "media/Error.h"
#include "media/RecordingTime.h"
#include "media/TimeCode.h"
#include "media/VideoSource.h"
#include "media/detail/FFmpeg.h"
#include "time/ClockTime.h"

namespace zel::media {
namespace {

/// SMPTE counting as a person does it, one frame at a time: the frames roll over into the
/// seconds, minutes and hours, and a drop-frame count skips the first labels of each minute that
/// is not a multiple of ten. Independent of the code under test: no formula, only counting.
struct Odometer {
  int fps;
  bool drop;
  int h = 0, m = 0, s = 0, f = 0;
  long long days = 0;

  void Advance() {
    if (++f < fps) return;
    f = 0;
    if (++s < 60) return;
    s = 0;
    if (++m == 60) {
      m = 0;
      if (++h == 24) {
        h = 0;
        ++days;
      }
    }
    if (drop && m % 10 != 0) f = fps / 15;
  }
  std::string Label(char separator) const {
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", h, m, s, separator, f);
    return text;
  }
  long long LabelNumber() const { return (((days * 24 + h) * 60 + m) * 60 + s) * fps + f; }
};

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; *text != 0; ++text) out += static_cast<char>(*text);
  return out;
}

/// The clock text the effect computes from what the host hands it at frame time `t`.
std::string EffectText(const EffectClock& clock, double t, zel2clock::TimerStyle style, std::int32_t field = 0) {
  zel2clock::ClockTimeInputs in;
  in.clockTime = clock.effectTime(t);
  in.frameRate = clock.rate();
  const TimeCodeLabel start = clock.startFields();
  in.startHour = start.hours;
  in.startMinute = start.minutes;
  in.startSecond = start.seconds;
  in.startFrame = start.frames;
  in.timerStyle = static_cast<std::int32_t>(style);
  in.clockType = static_cast<std::int32_t>(zel2clock::ClockType::Digital);
  in.renderedField = field;
  char16_t text[zel2clock::kClockTextCapacity];
  zel2clock::FormatClockText(in, zel2clock::ComputeShownTime(in), text);
  return Narrow(text);
}

struct RateCase {
  const char* name;
  AVRational rate;
  int fps;
  bool drop;
};

const RateCase kRates[] = {
    {"23.976", {24000, 1001}, 24, false}, {"24", {24, 1}, 24, false},
    {"25", {25, 1}, 25, false},           {"29.97 NDF", {30000, 1001}, 30, false},
    {"29.97 DF", {30000, 1001}, 30, true}, {"30", {30, 1}, 30, false},
    {"50", {50, 1}, 50, false},           {"59.94 NDF", {60000, 1001}, 60, false},
    {"59.94 DF", {60000, 1001}, 60, true}, {"60", {60, 1}, 60, false},
};

// An hour from 23:30, so that every case passes ten-minute marks, dropped labels and midnight:
// frame k shows the k-th label after the start in the time code and frame counter styles, and
// the effect's time maps back to the frame (parameters keyed at frames are read where rendered).
TEST(TimeCodeRule, EveryLabelOfAnHourAtEveryStandardRate) {
  for (const RateCase& c : kRates) {
    SCOPED_TRACE(c.name);
    const EffectClock clock{parseTimeCode(c.drop ? "23:30:00;00" : "23:30:00:00", c.rate)};
    Odometer count{c.fps, c.drop, 23, 30, 0, 0};
    const long long frames = 3600LL * c.fps;
    int wrong = 0;
    for (long long k = 0; k <= frames && wrong < 5; ++k, count.Advance()) {
      const auto t = static_cast<double>(k);
      const std::string label = count.Label(':');
      if (EffectText(clock, t, zel2clock::TimerStyle::TimeCode) != label) {
        ADD_FAILURE() << "frame " << k << ": " << EffectText(clock, t, zel2clock::TimerStyle::TimeCode) << " for "
                      << label;
        ++wrong;
      }
      char counter[24];
      std::snprintf(counter, sizeof counter, "%06lld", count.LabelNumber());
      if (EffectText(clock, t, zel2clock::TimerStyle::FrameCounter) != counter) {
        ADD_FAILURE() << "frame " << k << ": counter " << EffectText(clock, t, zel2clock::TimerStyle::FrameCounter)
                      << " for " << counter;
        ++wrong;
      }
      if (clock.frameTime(clock.effectTime(t)) != t || clock.frameTime(clock.effectTime(t + 0.5)) != t + 0.5) {
        ADD_FAILURE() << "frame " << k << " does not map back";
        ++wrong;
      }
    }
    // The second field of an interlaced frame keeps the frame's label, marked with a '.'.
    const std::string first = EffectText(clock, 1800.0, zel2clock::TimerStyle::TimeCode);
    EXPECT_EQ(EffectText(clock, 1800.5, zel2clock::TimerStyle::TimeCode, 2), first.substr(0, 8) + "." + first.substr(9));
  }
}

// The labels around a drop, in the file's own words, and the time of day the time styles show.
TEST(TimeCodeRule, DroppedLabelsAndTheTimeOfDay) {
  const AVRational ntsc{30000, 1001};
  const EffectClock clock{parseTimeCode("00:00:59;28", ntsc)};
  EXPECT_EQ(toString({clock.start.rate, clock.start.frame + 1}), "00:00:59;29");
  EXPECT_EQ(toString({clock.start.rate, clock.start.frame + 2}), "00:01:00;02");
  const EffectClock tenth{parseTimeCode("00:09:59;29", ntsc)};
  EXPECT_EQ(toString({tenth.start.rate, tenth.start.frame + 1}), "00:10:00;00");
  // The time of day a label stands for: 01:00:00:12 at 24 labels a second is half past the second.
  EXPECT_EQ(EffectText(EffectClock{parseTimeCode("01:00:00:12", {24000, 1001})}, 0, zel2clock::TimerStyle::HmsMillis),
            "01:00:00.500");
  // Counting from the start label (a speed factor or a count down): the start fields hold it.
  const EffectClock fromStart{parseTimeCode("10:20:30:17", {25, 1}), false};
  EXPECT_EQ(EffectText(fromStart, 8, zel2clock::TimerStyle::TimeCode), "10:20:31:00");
  EXPECT_EQ(fromStart.frameTime(fromStart.effectTime(8.5)), 8.5);
}

TEST(TimeCodeText, BadLabelsSayWhatIsWrong) {
  const struct {
    const char* text;
    AVRational rate;
    const char* message;
  } cases[] = {
      // 25:00:00:00, frame 30 and ';' at 25 fps: tests/tools/TimeCodeRenderTest.cpp, as a user meets them.
      {"00:60:00:00", {25, 1}, "minute 60: minutes run 00 to 59"},
      {"00:00:00:24", {24000, 1001}, "frame 24 at 23.976 fps: frames run 00 to 23"},
      {"00:01:00;01", {30000, 1001}, "drop-frame counting skips the labels ;00 to ;01 of a minute"},
      {"00:01:00;03", {60000, 1001}, "drop-frame counting skips the labels ;00 to ;03 of a minute"},
      {"00:00:00:00", {123, 10}, "no time code counts 12.3 frames a second"},
      {"1:00:00", {25, 1}, "expected HH:MM:SS:FF"},
      {"01:00:00:00:00", {25, 1}, "expected HH:MM:SS:FF"},
      {"01;00:00:00", {25, 1}, "expected HH:MM:SS:FF"},
      {"001:00:00:00", {25, 1}, "expected HH:MM:SS:FF"},
      {"", {25, 1}, "expected HH:MM:SS:FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parseTimeCode(c.text, c.rate);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // Good ones read back as written; '.' and ',' mean drop-frame as ';' does.
  EXPECT_EQ(toString(parseTimeCode("23:59:59:23", {24, 1})), "23:59:59:23");
  EXPECT_EQ(toString(parseTimeCode("01:10:00.00", {30000, 1001})), "01:10:00;00");
  EXPECT_EQ(toString(parseTimeCode("0:1:0;2", {2997, 100})), "00:01:00;02");
}

// ffmpeg's -timecode into each container (and an MPEG-2 stream's GOP headers, DV's subcode), read
// back with the place it came from; a file without one has none.
class TimeCodeReading : public testing::TempDirTest {};

TEST_F(TimeCodeReading, EachContainerSaysItsTimeCode) {
  const struct {
    const char* file;
    const char* codec;
    const char* size;
    const char* where;
  } cases[] = {
      {"a.mov", "-c:v ffv1", "64x36", "the tmcd track"},
      {"a.mp4", "-c:v libx264 -preset ultrafast", "64x36", "the tmcd track"},
      {"a.mxf", "-c:v mpeg2video", "64x36", "the MXF time code"},
      {"a.mkv", "-c:v ffv1", "64x36", "the Matroska TIMECODE tag"},
      {"a.mpg", "-c:v mpeg2video", "64x36", "the MPEG-2 GOP header"},
      {"a.dv", "-c:v dvvideo -pix_fmt yuv411p", "720x480", "the DV subcode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    testing::run(std::string("ffmpeg -v error -y -f lavfi -i color=gray:s=") + c.size + ":r=30000/1001 -frames:v 3 " +
                 c.codec + " -timecode '01:02:03;04' '" + path(c.file) + "'");
    const SourceInfo info = VideoSource::open(path(c.file)).info();
    ASSERT_TRUE(info.timeCode.has_value());
    EXPECT_EQ(info.timeCode->text, "01:02:03;04");
    EXPECT_EQ(info.timeCode->where, c.where);
    EXPECT_EQ(toString(parseTimeCode(info.timeCode->text, info.rate)), "01:02:03;04");
  }
  testing::run("ffmpeg -v error -y -f lavfi -i color=gray:s=64x36:r=25 -frames:v 2 -c:v ffv1 '" + path("none.mkv") + "'");
  EXPECT_FALSE(VideoSource::open(path("none.mkv")).info().timeCode.has_value());
}

RecordingTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
  RecordingTime t;
  t.year = year, t.month = month, t.day = day, t.hour = hour, t.minute = minute, t.second = second;
  t.millisecond = ms;
  return t;
}

// Dates and times typed or tagged: an offset keeps the local time as written, UTC is shown in TZ.
TEST(RecordingTimeText, LocalTimesAndBadInput) {
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  const struct {
    const char* text;
    RecordingTime local;
  } good[] = {
      {"2026-03-14T15:30:12+0100", At(2026, 3, 14, 15, 30, 12, 0)},
      {"2026-03-14T15:30:12.25-05:00", At(2026, 3, 14, 15, 30, 12, 250)},
      {"2026-03-14 15:30", At(2026, 3, 14, 15, 30, 0, 0)},
      {"2026-07-31T22:30:00.000000Z", At(2026, 8, 1, 0, 30, 0, 0)},  // summer time: UTC+2, the next day
  };
  for (const auto& c : good) EXPECT_EQ(parseDateTime(c.text), c.local) << c.text;
  for (const char* bad : {"2026-02-30T10:00:00", "2026-03-14T24:00:00", "2026-03-14", "14.03.2026 10:00",
                          "2026-03-14T10:00:00+25:00", "2026-03-14T10:00:00 Z"}) {
    EXPECT_THROW(parseDateTime(bad), Error) << bad;
  }
  EXPECT_EQ(addDays(At(2026, 2, 28), 1), At(2026, 3, 1));
  EXPECT_EQ(addDays(At(2099, 12, 31), 1), At(2100, 1, 1));
  // The first frame of each new day of a clock that starts at 23:59:59.000 and runs at 25 fps.
  const auto shown = [](std::int64_t k) { return std::int64_t{86'399'000} + k * 40; };
  EXPECT_EQ(midnights(shown, 24), std::vector<std::int64_t>{});
  EXPECT_EQ(midnights(shown, 25), std::vector<std::int64_t>{25});
  EXPECT_EQ(midnights(shown, 25 + 2 * 2'160'000), (std::vector<std::int64_t>{25, 2'160'025, 4'320'025}));
}

// A phone's clip: com.apple.quicktime.creationdate in its local time wins over creation_time.
TEST_F(TimeCodeReading, RecordingTagsOfAPhoneClip) {
  testing::run("ffmpeg -v error -y -f lavfi -i color=gray:s=64x36:r=30 -frames:v 2 -c:v libx264 -preset ultrafast "
               "-movflags use_metadata_tags -metadata com.apple.quicktime.creationdate=2026-03-14T15:30:12+0100 "
               "-metadata creation_time=2026-03-14T14:30:12Z '" + path("phone.mov") + "'");
  const RecordingTags tags = VideoSource::open(path("phone.mov")).info().recorded;
  EXPECT_EQ(tags.creationDate, "2026-03-14T15:30:12+0100");
  const RecordingTime t = recordingTimeOf(tags, "phone.mov");
  EXPECT_EQ(t, At(2026, 3, 14, 15, 30, 12));
  EXPECT_EQ(t.where, "com.apple.quicktime.creationdate of 'phone.mov' (local time, UTC+01:00)");
  EXPECT_THROW(recordingTimeOf({}, "none.mkv"), Error);
}

// Time codes that come with each picture (H.264 and HEVC picture timing, MPEG-2 GOP headers),
// as the decoder attaches them to the first picture; at 59.94 the frame pair's field bit counts.
TEST(TimeCodeReadingPictures, SideDataOfTheFirstPicture) {
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(avformat_alloc_context(), avformat_free_context);
  AVStream* video = avformat_new_stream(format.get(), nullptr);
  video->codecpar->codec_id = AV_CODEC_ID_H264;
  video->avg_frame_rate = {60000, 1001};
  detail::AvFramePtr picture = detail::makeAvFrame();
  AVFrameSideData* data = av_frame_new_side_data(picture.get(), AV_FRAME_DATA_S12M_TIMECODE, 4 * sizeof(std::uint32_t));
  const std::uint32_t codes[4] = {1, av_timecode_get_smpte({60000, 1001}, 1, 10, 0, 59, 59), 0, 0};
  std::memcpy(data->data, codes, sizeof codes);
  auto tag = readTimeCodeTag(*format, *video, picture.get());
  ASSERT_TRUE(tag.has_value());
  EXPECT_EQ(tag->text, "10:00:59;59");
  EXPECT_EQ(tag->where, "the H.264 picture timing");

  av_frame_remove_side_data(picture.get(), AV_FRAME_DATA_S12M_TIMECODE);
  video->codecpar->codec_id = AV_CODEC_ID_MPEG2VIDEO;
  data = av_frame_new_side_data(picture.get(), AV_FRAME_DATA_GOP_TIMECODE, sizeof(std::int64_t));
  // 25 bits: drop, hours (5), minutes (6), a marker bit, seconds (6), pictures (6).
  const std::int64_t gop = std::int64_t{1} << 24 | 1 << 19 | 2 << 13 | 1 << 12 | 3 << 6 | 4;
  std::memcpy(data->data, &gop, sizeof gop);
  tag = readTimeCodeTag(*format, *video, picture.get());
  ASSERT_TRUE(tag.has_value());
  EXPECT_EQ(tag->text, "01:02:03;04");
  EXPECT_EQ(tag->where, "the MPEG-2 GOP header");
  EXPECT_FALSE(readTimeCodeTag(*format, *video, nullptr).has_value());
}

}  // namespace
}  // namespace zel::media
