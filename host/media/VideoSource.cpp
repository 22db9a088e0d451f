#include "media/VideoSource.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "media/Error.h"
#include "media/NativePicture.h"
#include "media/detail/FFmpeg.h"
#include "media/detail/TestPattern.h"

namespace zel::media {

namespace detail {

/// What every kind of source does; VideoSource forwards to it.
class SourceImpl {
public:
  virtual ~SourceImpl() = default;
  virtual bool read(Frame& frame, FrameFormat format) = 0;
  virtual void seek(std::int64_t k) = 0;
  virtual void deferPixels(bool) {}

  SourceInfo m_info;
  std::int64_t m_next = 0;  ///< index of the frame the next read returns
  std::string m_damage;     ///< why reading stopped early; empty when it did not
};

}  // namespace detail

namespace {

using namespace detail;

constexpr AVRational kDefaultRate{25, 1};
constexpr Size kDefaultSize{1920, 1080};
constexpr std::int64_t kDefaultSeconds = 10;

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

AVRational checkedRate(const std::optional<AVRational>& rate, const std::string& where) {
  const AVRational r = rate.value_or(kDefaultRate);
  if (r.num <= 0 || r.den <= 0) {
    throw Error(where + "frame rate " + std::to_string(r.num) + "/" + std::to_string(r.den) + " is not positive");
  }
  return r;
}

Size checkedSize(const Size& size, const std::string& where) {
  if (size.width < 1 || size.height < 1 || size.width > Frame::kMaxSide || size.height > Frame::kMaxSide) {
    throw Error(where + "size " + sizeText(size.width, size.height) + " is not usable: each side must be 1 to " +
                std::to_string(Frame::kMaxSide));
  }
  return size;
}

std::int64_t checkedCount(const SourceOptions& options, AVRational rate, const std::string& where) {
  if (options.frameCount) {
    if (*options.frameCount < 1) throw Error(where + "frame count must be at least 1");
    return *options.frameCount;
  }
  return av_rescale(kDefaultSeconds, rate.num, rate.den);
}

/// The render time of a picture shown at `timestamp`: (timestamp - first) x time base x rate,
/// in frames. A timestamp is only as exact as its time base (a millisecond in Matroska), so a
/// time within one tick of a whole frame is that frame: a constant rate renders frame k at k.
double renderTime(std::int64_t timestamp, const SourceInfo& info) {
  const long double ticks = static_cast<long double>(timestamp - info.firstTimestamp);
  const long double tick = static_cast<long double>(info.timeBase.num) * info.rate.num /
                           (static_cast<long double>(info.timeBase.den) * info.rate.den);
  const long double frames = ticks * tick;
  const long double nearest = std::round(frames);
  return static_cast<double>(std::fabs(frames - nearest) <= tick + 1e-9L ? nearest : frames);
}

/// Sources without timing of their own show frame k at k, in a time base of one frame.
void setCountedTime(Frame& frame) {
  frame.setTimestamp(frame.index());
  frame.setTime(static_cast<double>(frame.index()));
}

void checkFormatFits(const SourceInfo& info, FrameFormat format) {
  if (isYuv422(format) && info.width % 2 != 0) {
    const std::string name = info.path.empty() ? "the test pattern" : "'" + info.path + "'";
    throw Error("cannot read " + name + " as " + std::string(toString(format)) + ": its width " +
                std::to_string(info.width) + " is odd and 4:2:2 needs pixel pairs");
  }
}

// ---------------------------------------------------------------------------------------------

class PatternSource final : public SourceImpl {
public:
  explicit PatternSource(const SourceOptions& options)
      : m_pattern(checkedSize(options.size.value_or(kDefaultSize), "test pattern: ").width,
                  checkedSize(options.size.value_or(kDefaultSize), "test pattern: ").height,
                  checkedRate(options.rate, "test pattern: ")) {
    m_info.kind = SourceKind::TestPattern;
    const Size size = options.size.value_or(kDefaultSize);
    m_info.width = size.width;
    m_info.height = size.height;
    m_info.rate = checkedRate(options.rate, "test pattern: ");
    m_info.frameCount = checkedCount(options, m_info.rate, "test pattern: ");
    m_info.frameCountExact = true;
    m_info.codec = "testpattern";
    m_info.pixelFormat = "rgba";
    m_info.timeBase = av_inv_q(m_info.rate);
  }

