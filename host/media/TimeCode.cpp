#include "media/TimeCode.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/timecode.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>

#include "media/Error.h"

namespace zel::media {

namespace {

/// Labels a drop-frame time code skips at the start of each minute not a multiple of ten.
int droppedPerMinute(TimeCodeRate rate) { return rate.drop ? rate.fps / 15 : 0; }

std::int64_t labelsPerMinute(TimeCodeRate rate) { return std::int64_t{60} * rate.fps; }
std::int64_t labelsPerDay(TimeCodeRate rate) { return std::int64_t{86400} * rate.fps; }

/// Division rounding toward minus infinity, so that a frame before 00:00:00:00 belongs to the
/// day before.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

/// The label number of the `frame`-th frame of a day (0 <= frame < framesPerDay).
std::int64_t labelNumberInDay(TimeCodeRate rate, std::int64_t frame) {
  const int drop = droppedPerMinute(rate);
  if (drop == 0) return frame;
  // Ten minutes hold one whole minute and nine that drop, whatever the block.
  const std::int64_t minute = labelsPerMinute(rate);
  const std::int64_t block = 10 * minute - 9 * drop;
  const std::int64_t blocks = frame / block;
  std::int64_t rest = frame % block;
  std::int64_t labels = blocks * 10 * minute;
  if (rest >= minute) {
    rest -= minute;
    const std::int64_t shortMinute = minute - drop;
    labels += (1 + rest / shortMinute) * minute + drop + rest % shortMinute;
  } else {
    labels += rest;
  }
  return labels;
}

/// The frame of a day that carries label number `labels` (0 <= labels < labelsPerDay); a label
/// that drop-frame skips gives the frame of the first label after it.
std::int64_t frameInDay(TimeCodeRate rate, std::int64_t labels) {
  const int drop = droppedPerMinute(rate);
  if (drop == 0) return labels;
  const std::int64_t minutes = labels / labelsPerMinute(rate);
  if (minutes % 10 != 0 && labels % labelsPerMinute(rate) < drop) labels = minutes * labelsPerMinute(rate) + drop;
  return labels - drop * (minutes - minutes / 10);
}

TimeCodeLabel splitLabelNumber(TimeCodeRate rate, std::int64_t labels) {
  TimeCodeLabel label;
  label.frames = static_cast<int>(labels % rate.fps);
  const std::int64_t seconds = labels / rate.fps;
  label.seconds = static_cast<int>(seconds % 60);
  label.minutes = static_cast<int>(seconds / 60 % 60);
  label.hours = static_cast<int>(seconds / 3600 % 24);
  return label;
}

std::string twoDigits(int n) { return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; }

std::string rateText(AVRational rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", av_q2d(rate));
  return text;
}

const char* dictValue(const AVDictionary* metadata, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
  return entry != nullptr && entry->value != nullptr && entry->value[0] != '\0' ? entry->value : nullptr;
}

bool formatIs(const AVFormatContext& format, std::string_view name) {
  return format.iformat != nullptr && std::string_view(format.iformat->name).find(name) != std::string_view::npos;
}

/// Where a "timecode" tag of the file or of its video stream comes from, in words a user knows.
std::string tagPlace(const AVFormatContext& format, const AVStream* stream) {
  if (formatIs(format, "mov")) return "the tmcd track";
  if (formatIs(format, "mxf")) return "the MXF time code";
  if (formatIs(format, "matroska")) return "the Matroska TIMECODE tag";
  if (format.iformat != nullptr && std::string_view(format.iformat->name) == "dv") return "the DV subcode";
  if (stream != nullptr && (stream->codecpar->codec_id == AV_CODEC_ID_MPEG2VIDEO ||
                            stream->codecpar->codec_id == AV_CODEC_ID_MPEG1VIDEO))
    return "the MPEG-2 GOP header";
  return "the file's timecode tag";
}

}  // namespace

std::optional<TimeCodeRate> timeCodeRateOf(AVRational videoRate, bool drop) {
  if (videoRate.num <= 0 || videoRate.den <= 0) return std::nullopt;
  const double fps = av_q2d(videoRate);
  // 0.05 % tells 29.97 (0.1 % below 30) from 30 and still takes a rate rounded to two places.
  const auto near = [&](double nominal) { return std::fabs(fps - nominal) <= nominal * 0.0005; };
  int nominal = static_cast<int>(std::lround(fps));
  if (!near(nominal)) {
    nominal = static_cast<int>(std::lround(fps * 1.001));
    if (!near(nominal / 1.001)) return std::nullopt;
  }
  if (nominal < 1 || nominal > kMaxTimeCodeRate) return std::nullopt;
  if (drop && nominal != 30 && nominal != 60) return std::nullopt;
  return TimeCodeRate{nominal, drop};
}

std::int64_t framesPerDay(TimeCodeRate rate) {
  return labelsPerDay(rate) - std::int64_t{droppedPerMinute(rate)} * (1440 - 144);
}

std::int64_t labelNumber(const TimeCode& code) {
  const std::int64_t perDay = framesPerDay(code.rate);
  const std::int64_t day = floorDiv(code.frame, perDay);
  return day * labelsPerDay(code.rate) + labelNumberInDay(code.rate, code.frame - day * perDay);
}

TimeCodeLabel labelOf(const TimeCode& code) {
  const std::int64_t labels = labelNumber(code);
  return splitLabelNumber(code.rate, labels - floorDiv(labels, labelsPerDay(code.rate)) * labelsPerDay(code.rate));
}

std::string toString(const TimeCode& code) {
  const TimeCodeLabel l = labelOf(code);
  return twoDigits(l.hours) + ":" + twoDigits(l.minutes) + ":" + twoDigits(l.seconds) + (code.rate.drop ? ";" : ":") +
         twoDigits(l.frames);
}

TimeCode parseTimeCode(std::string_view text, AVRational videoRate) {
  // Four fields of one or two digits; the last separator says drop-frame or not.
  int fields[4] = {};
  char separators[3] = {};
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t digits = 0;
    while (at < text.size() && digits < 3 && text[at] >= '0' && text[at] <= '9') {
      fields[i] = fields[i] * 10 + (text[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0 || digits > 2) throw Error("expected HH:MM:SS:FF, with ';' before the frames for drop-frame");
    if (i < 3) {
      if (at >= text.size() || std::strchr(i < 2 ? ":" : ":;.,", text[at]) == nullptr)
        throw Error("expected HH:MM:SS:FF, with ';' before the frames for drop-frame");
      separators[i] = text[at++];
    }
  }
  if (at != text.size()) throw Error("expected HH:MM:SS:FF, with ';' before the frames for drop-frame");
  const bool drop = separators[2] != ':';

  const auto rate = timeCodeRateOf(videoRate, drop);
  if (!rate) {
    if (drop && timeCodeRateOf(videoRate, false))
      throw Error("drop-frame (';' before the frames) at " + rateText(videoRate) +
                  " fps: only 29.97 and 59.94 fps time codes drop labels; use ':'");
    throw Error("no time code counts " + rateText(videoRate) +
                " frames a second (time codes count a whole rate up to 60, or one of 23.976, 29.97, 59.94)");
  }
  const TimeCodeLabel label{fields[0], fields[1], fields[2], fields[3]};
  if (label.hours > 23) throw Error("hour " + std::to_string(label.hours) + ": hours run 00 to 23");
  if (label.minutes > 59) throw Error("minute " + std::to_string(label.minutes) + ": minutes run 00 to 59");
  if (label.seconds > 59) throw Error("second " + std::to_string(label.seconds) + ": seconds run 00 to 59");
  if (label.frames >= rate->fps)
    throw Error("frame " + std::to_string(label.frames) + " at " + rateText(videoRate) + " fps: frames run 00 to " +
                twoDigits(rate->fps - 1));
  const int drop0 = droppedPerMinute(*rate);
  if (label.seconds == 0 && label.frames < drop0 && label.minutes % 10 != 0)
    throw Error("drop-frame counting skips the labels ;00 to ;" + twoDigits(drop0 - 1) +
                " of a minute that is not a multiple of ten");
  const std::int64_t labels =
      ((std::int64_t{label.hours} * 60 + label.minutes) * 60 + label.seconds) * rate->fps + label.frames;
  return TimeCode{*rate, frameInDay(*rate, labels)};
}

TimeCodeLabel EffectClock::startFields() const { return labels ? TimeCodeLabel{} : labelOf(start); }

double EffectClock::effectTime(double t) const {
  if (!labels || !std::isfinite(t)) return t;
  const double whole = std::floor(t);
  return static_cast<double>(labelNumber({start.rate, start.frame + static_cast<std::int64_t>(whole)})) + (t - whole);
}

double EffectClock::frameTime(double effectTime) const {
  if (!labels || !std::isfinite(effectTime)) return effectTime;
  const double whole = std::floor(effectTime);
  const auto labels = static_cast<std::int64_t>(whole);
  const std::int64_t day = floorDiv(labels, labelsPerDay(start.rate));
  const std::int64_t frame = day * framesPerDay(start.rate) + frameInDay(start.rate, labels - day * labelsPerDay(start.rate));
  return static_cast<double>(frame - start.frame) + (effectTime - whole);
}

// --- Reading --------------------------------------------------------------------------------------

std::optional<TimeCodeTag> readTimeCodeTag(const AVFormatContext& format, const AVStream& video, const AVFrame* first) {
  if (const char* text = dictValue(video.metadata, "timecode")) return TimeCodeTag{text, tagPlace(format, &video)};
  if (const char* text = dictValue(format.metadata, "timecode")) return TimeCodeTag{text, tagPlace(format, nullptr)};
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    if (const char* text = dictValue(format.streams[i]->metadata, "timecode"))
      return TimeCodeTag{text, tagPlace(format, format.streams[i])};
  }
  if (first == nullptr) return std::nullopt;
  char text[AV_TIMECODE_STR_SIZE] = {};
  if (const AVFrameSideData* data = av_frame_get_side_data(first, AV_FRAME_DATA_S12M_TIMECODE);
      data != nullptr && data->size >= 2 * sizeof(std::uint32_t)) {
    std::uint32_t codes[2];
    std::memcpy(codes, data->data, sizeof codes);
    if (codes[0] >= 1) {
      AVRational rate = video.avg_frame_rate.num > 0 ? video.avg_frame_rate : video.r_frame_rate;
      av_timecode_make_smpte_tc_string2(text, rate, codes[1], 0, 0);
      const AVCodecID codec = video.codecpar->codec_id;
      return TimeCodeTag{text, codec == AV_CODEC_ID_HEVC ? "the HEVC time code"
                               : codec == AV_CODEC_ID_H264 ? "the H.264 picture timing"
                                                           : "the pictures' SMPTE time code"};
    }
  }
  if (const AVFrameSideData* data = av_frame_get_side_data(first, AV_FRAME_DATA_GOP_TIMECODE);
      data != nullptr && data->size >= sizeof(std::int64_t)) {
    std::int64_t gop = 0;
    std::memcpy(&gop, data->data, sizeof gop);
    av_timecode_make_mpeg_tc_string(text, static_cast<std::uint32_t>(gop));
    return TimeCodeTag{text, "the MPEG-2 GOP header"};
  }
  return std::nullopt;
}

RecordingTags readRecordingTags(const AVFormatContext& format) {
  RecordingTags tags;
  if (const char* text = dictValue(format.metadata, "com.apple.quicktime.creationdate")) tags.creationDate = text;
  if (const char* text = dictValue(format.metadata, "creation_time")) tags.creationTime = text;
  for (unsigned i = 0; i < format.nb_streams && tags.creationTime.empty(); ++i) {
    if (const char* text = dictValue(format.streams[i]->metadata, "creation_time")) tags.creationTime = text;
  }
  return tags;
}

}  // namespace zel::media
