#include "media/VideoSink.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

#include "media/Encoders.h"
#include "media/Error.h"
#include "media/NativePicture.h"
#include "media/VideoSource.h"
#include "media/detail/EncoderSetup.h"
#include "media/detail/FFmpeg.h"
#include "media/detail/PaletteStage.h"
#include "media/detail/PendingFile.h"
#include "media/detail/StreamCopier.h"

namespace zel::media {

namespace detail {

/// What every kind of output does; VideoSink forwards to it.
class SinkImpl {
public:
  SinkImpl(std::string path, const SinkOptions& options) : m_path(std::move(path)), m_options(options) {}
  virtual ~SinkImpl() = default;
  virtual void writeFrame(const Frame& frame) = 0;
  virtual void finish() = 0;
  virtual std::int64_t maxFrames() const { return -1; }
  virtual bool encodesNative() const { return false; }

  void write(const Frame& frame) {
    if (m_committed) throw Error("cannot write to '" + m_path + "': it is complete already");
    if (frame.width() != m_options.width || frame.height() != m_options.height ||
        frame.format() != m_options.format) {
      throw Error("cannot write a " + std::to_string(frame.width()) + "x" + std::to_string(frame.height()) + " " +
                  std::string(toString(frame.format())) + " frame to '" + m_path + "', which takes " +
                  std::to_string(m_options.width) + "x" + std::to_string(m_options.height) + " " +
                  std::string(toString(m_options.format)));
    }
    const std::int64_t limit = maxFrames();
    if (limit >= 0 && m_written >= limit) {
      throw Error("cannot write a second picture to '" + m_path +
                  "': it holds one (name it with a %d pattern to write a sequence)");
    }
    if (frame.pixelsOwed() && !(encodesNative() && frame.native() != nullptr))
      throw Error("internal error: a frame whose pixels were never made was written to '" + m_path + "'");
    clearLastLog();
    writeFrame(frame);
    ++m_written;
  }

  void commit() {
    if (m_committed) return;
    clearLastLog();
    finish();
    m_committed = true;
  }

  std::string m_path;
  SinkOptions m_options;
  std::int64_t m_written = 0;
  bool m_committed = false;
  std::vector<std::string> m_warnings;
  std::vector<std::string> m_lost;
};

}  // namespace detail

namespace {

using namespace detail;

/// Frames between two looks at whether the output has appeared under its name meanwhile.
constexpr std::int64_t kTargetCheckInterval = 16;

void checkSize(const std::string& path, const SinkOptions& options) {
  if (options.width < 1 || options.height < 1 || options.width > Frame::kMaxSide || options.height > Frame::kMaxSide) {
    throw Error("cannot write '" + path + "': frame size " + std::to_string(options.width) + "x" +
                std::to_string(options.height) + " is not usable");
  }
  if (options.rate.num <= 0 || options.rate.den <= 0) {
    throw Error("cannot write '" + path + "': frame rate " + std::to_string(options.rate.num) + "/" +
                std::to_string(options.rate.den) + " is not positive");
  }
  if (isYuv422(options.format) && options.width % 2 != 0) {
    throw Error("cannot write '" + path + "': 4:2:2 frames need an even width, not " + std::to_string(options.width));
  }
}

/// Turns the caller's option map into an AVDictionary that FFmpeg consumes as it recognises them.
struct OptionSet {
  std::unique_ptr<AVDictionary, DictionaryDeleter> dictionary;