  bool read(Frame& frame, FrameFormat format) override {
    if (m_next >= m_info.frameCount) return false;
    checkFormatFits(m_info, format);
    if (format == FrameFormat::Rgba) {
      frame.allocate(m_info.width, m_info.height, format);
      m_pattern.draw(frame, m_next);
    } else {
      m_rgba.allocate(m_info.width, m_info.height, FrameFormat::Rgba);
      m_pattern.draw(m_rgba, m_next);
      frame.allocate(m_info.width, m_info.height, format);
      const PictureShape source{m_info.width, m_info.height, AV_PIX_FMT_RGBA, AVCOL_SPC_UNSPECIFIED, true};
      const std::uint8_t* planes[4] = {m_rgba.data(), nullptr, nullptr, nullptr};
      const int strides[4] = {static_cast<int>(m_rgba.stride()), 0, 0, 0};
      std::uint8_t* target[4] = {frame.data(), nullptr, nullptr, nullptr};
      const int targetStrides[4] = {static_cast<int>(frame.stride()), 0, 0, 0};
      m_scaler.convert(source, planes, strides,
                       {m_info.width, m_info.height, toAvPixelFormat(format), AVCOL_SPC_UNSPECIFIED, false}, target,
                       targetStrides);
    }
    frame.setIndex(m_next++);
    setCountedTime(frame);
    frame.setFieldOrder(FieldOrder::Progressive);
    return true;
  }

  void seek(std::int64_t k) override { m_next = std::max<std::int64_t>(0, k); }

private:
  TestPattern m_pattern;
  Frame m_rgba;
  Scaler m_scaler;
};

// ---------------------------------------------------------------------------------------------

bool isTextArt(const AVFormatContext& format, AVCodecID codec) {
  // FFmpeg renders text files as "ANSI art" video; a text file is not a picture here.
  if (std::string_view(format.iformat->name) == "tty") return true;
  return codec == AV_CODEC_ID_ANSI || codec == AV_CODEC_ID_BINTEXT || codec == AV_CODEC_ID_XBIN ||
         codec == AV_CODEC_ID_IDF;
}

bool isImageDemuxer(const AVFormatContext& format) {
  const std::string_view name(format.iformat->name);
  return name == "image2" || (name.size() > 5 && name.substr(name.size() - 5) == "_pipe");
}

FieldOrder toFieldOrder(AVFieldOrder order) {
  switch (order) {
    case AV_FIELD_TT:
    case AV_FIELD_TB: return FieldOrder::TopFirst;
    case AV_FIELD_BB:
    case AV_FIELD_BT: return FieldOrder::BottomFirst;
    default: return FieldOrder::Progressive;
  }
}

class FileSource final : public SourceImpl {
public:
  FileSource(const std::string& path, const SourceOptions& options) {
    installLogCapture();
    clearLastLog();
    m_info.path = path;
    const bool pattern = isSequencePattern(path);

    AVDictionary* rawOptions = nullptr;
    const AVInputFormat* forced = nullptr;
    if (pattern) {
      forced = av_find_input_format("image2");
      const AVRational rate = checkedRate(options.rate, "'" + path + "': ");
      av_dict_set(&rawOptions, "pattern_type", "sequence", 0);
      av_dict_set(&rawOptions, "framerate", (std::to_string(rate.num) + "/" + std::to_string(rate.den)).c_str(), 0);
    }
    std::unique_ptr<AVDictionary, DictionaryDeleter> openOptions(rawOptions);
    AVFormatContext* raw = nullptr;
    rawOptions = openOptions.release();
    int rc = avformat_open_input(&raw, path.c_str(), forced, &rawOptions);
    openOptions.reset(rawOptions);
    if (rc < 0) {
      if (rc == AVERROR_INVALIDDATA) throw Error("cannot read '" + path + "': not a video or image file FFmpeg knows");
      fail("cannot open", path, rc);
    }
    m_format.reset(raw);
    rc = avformat_find_stream_info(m_format.get(), nullptr);
    if (rc < 0) fail("cannot read stream information of", path, rc);

    rc = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (rc >= 0 && isTextArt(*m_format, m_format->streams[rc]->codecpar->codec_id)) {
      throw Error("cannot read '" + path + "': not a video or image file (it is text)");
    }
    if (rc < 0) {
      if (rc < 0 && rc != AVERROR_STREAM_NOT_FOUND && rc != AVERROR_DECODER_NOT_FOUND) fail("cannot read", path, rc);
      if (rc == AVERROR_DECODER_NOT_FOUND) throw Error("cannot read '" + path + "': no decoder for its video");
      throw Error("cannot read '" + path + "': it has no video stream");
    }
    m_streamIndex = rc;
    m_stream = m_format->streams[m_streamIndex];
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
      if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) m_info.hasAudio = true;
    }

