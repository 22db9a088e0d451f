#include "media/detail/FFmpeg.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "media/Error.h"

namespace zel::media {

namespace {

std::atomic<bool> g_printLog{false};
thread_local std::string t_lastLog;

void logCallback(void* avcl, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING) return;
  char line[1024];
  int printPrefix = 1;
  av_log_format_line2(avcl, level, format, args, line, sizeof line, &printPrefix);
  if (g_printLog.load(std::memory_order_relaxed)) std::fputs(line, stderr);
  if (level <= AV_LOG_ERROR) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // Keep the message without the "[context @ 0x...] " prefix: the caller names the file.
    if (const auto end = text.find("] "); text.rfind('[', 0) == 0 && end != std::string::npos) text.erase(0, end + 2);
    // An encoder opened on frame threads reports its own reason first and then that its threads
    // failed: the reason is what the user needs.
    const bool echo = text == "ff_frame_thread_encoder_init failed" && !t_lastLog.empty();
    if (!text.empty() && !echo) t_lastLog = std::move(text);
  }
}

}  // namespace

void setLibraryLogging(bool on) {
  detail::installLogCapture();
  g_printLog.store(on, std::memory_order_relaxed);
}

namespace detail {

void OutputContextDeleter::operator()(AVFormatContext* p) const {
  if (p == nullptr) return;
  if (p->oformat != nullptr && (p->oformat->flags & AVFMT_NOFILE) == 0) avio_closep(&p->pb);
  avformat_free_context(p);
}

AvFramePtr makeAvFrame() {
  AvFramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

PacketPtr makePacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

std::string extensionOf(const std::string& path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool hasAlpha(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc != nullptr && (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool containerTakes(const AVOutputFormat& format, AVCodecID codec) {
  if (std::string_view(format.name) == "mxf") {
    for (const AVCodecID taken : {AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_DNXHD, AV_CODEC_ID_H264, AV_CODEC_ID_DVVIDEO,
                                  AV_CODEC_ID_PCM_S16LE, AV_CODEC_ID_PCM_S24LE}) {
      if (codec == taken) return true;
    }
    return false;
  }
  return avformat_query_codec(&format, codec, FF_COMPLIANCE_NORMAL) == 1;
}

std::string errorText(int errnum) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(errnum, text, sizeof text);
  return text;
}

void installLogCapture() {
  static std::once_flag once;
  std::call_once(once, [] {
    av_log_set_level(AV_LOG_WARNING);
    av_log_set_callback(logCallback);
  });
}

void clearLastLog() { t_lastLog.clear(); }
std::string lastLog() { return t_lastLog; }

std::string describe(const std::string& what, const std::string& path, int errnum) {
  std::string message = what + " '" + path + "': " + errorText(errnum);
  if (!t_lastLog.empty() && t_lastLog != errorText(errnum)) message += " (" + t_lastLog + ")";
  if (errnum == AVERROR(ENOMEM)) message += " (a damaged file can ask for more memory than there is)";
  return message;
}

void fail(const std::string& what, const std::string& path, int errnum) {
  // FFmpeg answers a header that asks for an absurd size with "out of memory" too: to the user
  // that is a file that cannot be read or written, said in one line like any other, not a crash.
  throw Error(describe(what, path, errnum));
}

AVPixelFormat toAvPixelFormat(FrameFormat format) {
  switch (format) {
    case FrameFormat::Rgba: return AV_PIX_FMT_RGBA;
    case FrameFormat::Uyvy: return AV_PIX_FMT_UYVY422;
    case FrameFormat::Yuy2: return AV_PIX_FMT_YUYV422;
  }
  return AV_PIX_FMT_RGBA;
}

bool isYuvFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr) return false;
  return (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0 && desc->nb_components >= 3;
}

AVPixelFormat normaliseRange(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
  }
}

void Scaler::convert(const PictureShape& source, const std::uint8_t* const sourcePlanes[], const int sourceStrides[],
                     const PictureShape& target, std::uint8_t* const targetPlanes[], const int targetStrides[]) {
  if (source.format == target.format && source.width == target.width && source.height == target.height) {
    // Nothing to convert: the samples are copied line by line. swscale's own copy of a packed
    // format moves a whole block of height x stride bytes when both strides match, which for a
    // field (every other line, so twice the stride) runs one line past the end of the picture.
    std::uint8_t* to[4] = {targetPlanes[0], targetPlanes[1], targetPlanes[2], targetPlanes[3]};
    int toStrides[4] = {targetStrides[0], targetStrides[1], targetStrides[2], targetStrides[3]};
    const std::uint8_t* from[4] = {sourcePlanes[0], sourcePlanes[1], sourcePlanes[2], sourcePlanes[3]};
    av_image_copy(to, toStrides, from, sourceStrides, source.format, source.width, source.height);
    return;
  }
  const bool byField = source.interlaced && source.height % 2 == 0 && target.height % 2 == 0;
  const int fields = byField ? 2 : 1;
  if (!m_context || !(source == m_source) || !(target == m_target)) {
    m_context.reset();
    const bool repack = isYuvFormat(source.format) && isYuvFormat(target.format);
    // Repacking Y'CbCr at one size takes swscale's unscaled copy loops only with the fast
    // filter (4:2:0 to UYVY: 0.5 ms instead of 12 ms at 1080p; 4:2:0 chroma lines are then
    // repeated rather than interpolated). Everything else is filtered properly; the full-chroma
    // flags keep RGB <-> Y'CbCr conversions from subsampling twice. SWS_ACCURATE_RND is left
    // out on purpose: it sends 4:2:0 to RGB down a path thirty times slower for +-1 rounding.
    const bool sameSize = source.width == target.width && source.height == target.height;
    const int flags = repack && sameSize ? SWS_FAST_BILINEAR
                                         : SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
    m_context.reset(sws_getContext(source.width, source.height / fields, source.format, target.width,
                                   target.height / fields, target.format, flags, nullptr, nullptr, nullptr));
    if (!m_context) {
      throw Error(std::string("cannot convert pictures from ") + av_get_pix_fmt_name(source.format) + " to " +
                  av_get_pix_fmt_name(target.format));
    }
    const int sourceRange = source.fullRange ? 1 : 0;
    // Between Y'CbCr formats the samples pass unchanged: no range or matrix conversion.
    const int targetRange = repack ? sourceRange : (target.fullRange ? 1 : 0);
    const int targetSpace = repack ? source.colorspace : target.colorspace;
    sws_setColorspaceDetails(m_context.get(), sws_getCoefficients(source.colorspace), sourceRange,
                             sws_getCoefficients(targetSpace), targetRange, 0, 1 << 16, 1 << 16);
    m_source = source;
    m_target = target;
  }
  if (fields == 1) {
    sws_scale(m_context.get(), sourcePlanes, sourceStrides, 0, source.height, targetPlanes, targetStrides);
    return;
  }
  // A field is every other line: start one line down for the second, and step two lines.
  for (int field = 0; field < 2; ++field) {
    const std::uint8_t* fieldSource[4] = {};
    std::uint8_t* fieldTarget[4] = {};
    int fieldSourceStrides[4] = {};
    int fieldTargetStrides[4] = {};
    for (int plane = 0; plane < 4; ++plane) {
      if (sourcePlanes[plane] != nullptr) {
        fieldSource[plane] = sourcePlanes[plane] + field * sourceStrides[plane];
        fieldSourceStrides[plane] = sourceStrides[plane] * 2;
      }
      if (targetPlanes[plane] != nullptr) {
        fieldTarget[plane] = targetPlanes[plane] + field * targetStrides[plane];
        fieldTargetStrides[plane] = targetStrides[plane] * 2;
      }
    }
    sws_scale(m_context.get(), fieldSource, fieldSourceStrides, 0, source.height / 2, fieldTarget, fieldTargetStrides);
  }
}

namespace {

/// The shape of `rows` rows of a frame made from a picture of shape `source`: Y'CbCr keeps its
/// matrix and range when repacked; RGB becomes video-range BT.601 Y'CbCr.
PictureShape frameShapeFor(const PictureShape& source, const Frame& frame, int rows) {
  const bool keep = isYuvFormat(source.format);
  return PictureShape{frame.width(), rows, toAvPixelFormat(frame.format()),
                      keep ? source.colorspace : AVCOL_SPC_UNSPECIFIED, keep && source.fullRange, source.interlaced};
}

}  // namespace

void Scaler::toFrame(const AVFrame& picture, const PictureShape& source, Frame& frame) {
  const PictureShape target = frameShapeFor(source, frame, frame.height());
  std::uint8_t* planes[4] = {frame.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(frame.stride()), 0, 0, 0};
  convert(source, picture.data, picture.linesize, target, planes, strides);
}

void Scaler::toFrameRows(const AVFrame& picture, const PictureShape& source, Frame& frame, int first, int end) {
  const bool whole = first == 0 && end == frame.height();
  if (whole || source.width != frame.width() || source.height != frame.height()) {
    toFrame(picture, source, frame);
    return;
  }
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(source.format);
  if (d == nullptr) throw Error("internal error: a picture of unknown format");
  // Planes 1 and 2 hold the subsampled chroma (FFmpeg's own convention for every format).
  const std::uint8_t* planes[4] = {};
  for (int plane = 0; plane < 4; ++plane) {
    if (picture.data[plane] == nullptr) continue;
    const int row = plane == 1 || plane == 2 ? first >> d->log2_chroma_h : first;
    planes[plane] = picture.data[plane] + static_cast<std::ptrdiff_t>(row) * picture.linesize[plane];
  }
  PictureShape rows = source;
  rows.height = end - first;
  const PictureShape target = frameShapeFor(source, frame, end - first);
  std::uint8_t* targetPlanes[4] = {frame.row(first), nullptr, nullptr, nullptr};
  const int targetStrides[4] = {static_cast<int>(frame.stride()), 0, 0, 0};
  convert(rows, planes, picture.linesize, target, targetPlanes, targetStrides);
}

void Scaler::fromFrame(const Frame& frame, AVFrame& picture, const PictureShape& target) {
  PictureShape source{frame.width(), frame.height(), toAvPixelFormat(frame.format()), target.colorspace,
                      target.fullRange, target.interlaced};
  const std::uint8_t* planes[4] = {frame.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(frame.stride()), 0, 0, 0};
  convert(source, planes, strides, target, picture.data, picture.linesize);
}

}  // namespace detail
}  // namespace zel::media