  void set(const std::string& key, const std::string& value) {
    AVDictionary* raw = dictionary.release();
    av_dict_set(&raw, key.c_str(), value.c_str(), 0);
    dictionary.reset(raw);
  }
  /// Passes the dictionary to `use`, which takes out what it knows; throws for what remains.
  template <class Use>
  void consume(const std::string& who, Use&& use) {
    AVDictionary* raw = dictionary.release();
    const int rc = use(&raw);
    dictionary.reset(raw);
    if (rc < 0) return;
    if (const AVDictionaryEntry* left = av_dict_get(dictionary.get(), "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
      throw Error(who + " has no option '" + left->key + "'");
    }
  }
};

/// The colour tags of an output in `format` made from pictures described by `native`.
void setColourTags(const PictureColour& native, AVPixelFormat format, AVCodecContext& c) {
  c.color_primaries = native.primaries;
  c.color_trc = native.transfer;
  const AVPixFmtDescriptor* out = av_pix_fmt_desc_get(format);
  const AVPixFmtDescriptor* in = av_pix_fmt_desc_get(native.format);
  const bool outRgb = out != nullptr && (out->flags & AV_PIX_FMT_FLAG_RGB) != 0;
  const bool inRgb = in != nullptr && (in->flags & AV_PIX_FMT_FLAG_RGB) != 0;
  if (outRgb) {
    c.colorspace = AVCOL_SPC_RGB;
    return;
  }
  if (inRgb) {
    // R'G'B' becomes video-range Y'CbCr with BT.601 weights, as frames without native pictures do.
    c.colorspace = AVCOL_SPC_SMPTE170M;
    c.color_range = AVCOL_RANGE_MPEG;
    return;
  }
  c.colorspace = native.matrix;
  c.color_range = native.range;
}

/// An encoder fed from Frames: converts each frame into its own picture buffer (kept for reuse)
/// and hands every packet it produces to `onPacket`.
class Encoder {
public:
  /// `useNative`: encode the frames' native pictures (SinkOptions::native) rather than their pixels.
  void open(const AVCodec* codec, const SinkOptions& options, AVPixelFormat pixelFormat, bool globalHeader,
            OptionSet& codecOptions, const std::string& path, bool useNative = false) {
    m_context.reset(avcodec_alloc_context3(codec));
    if (!m_context) throw std::bad_alloc();
    AVCodecContext& c = *m_context;
    c.width = options.width;
    c.height = options.height;
    c.pix_fmt = pixelFormat;
    c.time_base = options.timeBase.num > 0 ? options.timeBase : av_inv_q(options.rate);
    c.framerate = options.rate;
    c.sample_aspect_ratio = options.pixelAspect;
    c.thread_count = 0;
    if (codec->id == AV_CODEC_ID_GIF) {
      // GIF codes a palette: the pictures are made as RGB and given the clip's palette at the end.
      c.pix_fmt = AV_PIX_FMT_PAL8;
      m_palette = std::make_unique<PaletteStage>(options.width, options.height,
                                                 options.timeBase.num > 0 ? options.timeBase : av_inv_q(options.rate),
                                                 path);
    }
    if (globalHeader) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // RGB frames become BT.601 video-range Y'CbCr and say so; Y'CbCr frames pass unchanged and
    // their colour description is not ours to claim.
    m_target = PictureShape{options.width, options.height, pixelFormat, AVCOL_SPC_UNSPECIFIED, false};
    m_useNative = useNative && options.native.has_value();
    if (m_useNative) {
      setColourTags(*options.native, pixelFormat, c);
      bool fullRange = c.color_range == AVCOL_RANGE_JPEG;
      m_target.format = normaliseRange(pixelFormat, fullRange);
      m_target.colorspace = c.colorspace;
      m_target.fullRange = fullRange;
    } else if (!isYuv422(options.format) && isYuvFormat(pixelFormat)) {
      c.colorspace = AVCOL_SPC_SMPTE170M;
      c.color_range = AVCOL_RANGE_MPEG;
      m_target.colorspace = AVCOL_SPC_SMPTE170M;
    }
    m_fieldOrder = options.fieldOrder;
    m_target.interlaced = options.fieldOrder != FieldOrder::Progressive;
    if (options.fieldOrder != FieldOrder::Progressive) {
      c.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
      c.field_order = options.fieldOrder == FieldOrder::TopFirst ? AV_FIELD_TT : AV_FIELD_BB;
    } else {
      c.field_order = AV_FIELD_PROGRESSIVE;
    }
    codecOptions.consume("cannot write '" + path + "': encoder " + std::string(codec->name),
                         [&](AVDictionary** d) {
                           const int rc = avcodec_open2(m_context.get(), codec, d);
                           if (rc < 0) fail("cannot open encoder " + std::string(codec->name) + " for", path, rc);
                           return rc;
                         });
    m_picture = makeAvFrame();
    m_passed = makeAvFrame();
    m_picture->format = m_palette ? AV_PIX_FMT_RGB24 : pixelFormat;
    m_picture->width = options.width;
    m_picture->height = options.height;
    const int rc = av_frame_get_buffer(m_picture.get(), 0);
    if (rc < 0) fail("cannot make picture buffers for", path, rc);
    m_packet = makePacket();
    m_path = path;
  }

  AVCodecContext* context() const { return m_context.get(); }

  template <class OnPacket>
  void encode(const Frame& frame, std::int64_t pts, OnPacket&& onPacket) {
    AVFrame& picture = pictureOf(frame);
    picture.pts = pts;
    if (m_palette) {
      m_palette->add(picture);
      av_frame_unref(m_passed.get());
      return;
    }
    picture.sample_aspect_ratio = m_context->sample_aspect_ratio;
    picture.interlaced_frame = m_fieldOrder != FieldOrder::Progressive;
    picture.top_field_first = m_fieldOrder == FieldOrder::TopFirst;
    picture.colorspace = m_context->colorspace;
    picture.color_range = m_context->color_range;
    picture.color_primaries = m_context->color_primaries;
    picture.color_trc = m_context->color_trc;
    const int rc = avcodec_send_frame(m_context.get(), &picture);
    av_frame_unref(m_passed.get());
    if (rc < 0) fail("cannot encode a frame of", m_path, rc);
    drain(onPacket);
  }

