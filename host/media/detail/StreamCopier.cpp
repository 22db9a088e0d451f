#include "media/detail/StreamCopier.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/timecode.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "media/Error.h"
#include "media/detail/FFmpeg.h"

namespace zel::media::detail {

namespace {

void freePacket(AVPacket* p) { av_packet_free(&p); }

struct SwrDeleter {
  void operator()(SwrContext* p) const { swr_free(&p); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};

void closeInput(AVFormatContext* p) { avformat_close_input(&p); }

const char* kindName(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO: return "video";
    case AVMEDIA_TYPE_AUDIO: return "audio";
    case AVMEDIA_TYPE_SUBTITLE: return "subtitle";
    case AVMEDIA_TYPE_DATA: return "data";
    case AVMEDIA_TYPE_ATTACHMENT: return "attachment";
    default: return "other";
  }
}

constexpr int kMxfSampleRate = 48000;

bool isMxf(const AVOutputFormat& format) { return std::string_view(format.name) == "mxf"; }

bool takes(const AVOutputFormat& format, AVCodecID codec) { return containerTakes(format, codec); }

/// "stream 2 (subtitle, mov_text)"
std::string streamName(unsigned index, const AVStream& stream) {
  const bool cover = (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
  const std::string kind = cover ? "cover picture" : kindName(stream.codecpar->codec_type);
  return "stream " + std::to_string(index) + " (" + kind + ", " + avcodec_get_name(stream.codecpar->codec_id) + ")";
}

/// Tags the encoder or muxer writes for itself: a copy would carry the input's stale values.
void copyMetadata(AVDictionary** to, const AVDictionary* from) {
  av_dict_copy(to, from, 0);
  for (const char* stale : {"encoder", "major_brand", "minor_version", "compatible_brands", "duration"}) {
    av_dict_set(to, stale, nullptr, 0);
  }
}

/// A stream's metadata into a stream of `format`. MP4 and MOV have no stream titles: a title (an
/// MKV's "Commentary" track) becomes the track's name, which their players show, instead of
/// going without a word.
void copyStreamMetadata(AVDictionary** to, const AVDictionary* from, const AVOutputFormat& format) {
  copyMetadata(to, from);
  const std::string_view container = format.name;
  const AVDictionaryEntry* title = av_dict_get(*to, "title", nullptr, 0);
  if ((container == "mp4" || container == "mov") && title != nullptr &&
      av_dict_get(*to, "handler_name", nullptr, 0) == nullptr) {
    av_dict_set(to, "handler_name", title->value, 0);
  }
}

/// True when the container takes a copy of `input`: its codec, and the stream itself when a muxer
/// of the format sets itself up with it, which is where some refuse what the codec query let
/// through (MOV takes Opus only in MP4 mode and fails as it writes its header). Attachments (the
/// fonts of a Matroska file's subtitles) are no codec a muxer lists: only the set-up decides.
bool takesCopyOf(const AVOutputFormat& format, const AVStream& input) {
  const bool attachment = input.codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT;
  if (!attachment && !takes(format, input.codecpar->codec_id)) return false;
  // The MXF muxer lists every PCM but writes 16 and 24 bits at 48 kHz only, and says so only as
  // it writes its header.
  if (isMxf(format) && input.codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
    const AVCodecID codec = input.codecpar->codec_id;
    return (codec == AV_CODEC_ID_PCM_S16LE || codec == AV_CODEC_ID_PCM_S24LE) &&
           input.codecpar->sample_rate == kMxfSampleRate;
  }
  AVFormatContext* trial = nullptr;
  if (avformat_alloc_output_context2(&trial, &format, nullptr, nullptr) < 0 || trial == nullptr) return false;
  AVStream* stream = avformat_new_stream(trial, nullptr);
  bool taken = stream != nullptr && avcodec_parameters_copy(stream->codecpar, input.codecpar) >= 0;
  if (taken) {
    stream->codecpar->codec_tag = 0;
    stream->time_base = input.time_base;
    copyMetadata(&stream->metadata, input.metadata);  // an attachment's file name and type
    taken = avio_open_dyn_buf(&trial->pb) >= 0 && avformat_init_output(trial, nullptr) >= 0;
  }
  if (trial->pb != nullptr) {
    std::uint8_t* written = nullptr;
    avio_close_dyn_buf(trial->pb, &written);
    av_free(written);
    trial->pb = nullptr;
  }
  avformat_free_context(trial);
  // The muxer's complaint belongs to the trial, not to the next error of the real file.
  clearLastLog();
  return taken;
}

/// The encoder of the container's own text subtitles for a text subtitle stream it does not take;
/// null where there is none (bitmap subtitles, no text subtitles in the container).
const AVCodec* textSubtitleEncoder(const AVStream& input, const AVOutputFormat& format) {
  const AVCodecDescriptor* from = avcodec_descriptor_get(input.codecpar->codec_id);
  if (from == nullptr || (from->props & AV_CODEC_PROP_TEXT_SUB) == 0) return nullptr;
  // The container's own text subtitles (few muxers name theirs as their default).
  for (const AVCodecID codec : {format.subtitle_codec, AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_WEBVTT, AV_CODEC_ID_ASS}) {
    if (codec == AV_CODEC_ID_NONE || !takes(format, codec)) continue;
    if (const AVCodec* encoder = avcodec_find_encoder(codec)) return encoder;
  }
  return nullptr;
}

/// The decoder of `input`, open, its packets' time base the stream's.
CodecContextPtr openDecoder(const AVStream& input, const char* kind, const std::string& path) {
  const AVCodec* decoder = avcodec_find_decoder(input.codecpar->codec_id);
  if (decoder == nullptr) throw Error("no decoder");
  CodecContextPtr context(avcodec_alloc_context3(decoder));
  if (!context) throw std::bad_alloc();
  int rc = avcodec_parameters_to_context(context.get(), input.codecpar);
  if (rc >= 0) {
    context->pkt_timebase = input.time_base;
    rc = avcodec_open2(context.get(), decoder, nullptr);
  }
  if (rc < 0) fail("cannot open the " + std::string(kind) + " decoder for", path, rc);
  return context;
}

}  // namespace

/// Audio the container does not take: decoded, resampled to what the encoder takes, and encoded
/// in frames of the encoder's size. Timestamps run on from the first sample kept, in samples.
class AudioReencoder {
public:
  /// `sampleRate`: the rate the container needs (0: the input's, where the encoder takes it).
  AudioReencoder(const AVStream& input, const AVCodec& encoder, bool globalHeader, const std::string& path,
                 int sampleRate = 0)
      : m_path(path) {
    m_decoder = openDecoder(input, "audio", path);

    m_encoder.reset(avcodec_alloc_context3(&encoder));
    if (!m_encoder) throw std::bad_alloc();
    AVCodecContext& e = *m_encoder;
    e.sample_fmt = encoder.sample_fmts != nullptr ? encoder.sample_fmts[0] : m_decoder->sample_fmt;
    e.sample_rate = sampleRate > 0 ? sampleRate : m_decoder->sample_rate > 0 ? m_decoder->sample_rate : 48000;
    if (encoder.supported_samplerates != nullptr) {
      int best = encoder.supported_samplerates[0];
      for (const int* r = encoder.supported_samplerates; *r != 0; ++r) {
        if (*r == e.sample_rate) best = *r;
      }
      e.sample_rate = best;
    }
    if (m_decoder->ch_layout.nb_channels > 0 && encoder.ch_layouts == nullptr &&
        av_channel_layout_check(&m_decoder->ch_layout) != 0) {
      // An encoder that takes any layout (PCM) keeps the input's, channel for channel.
      av_channel_layout_copy(&e.ch_layout, &m_decoder->ch_layout);
    } else if (m_decoder->ch_layout.nb_channels > 0) {
      av_channel_layout_default(&e.ch_layout, std::min(m_decoder->ch_layout.nb_channels, 8));
    } else {
      av_channel_layout_default(&e.ch_layout, 2);
    }
    e.time_base = AVRational{1, e.sample_rate};
    if (globalHeader) e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(m_encoder.get(), &encoder, nullptr);
    if (rc < 0) fail("cannot open the audio encoder " + std::string(encoder.name) + " for", path, rc);

    SwrContext* swr = nullptr;
    rc = swr_alloc_set_opts2(&swr, &e.ch_layout, e.sample_fmt, e.sample_rate, &m_decoder->ch_layout,
                             m_decoder->sample_fmt, m_decoder->sample_rate, 0, nullptr);
    m_resampler.reset(swr);
    if (rc < 0 || swr_init(m_resampler.get()) < 0) throw Error("cannot write '" + path + "': cannot convert its audio");
    m_fifo.reset(av_audio_fifo_alloc(e.sample_fmt, e.ch_layout.nb_channels, 4096));
    if (!m_fifo) throw std::bad_alloc();
    m_decoded = makeAvFrame();
    m_frame = makeAvFrame();
    m_packet = makePacket();
    m_inputBase = input.time_base;
  }