    openDecoder();
    describeStream(options, pattern);
    m_packet = makePacket();
    m_picture = makeAvFrame();
    if (m_info.kind == SourceKind::Video) {
      primeFirstPicture();
      readHdrMetadata();
    }
  }

  bool read(Frame& frame, FrameFormat format) override {
    checkFormatFits(m_info, format);
    clearLastLog();
    if (m_info.kind == SourceKind::Still) return readStill(frame, format);
    if (m_info.frameCountExact && m_next >= m_info.frameCount) return false;
    while (nextPicture()) {
      if (!acceptDecoded()) continue;
      deliver(*m_picture, frame, format);
      frame.setIndex(m_next++);
      if (m_info.kind == SourceKind::Video) {
        frame.setTimestamp(pictureTimestamp());
        frame.setTime(renderTime(frame.timestamp(), m_info));
      } else {
        setCountedTime(frame);
      }
      // Let go of the picture: one the decoder keeps no reference to is then the frame's alone,
      // and the write-back writes into it instead of into a copy.
      av_frame_unref(m_picture.get());
      return true;
    }
    if (!m_damageReason.empty() && m_damage.empty()) {
      m_damage = "'" + m_info.path + "' is damaged: reading stopped at frame " + std::to_string(m_next) + " (" +
                 m_damageReason + ")";
    }
    return false;
  }

  void deferPixels(bool defer) override { m_working.deferPixels(defer); }

  void seek(std::int64_t k) override {
    k = std::max<std::int64_t>(0, k);
    if (k == m_next) return;
    clearLastLog();
    if (m_info.kind == SourceKind::Still) {
      m_next = k;
      return;
    }
    if (m_info.kind == SourceKind::Video) {
      if (seekByTimestamp(k)) return;
    } else {
      // An image sequence numbers its pictures: frame k is shown at k.
      const std::int64_t target = av_rescale_q(k, av_inv_q(m_info.rate), m_stream->time_base) + streamStart();
      if (av_seek_frame(m_format.get(), m_streamIndex, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        restartDecoder();
        m_skipByCount = false;
        m_skipTimestamp = target;
        m_skipTo = k;
        m_next = k;
        return;
      }
    }
    if (k < m_next || m_skipTo >= 0) throw Error("cannot seek back in '" + m_info.path + "': it cannot seek");
    // Not seekable: decode forward and drop the frames before k.
    m_decodedIndex = m_next;
    m_skipByCount = true;
    m_skipTo = k;
    m_next = k;
  }


private:
  void openDecoder() {
    const AVCodecParameters* parameters = m_stream->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) throw Error("cannot read '" + m_info.path + "': no decoder for its video");
    m_decoder.reset(avcodec_alloc_context3(decoder));
    if (!m_decoder) throw std::bad_alloc();
    int rc = avcodec_parameters_to_context(m_decoder.get(), parameters);
    if (rc < 0) fail("cannot set up the decoder for", m_info.path, rc);
    m_decoder->pkt_timebase = m_stream->time_base;
    m_decoder->thread_count = 0;
    m_decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    rc = avcodec_open2(m_decoder.get(), decoder, nullptr);
    if (rc < 0) fail("cannot open the decoder for", m_info.path, rc);
    m_info.codec = decoder->name;
    m_info.coding = VideoCoding{parameters->codec_id, parameters->profile, parameters->bit_rate};
  }