  template <class OnPacket>
  void flush(OnPacket&& onPacket) {
    if (m_palette) {
      m_palette->finish([&](AVFrame& paletted) {
        const int sent = avcodec_send_frame(m_context.get(), &paletted);
        if (sent < 0) fail("cannot encode a frame of", m_path, sent);
        drain(onPacket);
      });
    }
    const int rc = avcodec_send_frame(m_context.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF) fail("cannot finish encoding", m_path, rc);
    drain(onPacket);
  }

public:
  bool usesNative() const { return m_useNative; }

private:
  /// The picture to encode for `frame`: its native picture itself when that is in the encoder's
  /// format and size already, else a conversion (of the native picture, or of the frame's own
  /// pixels) into the encoder's picture buffer.
  AVFrame& pictureOf(const Frame& frame) {
    const NativePicture* native = m_useNative ? frame.native() : nullptr;
    if (native != nullptr && native->shape.format == m_target.format && native->shape.width == m_target.width &&
        native->shape.height == m_target.height) {
      if (av_frame_ref(m_passed.get(), native->picture.get()) < 0) throw std::bad_alloc();
      m_passed->format = m_context->pix_fmt;
      // The decoder's frame type is no instruction to this encoder (libx264 would obey it).
      m_passed->pict_type = AV_PICTURE_TYPE_NONE;
      return *m_passed;
    }
    const int rc = av_frame_make_writable(m_picture.get());
    if (rc < 0) fail("cannot make picture buffers for", m_path, rc);
    if (native != nullptr) {
      m_scaler.convert(native->shape, native->picture->data, native->picture->linesize, m_target, m_picture->data,
                       m_picture->linesize);
    } else {
      m_scaler.fromFrame(frame, *m_picture, m_target);
    }
    return *m_picture;
  }