  /// Makes `output` the stream of the encoded sound (before the muxer's header is written).
  void attach(AVStream& output) {
    const int rc = avcodec_parameters_from_context(output.codecpar, m_encoder.get());
    if (rc < 0) fail("cannot write", m_path, rc);
    output.time_base = m_encoder->time_base;
    m_output = &output;
  }

  const AVCodecContext& encoder() const { return *m_encoder; }

  /// Decodes `packet`, whose timestamps already count from the output's origin (in the input's
  /// time base), and writes every encoded packet through `write` up to `endSeconds`.
  template <class Write>
  void add(const AVPacket& packet, double endSeconds, Write&& write) {
    if (avcodec_send_packet(m_decoder.get(), &packet) < 0) return;  // a damaged packet is skipped
    receiveDecoded(endSeconds, write);
  }

  template <class Write>
  void finish(double endSeconds, Write&& write) {
    avcodec_send_packet(m_decoder.get(), nullptr);
    receiveDecoded(endSeconds, write);
    if (m_started) {
      // What the resampler holds, then the last (shorter) frame.
      convert(nullptr, 0);
      trimTo(endSeconds);
      encodeFrames(write, true);
    }
    avcodec_send_frame(m_encoder.get(), nullptr);
    drain(write);
  }

private:
  template <class Write>
  void receiveDecoded(double endSeconds, Write& write) {
    while (avcodec_receive_frame(m_decoder.get(), m_decoded.get()) == 0) {
      const std::int64_t stamp = m_decoded->best_effort_timestamp;
      if (!m_started) {
        if (stamp != AV_NOPTS_VALUE && stamp < 0) {
          // Before output time 0 (a part of the input): drop the samples before it.
          const std::int64_t skip = av_rescale_q(-stamp, m_inputBase, AVRational{1, m_decoded->sample_rate});
          if (skip >= m_decoded->nb_samples) {
            av_frame_unref(m_decoded.get());
            continue;
          }
          m_nextPts = 0;
          m_started = true;
          convertSkipping(static_cast<int>(skip));
          av_frame_unref(m_decoded.get());
          continue;
        }
        m_nextPts = stamp == AV_NOPTS_VALUE ? 0 : av_rescale_q(stamp, m_inputBase, m_encoder->time_base);
        m_started = true;
      }
      convert(const_cast<const std::uint8_t**>(m_decoded->extended_data), m_decoded->nb_samples);
      av_frame_unref(m_decoded.get());
    }
    trimTo(endSeconds);
    encodeFrames(write, false);
  }