  void describeStream(const SourceOptions& options, bool pattern) {
    const AVCodecParameters* parameters = m_stream->codecpar;
    if (parameters->width < 1 || parameters->height < 1) {
      throw Error("cannot read '" + m_info.path + "': its video has no picture size");
    }
    const bool still = !pattern && isImageDemuxer(*m_format);
    m_info.kind = pattern ? SourceKind::Sequence : still ? SourceKind::Still : SourceKind::Video;

    // A video's display matrix first: a size asked for as shown is the coded size turned back.
    if (m_info.kind == SourceKind::Video) readOrientation();
    Size size = options.size.value_or(Size{parameters->width, parameters->height});
    if (options.size && options.sizeIsShown && m_info.orientation.transpose) size = Size{size.height, size.width};
    checkedSize(size, "'" + m_info.path + "': ");
    m_info.width = size.width;
    m_info.height = size.height;

    if (m_info.kind == SourceKind::Video) {
      AVRational rate = m_stream->avg_frame_rate;
      if (rate.num <= 0 || rate.den <= 0) rate = m_stream->r_frame_rate;
      if (rate.num <= 0 || rate.den <= 0) rate = kDefaultRate;
      m_info.rate = rate;
    } else {
      m_info.rate = checkedRate(options.rate, "'" + m_info.path + "': ");
    }

    if (m_info.kind == SourceKind::Still) {
      m_info.frameCount = checkedCount(options, m_info.rate, "'" + m_info.path + "': ");
      m_info.frameCountExact = true;
    } else if (m_stream->nb_frames > 0) {
      m_info.frameCount = m_stream->nb_frames;
      m_info.frameCountExact = true;
    } else if (m_stream->duration > 0 && m_stream->duration != AV_NOPTS_VALUE) {
      m_info.frameCount = av_rescale_q(m_stream->duration, m_stream->time_base, av_inv_q(m_info.rate));
      m_info.frameCountExact = m_info.kind == SourceKind::Sequence;
    } else if (const std::int64_t micros = streamDuration(); micros > 0) {
      m_info.frameCount = av_rescale_q(micros, AV_TIME_BASE_Q, av_inv_q(m_info.rate));
    } else if (m_format->duration > 0 && m_format->duration != AV_NOPTS_VALUE) {
      // Rounded down: the file's duration covers audio that may run on past the last picture,
      // and a total one frame too many never completes.
      m_info.frameCount = av_rescale_q_rnd(m_format->duration, AV_TIME_BASE_Q, av_inv_q(m_info.rate), AV_ROUND_DOWN);
    }

    const auto fieldOrders = static_cast<AVFieldOrder>(AV_FIELD_BT + 1);
    m_info.fieldOrder = toFieldOrder(tagOf(parameters->field_order, fieldOrders, AV_FIELD_UNKNOWN));
    AVRational aspect = av_guess_sample_aspect_ratio(m_format.get(), m_stream, nullptr);
    if (aspect.num > 0 && aspect.den > 0) m_info.pixelAspect = av_make_q(aspect.num, aspect.den);

    const auto pixelFormat = static_cast<AVPixelFormat>(m_decoder->pix_fmt);
    m_info.nativeYuv = isYuvFormat(pixelFormat);
    m_info.hasAlpha = hasAlpha(pixelFormat);
    const char* name = av_get_pix_fmt_name(pixelFormat);
    m_info.pixelFormat = name != nullptr ? name : "unknown";
    m_info.nativeColour = nativeColourOf(*m_decoder);
    m_info.timeBase = m_info.kind == SourceKind::Video ? m_stream->time_base : av_inv_q(m_info.rate);
    if (m_info.kind == SourceKind::Video) countShownFrames();
  }

