#pragma once
// Owning handles and small helpers over the FFmpeg libraries, shared by the source and the sink.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "media/Frame.h"

namespace zel::media::detail {

struct InputContextDeleter {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
/// Closes its I/O (when the muxer owns a file) and frees the context.
struct OutputContextDeleter {
  void operator()(AVFormatContext* p) const;
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct AvFrameDeleter {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct DictionaryDeleter {
  void operator()(AVDictionary* p) const { av_dict_free(&p); }
};

using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;

AvFramePtr makeAvFrame();
PacketPtr makePacket();

/// The extension of a file name in lower case ("mp4"), "" when it has none.
std::string extensionOf(const std::string& path);

/// True when the muxer writes streams of `codec`. avformat_query_codec answers for most; the MXF
/// muxer lists only its default codecs there, and takes MPEG-2, DNxHD, H.264 and DV video and 16-
/// or 24-bit PCM (at 48 kHz, which StreamCopier checks).
bool containerTakes(const AVOutputFormat& format, AVCodecID codec);

/// True when pictures of `format` carry an alpha channel.
bool hasAlpha(AVPixelFormat format);

/// FFmpeg's text for an AVERROR code ("No such file or directory").
std::string errorText(int errnum);

/// Routes FFmpeg's log into the media layer, once per process: nothing is printed unless
/// setVerbose(true); messages of error level are kept per thread so that an Error can quote the
/// library's own explanation.
void installLogCapture();
void clearLastLog();
/// The last error-level message FFmpeg logged on this thread since clearLastLog, or "".
std::string lastLog();

/// Builds the message "<what> '<path>': <FFmpeg error text>[ (<last logged error>)]".
std::string describe(const std::string& what, const std::string& path, int errnum);
[[noreturn]] void fail(const std::string& what, const std::string& path, int errnum);

AVPixelFormat toAvPixelFormat(FrameFormat format);

/// A tag field as FFmpeg filled it in from a file. Demuxers store whatever number the file holds,
/// which need not be a value of the enumeration, and reading such a field as the enumeration is
/// undefined: the field is read as a number, and anything outside [0, count) reads as `unknown`.
template <typename Enum>
Enum tagOf(const Enum& field, Enum count, Enum unknown) {
  static_assert(sizeof(Enum) == sizeof(int), "FFmpeg's tag enumerations are stored as int");
  int value = 0;
  std::memcpy(&value, &field, sizeof value);
  return value >= 0 && value < static_cast<int>(count) ? static_cast<Enum>(value) : unknown;
}

/// One side of a conversion: geometry, pixel format and, for Y'CbCr, the matrix (an AVColorSpace
/// value; unspecified means BT.601) and whether the samples use the full 0..255 range.
struct PictureShape {
  int width = 0;
  int height = 0;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  int colorspace = AVCOL_SPC_UNSPECIFIED;
  bool fullRange = false;
  /// The picture holds two fields: it is converted one field at a time, so that chroma
  /// subsampling and scaling never mix lines of different instants.
  bool interlaced = false;

  bool operator==(const PictureShape&) const = default;
};

/// A swscale conversion whose context is made when the shapes change and kept otherwise. Between
/// two Y'CbCr formats the samples are repacked (and resampled where the chroma layout differs)
/// without a detour through RGB and without a change of range, so 4:2:2 data stays byte-exact.
class Scaler {
public:
  void convert(const PictureShape& source, const std::uint8_t* const sourcePlanes[], const int sourceStrides[],
               const PictureShape& target, std::uint8_t* const targetPlanes[], const int targetStrides[]);

  /// Conversions between a Frame and an AVFrame of the shapes given.
  void toFrame(const AVFrame& picture, const PictureShape& source, Frame& frame);
  /// toFrame for rows [first, end) of a picture of the frame's size, converted as a picture of
  /// their own. `first` must be a multiple of 4 (a whole row of chroma samples in each field).
  void toFrameRows(const AVFrame& picture, const PictureShape& source, Frame& frame, int first, int end);
  void fromFrame(const Frame& frame, AVFrame& picture, const PictureShape& target);

private:
  SwsPtr m_context;
  PictureShape m_source;
  PictureShape m_target;
};

/// True when the pixel format stores Y'CbCr with chroma (not RGB, not grey, not a palette).
bool isYuvFormat(AVPixelFormat format);
/// The yuvj* formats are plain Y'CbCr at full range; this maps them to the plain format and sets
/// fullRange, so that range travels in one place only.
AVPixelFormat normaliseRange(AVPixelFormat format, bool& fullRange);

}  // namespace zel::media::detail