  void convertSkipping(int skip) {
    // Planar or packed, the samples before `skip` are left out by moving the plane pointers.
    const int planes = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(m_decoded->format)) != 0
                           ? m_decoded->ch_layout.nb_channels
                           : 1;
    const int bytes = av_get_bytes_per_sample(static_cast<AVSampleFormat>(m_decoded->format)) *
                      (planes == 1 ? m_decoded->ch_layout.nb_channels : 1);
    std::vector<const std::uint8_t*> data(static_cast<std::size_t>(planes));
    for (int p = 0; p < planes; ++p) data[static_cast<std::size_t>(p)] = m_decoded->extended_data[p] + skip * bytes;
    convert(data.data(), m_decoded->nb_samples - skip);
  }

  void convert(const std::uint8_t** data, int samples) {
    const int room = swr_get_out_samples(m_resampler.get(), samples);
    if (room <= 0) return;
    std::uint8_t** out = nullptr;
    int lineSize = 0;
    if (av_samples_alloc_array_and_samples(&out, &lineSize, m_encoder->ch_layout.nb_channels, room,
                                           m_encoder->sample_fmt, 0) < 0) {
      throw std::bad_alloc();
    }
    const int made = swr_convert(m_resampler.get(), out, room, data, samples);
    if (made > 0) av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(out), made);
    av_freep(&out[0]);
    av_freep(&out);
  }

  /// Drops buffered samples past the end of the video.
  void trimTo(double endSeconds) {
    if (!(endSeconds < 1e9)) return;  // the end of the video is not known yet
    const std::int64_t end = static_cast<std::int64_t>(std::ceil(endSeconds * m_encoder->sample_rate));
    const std::int64_t buffered = av_audio_fifo_size(m_fifo.get());
    const std::int64_t keep = std::max<std::int64_t>(0, end - m_nextPts);
    if (buffered > keep) av_audio_fifo_drain(m_fifo.get(), static_cast<int>(buffered - keep));
  }