  /// HDR10 metadata of the stream, else of the first picture (m_picture, primed).
  void readHdrMetadata() {
    std::size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(m_stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size);
    const AVFrameSideData* frameData = av_frame_get_side_data(m_picture.get(), AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
    if (data == nullptr && frameData != nullptr) std::tie(data, size) = std::pair(frameData->data, frameData->size);
    if (data != nullptr && size >= sizeof(AVMasteringDisplayMetadata)) {
      std::memcpy(&m_info.hdr.mastering.emplace(), data, sizeof(AVMasteringDisplayMetadata));
    }
    data = av_stream_get_side_data(m_stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size);
    frameData = av_frame_get_side_data(m_picture.get(), AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
    if (data == nullptr && frameData != nullptr) std::tie(data, size) = std::pair(frameData->data, frameData->size);
    if (data != nullptr && size >= sizeof(AVContentLightMetadata)) {
      std::memcpy(&m_info.hdr.light.emplace(), data, sizeof(AVContentLightMetadata));
    }
  }

  /// The display matrix of the video stream, as a player turns the pictures to show them.
  void readOrientation() {
    std::size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(m_stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data == nullptr || size < 9 * sizeof(std::int32_t)) return;
    std::int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    if (const auto orientation = Orientation::fromDisplayMatrix(matrix)) {
      m_info.orientation = *orientation;
    } else {
      m_info.tilt = -av_display_rotation_get(matrix);
    }
  }

  /// MP4 and MOV index every sample, including those an edit list hides (decoded only as
  /// references for the first shown picture): the frames shown are the others.
  void countShownFrames() {
    const int entries = avformat_index_get_entries_count(m_stream);
    if (!m_info.frameCountExact || entries != m_info.frameCount) return;
    std::int64_t shown = 0;
    for (int i = 0; i < entries; ++i) {
      if ((avformat_index_get_entry(m_stream, i)->flags & AVINDEX_DISCARD_FRAME) == 0) ++shown;
    }
    if (shown > 0) m_info.frameCount = shown;
  }

  /// Decodes the first picture now: its timestamp is the origin of every render time, and a file
  /// with nothing decodable fails here, before any output exists. read() returns it first.
  void primeFirstPicture() {
    if (!decodeNext()) {
      throw Error("cannot read '" + m_info.path + "': " +
                  (m_damageReason.empty() ? std::string("its video holds no picture") : m_damageReason));
    }
    m_pending = true;
    const std::int64_t first = m_picture->best_effort_timestamp;
    m_info.firstTimestamp = first == AV_NOPTS_VALUE ? streamStart() : first;
    m_info.startTime = av_q2d(m_info.timeBase) * static_cast<double>(m_info.firstTimestamp);
    // The first picture carries the time codes a stream has per picture (H.264, HEVC, MPEG-2).
    m_info.timeCode = readTimeCodeTag(*m_format, *m_stream, m_picture.get());
    m_info.recorded = readRecordingTags(*m_format);
  }

  /// The picture in m_picture: the primed first one, else the next decoded one.
  bool nextPicture() {
    if (m_pending) {
      m_pending = false;
      return true;
    }
    return decodeNext();
  }

  /// Timestamp of the picture in m_picture; a picture without one follows the last at the
  /// nominal rate.
  std::int64_t pictureTimestamp() {
    std::int64_t stamp = m_picture->best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE || (m_lastTimestamp != AV_NOPTS_VALUE && stamp <= m_lastTimestamp)) {
      stamp = m_lastTimestamp == AV_NOPTS_VALUE
                  ? m_info.firstTimestamp
                  : m_lastTimestamp + std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(m_info.rate), m_info.timeBase));
    }
    m_lastTimestamp = stamp;
    return stamp;
  }

  /// How many packets past frame k a scan reads: pictures are stored in decoding order, at most
  /// this many places away from the order they are shown in.
  static constexpr std::int64_t kReorderDepth = 32;

  /// Seeks so that frame k, the k-th picture shown, is read next. The timestamp of that picture
  /// comes from the packets (no decoding): those the edit list hides and those shown before the
  /// first decodable picture do not count. Returns false when the file cannot seek; packets
  /// without timestamps make it count decoded pictures from the start instead.
  bool seekByTimestamp(std::int64_t k) {
    if (av_seek_frame(m_format.get(), m_streamIndex, streamStart(), AVSEEK_FLAG_BACKWARD) < 0) return false;
    std::vector<std::int64_t> shown;
    bool untimed = false;
    while (static_cast<std::int64_t>(shown.size()) <= k + kReorderDepth) {
      if (av_read_frame(m_format.get(), m_packet.get()) < 0) break;
      if (m_packet->stream_index == m_streamIndex && (m_packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
        if (m_packet->pts == AV_NOPTS_VALUE) untimed = true;
        else if (m_packet->pts >= m_info.firstTimestamp) shown.push_back(m_packet->pts);
      }
      av_packet_unref(m_packet.get());
      if (untimed) break;
    }
    if (untimed) {
      const int rc = av_seek_frame(m_format.get(), m_streamIndex, streamStart(), AVSEEK_FLAG_BACKWARD);
      if (rc < 0) fail("cannot seek in", m_info.path, rc);
      startCountingAt(k);
      return true;
    }
    m_pending = false;
    m_next = k;
    if (static_cast<std::int64_t>(shown.size()) <= k) {
      // Past the end: nothing more to read.
      restartDecoder();
      m_finished = true;
      m_skipTo = -1;
      return true;
    }
    std::nth_element(shown.begin(), shown.begin() + k, shown.end());
    const std::int64_t target = shown[static_cast<std::size_t>(k)];
    const int rc = av_seek_frame(m_format.get(), m_streamIndex, target, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) fail("cannot seek in", m_info.path, rc);
    restartDecoder();
    m_skipByCount = false;
    m_skipTimestamp = target;
    m_skipTo = k;
    // Timestamps of pictures before k are not needed to fill gaps: they are dropped.
    m_lastTimestamp = AV_NOPTS_VALUE;
    return true;
  }

  /// Restarts decoding at the start and drops pictures by count until frame k.
  void startCountingAt(std::int64_t k) {
    restartDecoder();
    m_pending = false;
    m_decodedIndex = 0;
    m_skipByCount = true;
    m_skipTo = k;
    m_next = k;
    m_lastTimestamp = AV_NOPTS_VALUE;
  }

  /// Microseconds of the video stream alone as a DURATION tag gives them (Matroska); 0 without.
  std::int64_t streamDuration() const {
    std::int64_t micros = 0;
    const AVDictionaryEntry* tag = av_dict_get(m_stream->metadata, "DURATION", nullptr, 0);
    return tag != nullptr && av_parse_time(&micros, tag->value, 1) == 0 && micros > 0 ? micros : 0;
  }

  std::int64_t streamStart() const { return m_stream->start_time == AV_NOPTS_VALUE ? 0 : m_stream->start_time; }

  void restartDecoder() {
    avcodec_flush_buffers(m_decoder.get());
    m_draining = false;
    m_finished = false;
    m_damageReason.clear();
  }

  /// The file cannot be read or decoded past this point: what the decoder holds still comes
  /// out, then the stream ends with the reason kept for damage().
  void stopAtDamage(const std::string& reason) {
    if (m_damageReason.empty()) m_damageReason = reason;
    if (!m_draining) {
      m_draining = true;
      if (avcodec_send_packet(m_decoder.get(), nullptr) < 0) m_finished = true;
    }
  }

  /// At the end of the file: a file cut short holds an index (MP4, MOV) that points past its end.
  void checkIndexReachesEnd() {
    if (m_format->pb == nullptr) return;
    const std::int64_t size = avio_size(m_format->pb);
    if (size <= 0) return;
    const int entries = avformat_index_get_entries_count(m_stream);
    std::int64_t missing = 0;
    for (int i = 0; i < entries; ++i) {
      const AVIndexEntry* entry = avformat_index_get_entry(m_stream, i);
      if (entry->pos + entry->size > size && (entry->flags & AVINDEX_DISCARD_FRAME) == 0) ++missing;
    }
    if (missing > 0) {
      m_damageReason = "the file ends before the data of its last " + std::to_string(missing) +
                       (missing == 1 ? " frame" : " frames");
    }
  }

  /// At the end of the file: a Matroska file cut between two clusters reads to its end without a
  /// fault, but its header still declares the length the whole stream had. A shortfall of more
  /// than a few frames (and a quarter second) is a file cut short, not a rounding of its length.
  void checkDeclaredLengthReached() {
    const std::int64_t declared = streamDuration();
    if (declared <= 0 || m_readEnd == AV_NOPTS_VALUE || !m_damageReason.empty()) return;
    const std::int64_t seen = av_rescale_q(m_readEnd, m_stream->time_base, AV_TIME_BASE_Q);
    const double rate = m_info.rate.num > 0 && m_info.rate.den > 0 ? av_q2d(m_info.rate) : 25.0;
    const auto tolerance = static_cast<std::int64_t>(std::max(0.25, 3.0 / rate) * AV_TIME_BASE);
    if (declared - seen <= tolerance) return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(declared - seen) / AV_TIME_BASE);
    m_damageReason = std::string("the file ends ") + seconds + " s before the length its header declares";
  }

  /// Keeps the end time of the latest packet of the video stream, for checkDeclaredLengthReached.
  void noteRead(const AVPacket& packet) {
    if (packet.pts == AV_NOPTS_VALUE) return;
    const std::int64_t end = packet.pts + std::max<std::int64_t>(packet.duration, 0);
    if (m_readEnd == AV_NOPTS_VALUE || end > m_readEnd) m_readEnd = end;
  }

  /// Puts the next decoded picture in m_picture; false at the end of the stream, or where the
  /// file cannot be read or decoded further (m_damageReason then says why).
  bool decodeNext() {
    while (!m_finished) {
      int rc = avcodec_receive_frame(m_decoder.get(), m_picture.get());
      if (rc == 0) return true;
      if (rc == AVERROR_EOF || (rc != AVERROR(EAGAIN) && m_draining)) {
        m_finished = true;
        break;
      }
      if (rc != AVERROR(EAGAIN)) {
        stopAtDamage(describe("cannot decode", m_info.path, rc));
        continue;
      }
      if (m_draining) {
        m_finished = true;
        break;
      }
      rc = av_read_frame(m_format.get(), m_packet.get());
      if (rc == AVERROR_EOF) {
        if (m_info.kind == SourceKind::Video) {
          checkIndexReachesEnd();
          checkDeclaredLengthReached();
        }
        m_draining = true;
        rc = avcodec_send_packet(m_decoder.get(), nullptr);
        if (rc < 0 && rc != AVERROR_EOF) m_finished = true;
        continue;
      }
      if (rc < 0) {
        stopAtDamage(describe("cannot read", m_info.path, rc));
        continue;
      }
      const bool ours = m_packet->stream_index == m_streamIndex;
      if (ours && (m_packet->flags & AV_PKT_FLAG_CORRUPT) != 0 && m_info.kind == SourceKind::Video) {
        av_packet_unref(m_packet.get());
        stopAtDamage("the data of a frame is cut short or corrupt");
        continue;
      }
      if (ours) {
        noteRead(*m_packet);
        rc = avcodec_send_packet(m_decoder.get(), m_packet.get());
      }
      av_packet_unref(m_packet.get());
      if (rc < 0 && rc != AVERROR(EAGAIN)) stopAtDamage(describe("cannot decode", m_info.path, rc));
    }
    return false;
  }

  /// After a seek: drops pictures before the target.
  bool acceptDecoded() {
    if (m_skipTo < 0) return true;
    if (m_skipByCount) {
      if (m_decodedIndex++ < m_skipTo) return false;
      m_skipTo = -1;
      return true;
    }
    const std::int64_t pts = m_picture->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) {
      // No time stamps to tell where the seek landed: start over and count.
      const int rc = av_seek_frame(m_format.get(), m_streamIndex, streamStart(), AVSEEK_FLAG_BACKWARD);
      if (rc < 0) fail("cannot seek in", m_info.path, rc);
      startCountingAt(m_skipTo);
      return false;
    }
    if (pts < m_skipTimestamp) return false;
    m_skipTo = -1;
    return true;
  }

  void deliver(const AVFrame& picture, Frame& frame, FrameFormat format) {
    bool fullRange = tagOf(picture.color_range, AVCOL_RANGE_NB, AVCOL_RANGE_UNSPECIFIED) == AVCOL_RANGE_JPEG;
    const AVPixelFormat pixelFormat = normaliseRange(static_cast<AVPixelFormat>(picture.format), fullRange);
    FieldOrder order = m_info.fieldOrder;
    if (order == FieldOrder::Progressive && picture.interlaced_frame) {
      order = picture.top_field_first ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
    }
    const PictureShape shape{picture.width, picture.height, pixelFormat,
                             tagOf(picture.colorspace, AVCOL_SPC_NB, AVCOL_SPC_UNSPECIFIED), fullRange,
                             order != FieldOrder::Progressive};
    frame.allocate(m_info.width, m_info.height, format);
    m_working.make(picture, shape, frame);
    frame.setFieldOrder(order);
  }

  bool readStill(Frame& frame, FrameFormat format) {
    if (m_next >= m_info.frameCount) return false;
    if (m_still.empty() || m_still.format() != format) {
      if (!m_stillDecoded) {
        if (!decodeNext()) throw Error("cannot read '" + m_info.path + "': it holds no picture");
        m_stillDecoded = true;
      }
      deliver(*m_picture, m_still, format);
    }
    frame.copyFrom(m_still);
    frame.setIndex(m_next++);
    setCountedTime(frame);
    return true;
  }

  InputContextPtr m_format;
  CodecContextPtr m_decoder;
  PacketPtr m_packet;
  AvFramePtr m_picture;
  AVStream* m_stream = nullptr;
  int m_streamIndex = -1;
  WorkingCopyMaker m_working;
  bool m_draining = false;
  bool m_finished = false;
  std::int64_t m_skipTo = -1;  ///< after a seek: the frame to stop dropping at; -1 when none
  bool m_skipByCount = false;  ///< drop by counting frames instead of by time stamps
  std::int64_t m_decodedIndex = 0;  ///< when counting: index of the next decoded picture
  std::int64_t m_skipTimestamp = 0; ///< otherwise: the timestamp of the frame sought
  bool m_pending = false;           ///< m_picture holds the primed first picture, not yet read
  std::int64_t m_lastTimestamp = AV_NOPTS_VALUE;  ///< of the last picture read
  std::string m_damageReason;       ///< why decoding stopped early; empty when it did not
  std::int64_t m_readEnd = AV_NOPTS_VALUE;  ///< latest end of a video packet read, stream time base
  Frame m_still;               ///< a still image, converted once per format
  bool m_stillDecoded = false;
};

}  // namespace