  template <class OnPacket>
  void drain(OnPacket& onPacket) {
    for (;;) {
      const int rc = avcodec_receive_packet(m_context.get(), m_packet.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
      if (rc < 0) fail("cannot encode", m_path, rc);
      onPacket(*m_packet);
      av_packet_unref(m_packet.get());
    }
  }

  CodecContextPtr m_context;
  std::unique_ptr<PaletteStage> m_palette;  ///< GIF: the clip's palette, applied at the end
  AvFramePtr m_picture;
  AvFramePtr m_passed;  ///< a reference to the native picture being encoded
  bool m_useNative = false;
  PacketPtr m_packet;
  Scaler m_scaler;
  PictureShape m_target;
  FieldOrder m_fieldOrder = FieldOrder::Progressive;
  std::string m_path;
};

std::string formatName(AVPixelFormat format) {
  const char* name = av_get_pix_fmt_name(format);
  return name != nullptr ? name : "unknown";
}

/// The pixel format given by name (SinkOptions::pixelFormat); throws when there is none of that
/// name or `takes` says no.
template <class Takes>
AVPixelFormat namedFormat(const std::string& path, const std::string& who, const std::string& name, Takes&& takes) {
  const AVPixelFormat format = av_get_pix_fmt(name.c_str());
  if (format == AV_PIX_FMT_NONE) throw Error("cannot write '" + path + "': no pixel format named '" + name + "'");
  if (!takes(format)) throw Error("cannot write '" + path + "': " + who + " does not take pixel format " + name);
  return format;
}

/// The encoder's pixel format: the one asked for; else the input's own where the encoder (and the
/// profile, `allowed` when not empty) takes it, else the nearest it takes (with a warning); frames
/// without native pictures get 4:2:0 (or 4:2:2) where taken.
AVPixelFormat chooseVideoFormat(const AVCodec& codec, const SinkOptions& options, const std::string& path,
                                std::vector<std::string>& warnings, const std::vector<AVPixelFormat>& allowed,
                                const std::string& profile) {
  std::vector<AVPixelFormat> taken;
  for (const AVPixelFormat* f = codec.pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f) {
    if (allowed.empty() || std::find(allowed.begin(), allowed.end(), *f) != allowed.end()) taken.push_back(*f);
  }
  if (codec.pix_fmts == nullptr) taken = allowed;
  const auto takes = [&](AVPixelFormat f) {
    return (codec.pix_fmts == nullptr && allowed.empty()) || std::find(taken.begin(), taken.end(), f) != taken.end();
  };
  const std::string who = std::string(codec.name) + (profile.empty() ? "" : " profile " + profile);
  if (!options.pixelFormat.empty()) return namedFormat(path, "encoder " + who, options.pixelFormat, takes);
  std::vector<AVPixelFormat> list = taken;
  list.push_back(AV_PIX_FMT_NONE);
  if (options.native) {
    const AVPixelFormat own = options.native->format;
    if (takes(own)) return own;
    int loss = 0;
    const AVPixelFormat nearest = avcodec_find_best_pix_fmt_of_list(list.data(), own, hasAlpha(own) ? 1 : 0, &loss);
    // A format that holds more (4:2:0 written as 4:2:2) loses nothing and needs no word.
    if (loss != 0) {
      warnings.push_back(who + " does not take the input's pixel format " + formatName(own) + "; writing " +
                         formatName(nearest) + " (--pix-fmt chooses)");
    }
    return nearest;
  }
  const AVPixelFormat wanted = options.chroma422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV420P;
  if (takes(wanted)) return wanted;
  return avcodec_find_best_pix_fmt_of_list(list.data(), toAvPixelFormat(options.format), 0, nullptr);
}

/// The formats FFmpeg's Y4M writer takes (the high-depth ones as an extension that other readers
/// may not know).
constexpr AVPixelFormat kY4mFormats[] = {
    AV_PIX_FMT_YUV420P,     AV_PIX_FMT_YUV422P,     AV_PIX_FMT_YUV444P,     AV_PIX_FMT_YUV411P,
    AV_PIX_FMT_GRAY8,       AV_PIX_FMT_YUV420P9,    AV_PIX_FMT_YUV422P9,    AV_PIX_FMT_YUV444P9,
    AV_PIX_FMT_YUV420P10,   AV_PIX_FMT_YUV422P10,   AV_PIX_FMT_YUV444P10,   AV_PIX_FMT_YUV420P12,
    AV_PIX_FMT_YUV422P12,   AV_PIX_FMT_YUV444P12,   AV_PIX_FMT_YUV420P14,   AV_PIX_FMT_YUV422P14,
    AV_PIX_FMT_YUV444P14,   AV_PIX_FMT_YUV420P16,   AV_PIX_FMT_YUV422P16,   AV_PIX_FMT_YUV444P16,
    AV_PIX_FMT_YUVA444P,    AV_PIX_FMT_GRAY9,       AV_PIX_FMT_GRAY10,      AV_PIX_FMT_GRAY12,
    AV_PIX_FMT_GRAY16,
};

bool y4mTakes(AVPixelFormat format) {
  bool fullRange = false;
  const AVPixelFormat plain = normaliseRange(format, fullRange);
  return std::find(std::begin(kY4mFormats), std::end(kY4mFormats), plain) != std::end(kY4mFormats);
}

/// Y4M keeps the input's own format where it can; else 4:2:2 for 4:2:2 frames (byte-exact) and
/// 4:4:4 for RGB ones.
AVPixelFormat chooseY4mFormat(const SinkOptions& options, const std::string& path, std::vector<std::string>& warnings) {
  if (!options.pixelFormat.empty()) {
    return namedFormat(path, "Y4M", options.pixelFormat, [](AVPixelFormat f) { return y4mTakes(f); });
  }
  const AVPixelFormat fallback = isYuv422(options.format) ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV444P;
  if (!options.native) return fallback;
  bool fullRange = false;
  const AVPixelFormat own = normaliseRange(options.native->format, fullRange);
  if (y4mTakes(own)) return own;
  std::vector<AVPixelFormat> list(std::begin(kY4mFormats), std::end(kY4mFormats));
  list.push_back(AV_PIX_FMT_NONE);
  const AVPixelFormat nearest = avcodec_find_best_pix_fmt_of_list(list.data(), own, hasAlpha(own) ? 1 : 0, nullptr);
  warnings.push_back("Y4M does not take the input's pixel format " + formatName(options.native->format) + "; writing " +
                     formatName(nearest));
  return nearest;
}

void checkSubsampling(const std::string& path, const SinkOptions& options, AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr) return;
  const int across = 1 << desc->log2_chroma_w;
  // Interlaced pictures are subsampled one field at a time: each field needs whole chroma lines.
  // Without vertical subsampling a field may have any number of rows (101 rows: fields of 51 and
  // 50), and the picture is converted whole.
  const bool fieldsSubsampled = options.fieldOrder != FieldOrder::Progressive && desc->log2_chroma_h > 0;
  const int down = (1 << desc->log2_chroma_h) * (fieldsSubsampled ? 2 : 1);
  if (options.width % across != 0 || options.height % down != 0) {
    throw SizeError("cannot write '" + path + "': size " + std::to_string(options.width) + "x" +
                std::to_string(options.height) + " cannot be encoded as " + desc->name + " (width must be a multiple of " +
                std::to_string(across) + ", height of " + std::to_string(down) +
                (fieldsSubsampled ? ": each field of an interlaced picture needs whole chroma rows)" : ")"));
  }
}

// ---------------------------------------------------------------------------------------------

/// Output through an FFmpeg muxer: the video containers, Y4M files and Y4M on standard output.
class StreamSink final : public SinkImpl {
public:
  enum class Kind { Video, Y4m, Stdout };