  template <class Write>
  void encodeFrames(Write& write, bool last) {
    const int size = m_encoder->frame_size > 0 ? m_encoder->frame_size : 1024;
    while (av_audio_fifo_size(m_fifo.get()) >= size || (last && av_audio_fifo_size(m_fifo.get()) > 0)) {
      const int n = std::min(size, av_audio_fifo_size(m_fifo.get()));
      av_frame_unref(m_frame.get());
      m_frame->nb_samples = n;
      m_frame->format = m_encoder->sample_fmt;
      m_frame->sample_rate = m_encoder->sample_rate;
      av_channel_layout_copy(&m_frame->ch_layout, &m_encoder->ch_layout);
      if (av_frame_get_buffer(m_frame.get(), 0) < 0) throw std::bad_alloc();
      av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(m_frame->data), n);
      m_frame->pts = m_nextPts;
      m_nextPts += n;
      const int rc = avcodec_send_frame(m_encoder.get(), m_frame.get());
      if (rc < 0) fail("cannot encode the audio of", m_path, rc);
      drain(write);
    }
  }

  template <class Write>
  void drain(Write& write) {
    while (avcodec_receive_packet(m_encoder.get(), m_packet.get()) == 0) {
      av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, m_output->time_base);
      m_packet->stream_index = m_output->index;
      write(*m_packet);
      av_packet_unref(m_packet.get());
    }
  }

  std::string m_path;
  AVStream* m_output = nullptr;
  AVRational m_inputBase{1, 1};
  CodecContextPtr m_decoder;
  CodecContextPtr m_encoder;
  std::unique_ptr<SwrContext, SwrDeleter> m_resampler;
  std::unique_ptr<AVAudioFifo, FifoDeleter> m_fifo;
  AvFramePtr m_decoded;
  AvFramePtr m_frame;
  PacketPtr m_packet;
  std::int64_t m_nextPts = 0;  ///< in samples of the output
  bool m_started = false;
};

/// Text subtitles the container does not take (SubRip or ASS into MP4 or MOV, into WebM):
/// decoded to their text and encoded as the container's own text subtitles, each cue at its time
/// and for its duration. Bitmap subtitles cannot become text and are not converted.
class SubtitleConverter {
public:
  SubtitleConverter(const AVStream& input, const AVCodec& encoder, const std::string& path) : m_path(path) {
    m_decoder = openDecoder(input, "subtitle", path);
    m_encoder.reset(avcodec_alloc_context3(&encoder));
    if (!m_encoder) throw std::bad_alloc();
    m_encoder->time_base = input.time_base;
    // The text encoders read the cues' styles from the decoder's ASS header.
    if (m_decoder->subtitle_header != nullptr && m_decoder->subtitle_header_size > 0) {
      m_encoder->subtitle_header = static_cast<std::uint8_t*>(av_mallocz(m_decoder->subtitle_header_size + 1));
      if (m_encoder->subtitle_header == nullptr) throw std::bad_alloc();
      std::memcpy(m_encoder->subtitle_header, m_decoder->subtitle_header, m_decoder->subtitle_header_size);
      m_encoder->subtitle_header_size = m_decoder->subtitle_header_size;
    }
    const int rc = avcodec_open2(m_encoder.get(), &encoder, nullptr);
    if (rc < 0) fail("cannot open the subtitle encoder " + std::string(encoder.name) + " for", path, rc);
    m_packet = makePacket();
  }

  void attach(AVStream& output) {
    const int rc = avcodec_parameters_from_context(output.codecpar, m_encoder.get());
    if (rc < 0) fail("cannot write", m_path, rc);
    output.time_base = m_encoder->time_base;
    m_output = &output;
  }