bool isSequencePattern(const std::string& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '%') continue;
    std::size_t j = i + 1;
    if (j < path.size() && path[j] == '%') {
      i = j;
      continue;
    }
    while (j < path.size() && path[j] >= '0' && path[j] <= '9') ++j;
    if (j < path.size() && path[j] == 'd') return true;
  }
  return false;
}

VideoSource::VideoSource(std::unique_ptr<detail::SourceImpl> impl) : m_impl(std::move(impl)) {}
VideoSource::VideoSource(VideoSource&&) noexcept = default;
VideoSource& VideoSource::operator=(VideoSource&&) noexcept = default;
VideoSource::~VideoSource() = default;

VideoSource VideoSource::open(const std::string& path, const SourceOptions& options) {
  return VideoSource(std::make_unique<FileSource>(path, options));
}

VideoSource VideoSource::testPattern(const SourceOptions& options) {
  return VideoSource(std::make_unique<PatternSource>(options));
}

const SourceInfo& VideoSource::info() const { return m_impl->m_info; }
const std::string& VideoSource::damage() const { return m_impl->m_damage; }
bool VideoSource::read(Frame& frame, FrameFormat format) { return m_impl->read(frame, format); }
void VideoSource::seek(std::int64_t k) { m_impl->seek(k); }
void VideoSource::deferPixels(bool defer) { m_impl->deferPixels(defer); }
std::int64_t VideoSource::position() const { return m_impl->m_next; }

double VideoSource::timeOfFrame(std::int64_t k) const {
  const SourceInfo& info = m_impl->m_info;
  return info.startTime + static_cast<double>(k) * info.rate.den / info.rate.num;
}

}  // namespace zel::media