  StreamSink(const std::string& path, const SinkOptions& options, Kind kind) : SinkImpl(path, options) {
    installLogCapture();
    clearLastLog();
    checkSize(path, options);
    const char* formatName = kind == Kind::Video ? nullptr : "yuv4mpegpipe";
    const AVOutputFormat* format = av_guess_format(formatName, kind == Kind::Video ? path.c_str() : nullptr, nullptr);
    if (format == nullptr) throw Error("cannot write '" + path + "': FFmpeg has no muxer for it");

    // Check the encoder before anything is created on disk.
    const AVCodec* codec = nullptr;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    std::string profile;
    const std::string container = format->name;
    if (kind == Kind::Video) {
      codec = &chooseEncoder(path, options);
      if (!containerTakes(*format, codec->id)) {
        throw Error("cannot write '" + path + "': the " + container + " container does not take " + codec->name);
      }
      checkEncoderSize(*codec, options, path);
      profile = chooseProfile(*codec, options, path);
      std::vector<AVPixelFormat> allowed = profileFormats(*codec, profile);
      // MPEG-2 in MXF is broadcast's 4:2:2 (XDCAM HD422, IMX).
      if (container == "mxf" && codec->id == AV_CODEC_ID_MPEG2VIDEO) allowed = {AV_PIX_FMT_YUV422P};
      // GIF's pictures are made as RGB and paletted at the end (PaletteStage).
      pixelFormat = codec->id == AV_CODEC_ID_GIF ? AV_PIX_FMT_RGB24
                                                 : chooseVideoFormat(*codec, options, path, m_warnings, allowed, profile);
    } else {
      codec = avcodec_find_encoder(AV_CODEC_ID_WRAPPED_AVFRAME);
      pixelFormat = chooseY4mFormat(options, path, m_warnings);
    }
    // A picture's transparency is data a user keeps: its loss goes with what is not kept.
    if (options.native && hasAlpha(options.native->format) && !hasAlpha(pixelFormat)) {
      m_lost.push_back(std::string("the alpha channel (") +
                       (kind == Kind::Video ? std::string(codec->name) + " writes none" : "none in Y4M at this depth") +
                       ")");
    }
    checkSubsampling(path, options, pixelFormat);
    // Y4M shows frames one after another at its rate: there is no timestamp to keep. MXF takes
    // only a time base of one frame at a broadcast rate.
    if (kind != Kind::Video || container == "mxf") m_options.timeBase = AVRational{0, 1};

    std::string url = "pipe:1";
    if (kind != Kind::Stdout) {
      m_file.emplace(path, options.overwrite);
      url = m_file->tempPath();
    }
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, format, nullptr, url.c_str());
    if (rc < 0) fail("cannot write", path, rc);
    m_muxer.reset(raw);
    // Y4M of more than 8 bits is FFmpeg's extension of the format: allowed.
    if (kind != Kind::Video) m_muxer->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    // At normal strictness the MOV muxer labels 10-bit H.264 of the sizes and rates of an
    // intra-only camera format with that format's tag ("ai1q" for 1280x720 4:2:2 at 25 fps), and a
    // decoder then takes its parameter sets from the tag instead of the stream: the file does not
    // play. Below it, the muxer keeps the ordinary tag, which is what the stream is.
    if (kind == Kind::Video && std::string_view(format->name) == "mov" && codec->id == AV_CODEC_ID_H264 &&
        (pixelFormat == AV_PIX_FMT_YUV420P10LE || pixelFormat == AV_PIX_FMT_YUV422P10LE)) {
      m_muxer->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    }
    rc = avio_open(&m_muxer->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) fail("cannot write", path, rc);

    OptionSet codecOptions;
    if (kind == Kind::Video) {
      for (const auto& [key, value] : encoderOptions(*codec, m_options, pixelFormat, profile, path)) {
        codecOptions.set(key, value);
      }
    }
    m_encoder.open(codec, m_options, pixelFormat, (format->flags & AVFMT_GLOBALHEADER) != 0, codecOptions, path, true);

    m_video = avformat_new_stream(m_muxer.get(), nullptr);
    if (m_video == nullptr) throw std::bad_alloc();
    rc = avcodec_parameters_from_context(m_video->codecpar, m_encoder.context());
    if (rc < 0) fail("cannot write", path, rc);
    m_video->time_base = m_encoder.context()->time_base;
    m_video->avg_frame_rate = options.rate;
    m_video->sample_aspect_ratio = options.pixelAspect;
    // Apple's players take HEVC in MP4 and MOV only as hvc1, whose parameter sets are all in the
    // sample description (the encoder writes them there: global header); FFmpeg's default is hev1.
    if (kind == Kind::Video && codec->id == AV_CODEC_ID_HEVC && (container == "mp4" || container == "mov")) {
      m_video->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    }
    keepHdrMetadata(*codec, container, kind == Kind::Video);
    if (kind != Kind::Video && options.native) nameUnkeptColourTags(*options.native);