  /// Converts the cue of `packet` (timestamps counted from the output's origin, in the input's
  /// time base) and writes it through `write`. A cue that does not decode is skipped.
  template <class Write>
  void add(AVPacket& packet, Write&& write) {
    AVSubtitle cue{};
    int got = 0;
    if (avcodec_decode_subtitle2(m_decoder.get(), &cue, &got, &packet) < 0 || got == 0) return;
    const int size = avcodec_encode_subtitle(m_encoder.get(), m_buffer.data(), static_cast<int>(m_buffer.size()), &cue);
    const bool hadText = cue.num_rects > 0;
    avsubtitle_free(&cue);
    if (size < 0) fail("cannot convert the subtitles of", m_path, size);
    if (size == 0) {
      // The encoder read nothing in it (an ASS event its header's format does not describe).
      if (hadText) ++m_unconverted;
      return;
    }
    av_packet_unref(m_packet.get());
    if (av_new_packet(m_packet.get(), size) < 0) throw std::bad_alloc();
    std::memcpy(m_packet->data, m_buffer.data(), static_cast<std::size_t>(size));
    m_packet->pts = packet.pts;
    m_packet->dts = packet.pts;
    m_packet->duration = packet.duration;
    m_packet->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, m_output->time_base);
    m_packet->stream_index = m_output->index;
    write(*m_packet);
  }

  /// Cues with text that the encoder wrote nothing for.
  int unconverted() const { return m_unconverted; }
  const char* encoderName() const { return m_encoder->codec->name; }

private:
  std::string m_path;
  AVStream* m_output = nullptr;
  CodecContextPtr m_decoder;
  CodecContextPtr m_encoder;
  PacketPtr m_packet;
  int m_unconverted = 0;
  std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(std::size_t{1} << 20);  ///< one encoded cue
};

struct StreamCopier::Track {
  AVStream* output = nullptr;  ///< null: not kept
  std::unique_ptr<AudioReencoder> reencoder;
  std::unique_ptr<SubtitleConverter> converter;
  std::int64_t origin = 0;  ///< timestamp, in the input stream's time base, of output time 0
  /// The last packet an edit list hides, held back: the one just before the first shown packet
  /// primes the decoder (an AAC stream's first 1024 samples) and is written; earlier ones are not.
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> hidden{nullptr, freePacket};
  double cutEnd = 0;  ///< output seconds where the last packet dropped past the end would have ended
  bool cover = false;  ///< a cover picture: its one picture is written as the copy starts
};

StreamCopier::StreamCopier(const CopyFrom& from, AVFormatContext& muxer, AVStream& video, const std::string& outputPath)
    : m_path(from.path), m_output(outputPath), m_from(from), m_muxer(muxer), m_input(nullptr, closeInput),
      m_packet(nullptr, freePacket) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_open_input(&raw, m_path.c_str(), nullptr, nullptr);
  if (rc < 0) fail("cannot open", m_path, rc);
  m_input.reset(raw);
  rc = avformat_find_stream_info(m_input.get(), nullptr);
  if (rc < 0) fail("cannot read stream information of", m_path, rc);
  m_videoIndex = av_find_best_stream(m_input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  m_packet.reset(av_packet_alloc());
  if (!m_packet) throw std::bad_alloc();

  const AVOutputFormat& format = *muxer.oformat;
  m_tracks.resize(m_input->nb_streams);
  for (unsigned i = 0; i < m_input->nb_streams; ++i) {
    if (static_cast<int>(i) == m_videoIndex) {
      m_input->streams[i]->discard = AVDISCARD_ALL;
      continue;
    }
    addStream(i, format);
    if (!m_tracks[i].output) m_input->streams[i]->discard = AVDISCARD_ALL;
  }
  copyMetadata(&m_muxer.metadata, m_input->metadata);
  if (m_videoIndex >= 0) copyVideoSide(video, format);
  copyChapters(from.fromFirstFrame ? from.firstFrameTime : std::numeric_limits<double>::quiet_NaN());
}

StreamCopier::~StreamCopier() = default;