    if (options.copyFrom) {
      if (kind == Kind::Video) {
        m_copier = std::make_unique<StreamCopier>(*options.copyFrom, *m_muxer, *m_video, path);
        const std::vector<std::string>& notes = m_copier->notes();
        m_warnings.insert(m_warnings.end(), notes.begin(), notes.end());
      } else {
        m_lost.push_back("every stream but the video (Y4M holds pictures only)");
      }
    }

    OptionSet muxerOptions;
    if (std::string_view(format->name) == "mp4" || std::string_view(format->name) == "mov") {
      // Index at the front, so the file plays while it downloads.
      muxerOptions.set("movflags", "+faststart");
    }
    muxerOptions.consume("cannot write '" + path + "': muxer " + std::string(format->name), [&](AVDictionary** d) {
      const int result = avformat_write_header(m_muxer.get(), d);
      if (result < 0) fail("cannot write the header of", path, result);
      return result;
    });
  }

  bool encodesNative() const override { return m_encoder.usesNative(); }

  void writeFrame(const Frame& frame) override {
    // An output that another program makes meanwhile would refuse this one's rename at the end:
    // the render stops when it appears, not after all its work.
    if (m_file && m_written % kTargetCheckInterval == 0) m_file->checkTargetStillFree();
    m_encoder.encode(frame, presentationTime(frame), [&](AVPacket& packet) { writeVideo(packet); });
  }

  void finish() override {
    m_encoder.flush([&](AVPacket& packet) { writeVideo(packet); });
    if (m_copier) {
      const CopyFrom& from = *m_options.copyFrom;
      const bool partDone = from.frameLimit && m_written >= *from.frameLimit;
      // MXF wraps sound in the video's edit units: what runs on past the last frame has no place.
      const bool soundEndsWithVideo = std::string_view(m_muxer->oformat->name) == "mxf";
      const bool cut = from.shortest || partDone || soundEndsWithVideo;
      m_copier->finish(cut ? videoEnd() : std::numeric_limits<double>::infinity(), cut && !partDone);
      m_lost.insert(m_lost.end(), m_copier->lost().begin(), m_copier->lost().end());
      if (!m_copier->cut().empty()) {
        if (from.shortest) m_warnings.push_back("cut where the video ends (--shortest): " + m_copier->cut());
        else m_lost.push_back(m_copier->cut() + " after the last frame (MXF holds sound only beside the video)");
      }
      const std::vector<std::string>& notes = m_copier->notes();
      for (const std::string& note : notes) {
        if (std::find(m_warnings.begin(), m_warnings.end(), note) == m_warnings.end()) m_warnings.push_back(note);
      }
    }
    int rc = av_write_trailer(m_muxer.get());
    if (rc < 0) fail("cannot finish", m_path, rc);
    avio_flush(m_muxer->pb);
    if (m_muxer->pb->error < 0) fail("cannot write", m_path, m_muxer->pb->error);
    rc = avio_closep(&m_muxer->pb);
    if (rc < 0) fail("cannot write", m_path, rc);
    if (m_file) m_file->commit();
  }

private:
  bool keepsTimestamps() const { return m_options.timeBase.num > 0; }

  /// The input's HDR10 metadata as stream side data, where the container writes it; where it
  /// does not and the encoder does not write it into the stream either, it is named as lost.
  void keepHdrMetadata(const AVCodec& codec, const std::string& container, bool video) {
    const HdrMetadata& hdr = m_options.hdr;
    if (hdr.empty()) return;
    const bool boxes = container == "mp4" || container == "mov" || container == "matroska" || container == "webm";
    if (video && boxes) {
      if (hdr.mastering) addSideData(AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &*hdr.mastering, sizeof *hdr.mastering);
      if (hdr.light) addSideData(AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &*hdr.light, sizeof *hdr.light);
      return;
    }
    if (video && writesHdrInStream(codec)) return;
    m_lost.push_back(std::string("the HDR10 metadata (") +
                     (video ? container + " has no place for it, nor has " + codec.name + "'s stream"
                            : "Y4M holds pictures only") +
                     ")");
  }

  /// Y4M says the range only. Pictures whose primaries or transfer are not those every reader
  /// assumes (BT.2020, PQ, HLG) change their meaning without their tags: that is named.
  void nameUnkeptColourTags(const PictureColour& colour) {
    const bool wide = colour.primaries == AVCOL_PRI_BT2020;
    const bool hdr = colour.transfer == AVCOL_TRC_SMPTE2084 || colour.transfer == AVCOL_TRC_ARIB_STD_B67;
    if (!wide && !hdr) return;
    const char* primaries = av_color_primaries_name(colour.primaries);
    const char* transfer = av_color_transfer_name(colour.transfer);
    m_lost.push_back(std::string("the colour tags (") + (primaries != nullptr ? primaries : "?") + " primaries, " +
                     (transfer != nullptr ? transfer : "?") + " transfer: Y4M has no place for them)");
  }

  void addSideData(AVPacketSideDataType type, const void* data, std::size_t size) {
    auto* copy = av_stream_new_side_data(m_video, type, size);
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, data, size);
  }

  /// The frame's time on the output's clock, in the encoder's time base: its own timestamp less
  /// the origin where timestamps are kept (always later than the frame before), else its place.
  std::int64_t presentationTime(const Frame& frame) {
    const bool stamped = keepsTimestamps() && frame.timestamp() != Frame::kNoTimestamp;
    if (m_written == 0) {
      m_origin = stamped ? frame.timestamp() : 0;
      if (m_copier) startCopier(stamped ? frame.timestamp() : Frame::kNoTimestamp);
    }
    if (!stamped) return m_written;
    std::int64_t pts = frame.timestamp() - m_origin;
    if (m_written > 0 && pts <= m_lastPts) pts = m_lastPts + 1;
    m_lastPts = pts;
    return pts;
  }

  /// Fixes output time 0 when the first frame comes: that frame for a part of the input, else
  /// the earliest start of the streams, so that each keeps its place against the video.
  void startCopier(std::int64_t firstTimestamp) {
    const CopyFrom& from = *m_options.copyFrom;
    if (firstTimestamp == Frame::kNoTimestamp) {
      // Frames without timestamps follow each other from the first frame's time.
      const AVRational micro = AV_TIME_BASE_Q;
      const auto first = static_cast<std::int64_t>(std::llround(from.firstFrameTime * AV_TIME_BASE));
      m_copier->start(from.fromFirstFrame ? first : std::min(first, m_copier->earliestStart(micro)), micro,
                      from.fromFirstFrame);
      return;
    }
    m_origin = firstTimestamp;
    if (!from.fromFirstFrame) m_origin = std::min(m_origin, m_copier->earliestStart(m_options.timeBase));
    m_copier->start(m_origin, m_options.timeBase, from.fromFirstFrame);
  }

  /// Output seconds at which the video ends: the last frame's time plus one frame at the rate.
  double videoEnd() const {
    const double frame = av_q2d(av_inv_q(m_options.rate));
    if (!keepsTimestamps()) return static_cast<double>(m_written) * frame;
    return static_cast<double>(m_lastPts) * av_q2d(m_options.timeBase) + frame;
  }

  void writeVideo(AVPacket& packet) {
    av_packet_rescale_ts(&packet, m_encoder.context()->time_base, m_video->time_base);
    packet.stream_index = m_video->index;
    const std::int64_t stamp = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    const double seconds = stamp == AV_NOPTS_VALUE ? 0 : static_cast<double>(stamp) * av_q2d(m_video->time_base);
    const int rc = av_interleaved_write_frame(m_muxer.get(), &packet);
    if (rc < 0) fail("cannot write", m_path, rc);
    // The other streams go in only as far as the video has come: where it ends is known at commit.
    if (m_copier) m_copier->pump(seconds);
  }

  // Declared first so that it goes last: the muxer closes its file before the temporary goes.
  std::optional<PendingFile> m_file;
  OutputContextPtr m_muxer;
  Encoder m_encoder;
  AVStream* m_video = nullptr;

  std::unique_ptr<StreamCopier> m_copier;  ///< after the muxer: it writes into it until the end
  std::int64_t m_origin = 0;   ///< timestamp of the frames' clock that is output time 0
  std::int64_t m_lastPts = 0;  ///< presentation time of the last frame written
};

// ---------------------------------------------------------------------------------------------

/// PNG pictures (RGBA, or RGB without alpha): one file, or one file per frame named by a %d pattern.
class PngSink final : public SinkImpl {
public:
  PngSink(const std::string& path, const SinkOptions& options) : SinkImpl(path, options) {
    installLogCapture();
    clearLastLog();
    checkSize(path, options);
    m_sequence = isSequencePattern(path);
    if (m_sequence) {
      clearStaleParts(path);
      char name[4096];
      if (av_get_frame_filename2(name, sizeof name, path.c_str(), options.firstNumber, 0) < 0) {
        throw Error("cannot write '" + path + "': a sequence name needs exactly one %d pattern");
      }
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr) throw Error("cannot write '" + path + "': FFmpeg has no PNG encoder");
    OptionSet codecOptions;
    SinkOptions progressive = options;
    progressive.fieldOrder = FieldOrder::Progressive;
    progressive.timeBase = AVRational{0, 1};  // the pictures' numbers pick their files
    m_encoder.open(codec, progressive, options.keepAlpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24, false, codecOptions,
                   path);
    // A single picture's file is reserved now, so that a missing folder or an existing file is
    // reported before any work is done.
    if (!m_sequence) m_files.emplace_back(path, options.overwrite);
  }