void StreamCopier::addStream(unsigned index, const AVOutputFormat& format) {
  AVStream& input = *m_input->streams[index];
  const AVMediaType type = input.codecpar->codec_type;
  const AVCodecID codec = input.codecpar->codec_id;
  const std::string name = streamName(index, input);
  if (type == AVMEDIA_TYPE_AUDIO && m_from.audio == AudioMode::None) return;
  // A cover picture is copied where the muxer writes covers (MP4); a second moving picture (another
  // angle) is not rendered.
  const bool cover = type == AVMEDIA_TYPE_VIDEO && (input.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0 &&
                     input.attached_pic.size > 0 && std::string_view(format.name) == "mp4";
  if (type == AVMEDIA_TYPE_VIDEO && !cover) {
    m_lost.push_back(name);
    return;
  }
  if (input.discard == AVDISCARD_ALL) {
    // The demuxer's own (a chapter text track): the chapters are copied as chapters.
    return;
  }
  if (type == AVMEDIA_TYPE_DATA && codec == AV_CODEC_ID_NONE && m_videoIndex >= 0 &&
      av_dict_get(m_input->streams[m_videoIndex]->metadata, "timecode", nullptr, 0) != nullptr) {
    // A time code track: the video stream's "timecode" tag carries it, and the MP4 and MOV
    // muxers write their own track from it.
    return;
  }
  const bool copyable = takesCopyOf(format, input);
  const bool encode = type == AVMEDIA_TYPE_AUDIO &&
                      (m_from.audio == AudioMode::Encode || (m_from.audio == AudioMode::Auto && !copyable));
  const AVCodec* subtitleEncoder =
      type == AVMEDIA_TYPE_SUBTITLE && !copyable ? textSubtitleEncoder(input, format) : nullptr;
  if (!encode && !copyable && subtitleEncoder == nullptr) {
    m_lost.push_back(name);
    return;
  }
  Track& track = m_tracks[index];
  if (encode) {
    // MXF's PCM at 48 kHz, kept at 24 bits (decoded sound has more than 16 to give).
    const bool mxf = isMxf(format);
    const AVCodec* encoder = avcodec_find_encoder(mxf ? AV_CODEC_ID_PCM_S24LE : format.audio_codec);
    if (encoder == nullptr || !takes(format, encoder->id)) {
      m_lost.push_back(name);
      return;
    }
    try {
      track.reencoder = std::make_unique<AudioReencoder>(input, *encoder, (format.flags & AVFMT_GLOBALHEADER) != 0,
                                                         m_output, mxf ? kMxfSampleRate : 0);
    } catch (const Error&) {
      m_lost.push_back(name);
      return;
    }
    const std::string why = copyable ? " (--audio encode)"
                            : mxf    ? ": mxf takes sound as PCM at 48 kHz only"
                                     : ": " + std::string(format.name) + " does not take " + avcodec_get_name(codec);
    m_notes.push_back(name + " encoded as " + encoder->name + why);
  }
  if (subtitleEncoder != nullptr) {
    try {
      track.converter = std::make_unique<SubtitleConverter>(input, *subtitleEncoder, m_output);
    } catch (const Error&) {
      m_lost.push_back(name);
      return;
    }
    m_notes.push_back(name + " converted to " + subtitleEncoder->name + ": " + format.name + " does not take " +
                      avcodec_get_name(codec));
  }
  AVStream* output = avformat_new_stream(&m_muxer, nullptr);
  if (output == nullptr) throw std::bad_alloc();
  if (encode) {
    track.reencoder->attach(*output);
  } else if (track.converter) {
    track.converter->attach(*output);
  } else {
    const int rc = avcodec_parameters_copy(output->codecpar, input.codecpar);
    if (rc < 0) fail("cannot copy " + name + " of", m_path, rc);
    output->codecpar->codec_tag = 0;
    output->time_base = input.time_base;
  }
  copyStreamMetadata(&output->metadata, input.metadata, format);
  output->disposition = input.disposition;
  track.output = output;
  track.cover = cover;
}

namespace {

/// A part of the input starts its time code at its own first frame, not the input's.
void advanceTimecode(AVDictionary** metadata, AVRational rate, std::int64_t frames) {
  const AVDictionaryEntry* entry = av_dict_get(*metadata, "timecode", nullptr, 0);
  AVTimecode timecode{};
  if (entry == nullptr || frames <= 0 || frames > std::numeric_limits<int>::max() ||
      av_timecode_init_from_string(&timecode, rate, entry->value, nullptr) < 0) {
    return;
  }
  char text[AV_TIMECODE_STR_SIZE];
  av_dict_set(metadata, "timecode", av_timecode_make_string(&timecode, text, static_cast<int>(frames)), 0);
}

}  // namespace

void StreamCopier::copyVideoSide(AVStream& video, const AVOutputFormat& format) {
  const AVStream& input = *m_input->streams[m_videoIndex];
  copyStreamMetadata(&video.metadata, input.metadata, format);
  const AVRational rate = input.avg_frame_rate.num > 0 ? input.avg_frame_rate : input.r_frame_rate;
  if (m_from.fromFirstFrame && rate.num > 0 && rate.den > 0) {
    advanceTimecode(&video.metadata, rate, m_from.firstFrame);
    advanceTimecode(&m_muxer.metadata, rate, m_from.firstFrame);
  }
  size_t size = 0;
  const std::uint8_t* matrix = av_stream_get_side_data(&input, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (matrix == nullptr || size < 9 * sizeof(std::int32_t)) return;
  const double rotation = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
  if (std::isnan(rotation) || std::lround(rotation) % 360 == 0) return;
  if (!takesDisplayMatrix(format)) {
    m_lost.push_back("the rotation of the video (" + std::to_string(std::lround(rotation)) + " degrees)");
    return;
  }
  std::uint8_t* copy = av_stream_new_side_data(&video, AV_PKT_DATA_DISPLAYMATRIX, size);
  if (copy == nullptr) throw std::bad_alloc();
  std::copy(matrix, matrix + size, copy);
}

void StreamCopier::copyChapters(double origin) {
  if (m_input->nb_chapters == 0) return;
  // Chapter times are written with the header, before the first frame fixes the origin of a
  // whole render: that origin is the input's start.
  if (std::isnan(origin)) {
    origin = m_input->start_time == AV_NOPTS_VALUE ? 0 : static_cast<double>(m_input->start_time) / AV_TIME_BASE;
  }
  auto** chapters = static_cast<AVChapter**>(av_calloc(m_input->nb_chapters, sizeof(AVChapter*)));
  if (chapters == nullptr) throw std::bad_alloc();
  unsigned count = 0;
  for (unsigned i = 0; i < m_input->nb_chapters; ++i) {
    const AVChapter& in = *m_input->chapters[i];
    const std::int64_t shift = std::llround(origin / av_q2d(in.time_base));
    if (in.end != AV_NOPTS_VALUE && in.end - shift <= 0) continue;
    auto* out = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (out == nullptr) break;
    out->id = in.id;
    out->time_base = in.time_base;
    out->start = std::max<std::int64_t>(0, in.start - shift);
    out->end = in.end - shift;
    av_dict_copy(&out->metadata, in.metadata, 0);
    chapters[count++] = out;
  }
  // The muxer's context owns chapters as FFmpeg's own tools hand them over: an array of
  // allocations that avformat_free_context releases.
  m_muxer.chapters = chapters;
  m_muxer.nb_chapters = count;
}

std::int64_t StreamCopier::earliestStart(AVRational timeBase) const {
  std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
  for (unsigned i = 0; i < m_tracks.size(); ++i) {
    const AVStream& stream = *m_input->streams[i];
    if (!m_tracks[i].output || m_tracks[i].cover || stream.start_time == AV_NOPTS_VALUE) continue;
    earliest = std::min(earliest, av_rescale_q(stream.start_time, stream.time_base, timeBase));
  }
  return earliest;
}

void StreamCopier::start(std::int64_t origin, AVRational timeBase, bool trim) {
  m_started = true;
  m_trim = trim;
  m_origin = static_cast<double>(origin) * av_q2d(timeBase);
  for (unsigned i = 0; i < m_tracks.size(); ++i) {
    if (m_tracks[i].output) m_tracks[i].origin = av_rescale_q(origin, timeBase, m_input->streams[i]->time_base);
  }
  for (unsigned i = 0; i < m_tracks.size(); ++i) {
    if (!m_tracks[i].cover) continue;
    // The demuxer's copy of the picture is left to its own packets, which are dropped.
    PacketPtr picture = makePacket();
    if (av_packet_ref(picture.get(), &m_input->streams[i]->attached_pic) < 0) throw std::bad_alloc();
    picture->pts = picture->dts = 0;
    picture->duration = 0;
    emit(m_tracks[i], *picture, m_input->streams[i]->time_base);
  }
  if (trim) {
    // A little before the origin, so that audio decoding starts on whole packets.
    const std::int64_t at = std::llround((m_origin - 1.0) * AV_TIME_BASE);
    av_seek_frame(m_input.get(), -1, at, AVSEEK_FLAG_BACKWARD);
  }
}

void StreamCopier::pump(double seconds) {
  while (m_started && !m_done) {
    if (!m_pending) {
      const int rc = av_read_frame(m_input.get(), m_packet.get());
      if (rc < 0) {
        // The end, or damage past which the video cannot have come either.
        m_done = true;
        break;
      }
      const auto index = static_cast<std::size_t>(m_packet->stream_index);
      if (index >= m_tracks.size() || !m_tracks[index].output) {
        av_packet_unref(m_packet.get());
        continue;
      }
      m_pending = true;
    }
    if (!writePacket(*m_packet, seconds)) return;
  }
}

/// Writes the pending packet when its time has come (true); false when it must wait for the
/// video to pass `limit`.
bool StreamCopier::writePacket(AVPacket& packet, double limit) {
  Track& track = m_tracks[static_cast<std::size_t>(packet.stream_index)];
  const AVRational base = m_input->streams[packet.stream_index]->time_base;
  const std::int64_t stamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  const auto drop = [&] {
    av_packet_unref(&packet);
    m_pending = false;
    return true;
  };
  if (stamp == AV_NOPTS_VALUE || track.cover) return drop();
  if ((packet.flags & AV_PKT_FLAG_DISCARD) != 0 && !track.reencoder) {
    if (!track.hidden) track.hidden.reset(av_packet_alloc());
    if (!track.hidden) throw std::bad_alloc();
    av_packet_unref(track.hidden.get());
    av_packet_move_ref(track.hidden.get(), &packet);
    m_pending = false;
    return true;
  }
  const double seconds = static_cast<double>(stamp - track.origin) * av_q2d(base);
  const double duration = static_cast<double>(packet.duration) * av_q2d(base);
  if (seconds >= m_end) {
    track.cutEnd = std::max(track.cutEnd, seconds + std::max(duration, 0.0));
    // Packets come roughly in time order: well past the end, nothing more is wanted (unless
    // what is cut is to be measured).
    if (seconds > m_end + 2 && !m_measureCut) m_done = true;
    return drop();
  }
  if (seconds > limit) return false;
  if (m_trim && seconds + std::max(duration, 0.0) <= 0 && !track.reencoder) return drop();
  if (packet.pts != AV_NOPTS_VALUE) packet.pts -= track.origin;
  if (packet.dts != AV_NOPTS_VALUE) packet.dts -= track.origin;
  if (track.reencoder) {
    track.reencoder->add(packet, m_end, [&](AVPacket& encoded) { write(encoded); });
    return drop();
  }
  if (track.converter) {
    track.converter->add(packet, [&](AVPacket& converted) { write(converted); });
    return drop();
  }
  if (track.hidden && track.hidden->data != nullptr) {
    AVPacket& primer = *track.hidden;
    // Only the packet right before this one primes it; an older one (a part starts later) goes.
    const bool adjacent = primer.pts != AV_NOPTS_VALUE && packet.pts != AV_NOPTS_VALUE &&
                          primer.pts - track.origin + std::max<std::int64_t>(primer.duration, 0) >= packet.pts;
    if (!adjacent) av_packet_unref(&primer);
  }
  if (track.hidden && track.hidden->data != nullptr) {
    AVPacket& primer = *track.hidden;
    if (primer.pts != AV_NOPTS_VALUE) primer.pts -= track.origin;
    if (primer.dts != AV_NOPTS_VALUE) primer.dts -= track.origin;
    emit(track, primer, base);
    av_packet_unref(&primer);
  }
  m_pending = false;
  emit(track, packet, base);
  return true;
}

void StreamCopier::emit(Track& track, AVPacket& packet, AVRational base) {
  av_packet_rescale_ts(&packet, base, track.output->time_base);
  packet.stream_index = track.output->index;
  packet.pos = -1;
  write(packet);
}

void StreamCopier::write(AVPacket& packet) {
  const int rc = av_interleaved_write_frame(&m_muxer, &packet);
  if (rc < 0) fail("cannot write the other streams into", m_output, rc);
}

void StreamCopier::finish(double end, bool measureCut) {
  m_end = end;
  m_measureCut = measureCut && std::isfinite(end);
  pump(std::numeric_limits<double>::infinity());
  if (m_measureCut) {
    for (unsigned i = 0; i < m_tracks.size(); ++i) {
      if (!m_tracks[i].output || !(m_tracks[i].cutEnd > end)) continue;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.2f s", m_tracks[i].cutEnd - end);
      m_cut += (m_cut.empty() ? "" : ", ") + std::string(seconds) + " of " + streamName(i, *m_input->streams[i]);
    }
  }
  if (m_pending) {
    av_packet_unref(m_packet.get());
    m_pending = false;
  }
  for (unsigned i = 0; i < m_tracks.size(); ++i) {
    const Track& track = m_tracks[i];
    if (!track.converter || track.converter->unconverted() == 0) continue;
    const int n = track.converter->unconverted();
    m_lost.push_back(std::to_string(n) + (n == 1 ? " cue of " : " cues of ") + streamName(i, *m_input->streams[i]) +
                     " (" + track.converter->encoderName() + " could not take " + (n == 1 ? "it)" : "them)"));
  }
  for (Track& track : m_tracks) {
    if (track.reencoder) track.reencoder->finish(end, [&](AVPacket& encoded) { write(encoded); });
  }
}

}  // namespace zel::media::detail