  std::int64_t maxFrames() const override { return m_sequence ? -1 : 1; }

  void writeFrame(const Frame& frame) override {
    if (m_sequence) {
      char name[4096];
      const auto number = m_options.firstNumber + static_cast<int>(m_written);
      if (av_get_frame_filename2(name, sizeof name, m_path.c_str(), number, 0) < 0) {
        throw Error("cannot write '" + m_path + "': no file name for picture " + std::to_string(number));
      }
      m_files.emplace_back(name, m_options.overwrite, /*clearStale=*/false);
    }
    m_encoder.encode(frame, m_written, [&](AVPacket& packet) { save(packet); });
  }

  void finish() override {
    if (m_files.empty()) throw Error("cannot write '" + m_path + "': no picture was written");
    m_encoder.flush([&](AVPacket& packet) { save(packet); });
    try {
      for (PendingFile& file : m_files) file.commit();
    } catch (...) {
      // All or nothing: pictures already named are taken back, unless they replaced old ones.
      if (!m_options.overwrite) {
        for (PendingFile& file : m_files) file.withdraw();
      }
      throw;
    }
  }

private:
  /// Stores a packet in the file of its picture: with frame threads the encoder hands packets
  /// back later than their frames, so the time stamp (the picture's number) picks the file.
  void save(const AVPacket& packet) {
    if (packet.pts < 0 || static_cast<std::size_t>(packet.pts) >= m_files.size()) {
      throw Error("cannot write '" + m_path + "': the PNG encoder returned an unknown picture");
    }
    const PendingFile& file = m_files[static_cast<std::size_t>(packet.pts)];
    std::FILE* out = std::fopen(file.tempPath().c_str(), "wb");
    if (out == nullptr) throw Error("cannot write '" + file.target() + "': " + std::strerror(errno));
    const bool written = std::fwrite(packet.data, 1, static_cast<std::size_t>(packet.size), out) ==
                         static_cast<std::size_t>(packet.size);
    const int savedErrno = errno;
    if (std::fclose(out) != 0 || !written) {
      throw Error("cannot write '" + file.target() + "': " + std::strerror(written ? errno : savedErrno));
    }
  }

  bool m_sequence = false;
  Encoder m_encoder;
  std::vector<PendingFile> m_files;
};

}  // namespace

std::optional<CopyFrom> CopyFrom::of(const VideoSource& source, std::int64_t k) {
  const SourceInfo& info = source.info();
  if (info.kind != SourceKind::Video) return std::nullopt;
  CopyFrom from;
  from.path = info.path;
  from.fromFirstFrame = k > 0;
  from.firstFrameTime = source.timeOfFrame(k);
  from.firstFrame = k;
  return from;
}

VideoSink::VideoSink(const std::string& path, const SinkOptions& options) {
  if (path == "-") {
    m_impl = std::make_unique<StreamSink>(path, options, StreamSink::Kind::Stdout);
    return;
  }
  const std::string ext = extensionOf(path);
  if (!defaultEncoderFor(path).empty()) {
    m_impl = std::make_unique<StreamSink>(path, options, StreamSink::Kind::Video);
  } else if (ext == "y4m") {
    m_impl = std::make_unique<StreamSink>(path, options, StreamSink::Kind::Y4m);
  } else if (ext == "png") {
    m_impl = std::make_unique<PngSink>(path, options);
  } else {
    throw Error("cannot write '" + path + "': unknown output type (use .mp4, .mkv, .mov, .webm, .mxf, .gif, .y4m, .png or -)");
  }
}

VideoSink::VideoSink(VideoSink&&) noexcept = default;
VideoSink& VideoSink::operator=(VideoSink&&) noexcept = default;
VideoSink::~VideoSink() = default;

void VideoSink::write(const Frame& frame) { m_impl->write(frame); }
void VideoSink::commit() { m_impl->commit(); }
std::int64_t VideoSink::maxFrames() const { return m_impl->maxFrames(); }
bool VideoSink::encodesNativePictures() const { return m_impl->encodesNative(); }
std::int64_t VideoSink::framesWritten() const { return m_impl->m_written; }
const std::vector<std::string>& VideoSink::warnings() const { return m_impl->m_warnings; }
const std::vector<std::string>& VideoSink::lost() const { return m_impl->m_lost; }

bool takesDisplayMatrix(const std::string& path) {
  const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
  return format != nullptr && detail::takesDisplayMatrix(*format);
}

bool detail::takesDisplayMatrix(const AVOutputFormat& format) {
  const std::string_view name(format.name);
  return name == "mov" || name == "mp4";
}

bool isVideoEncoder(const std::string& name) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  return codec != nullptr && codec->type == AVMEDIA_TYPE_VIDEO;
}

}  // namespace zel::media
