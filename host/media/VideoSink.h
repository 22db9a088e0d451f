#pragma once
// Writing pictures: H.264 (or another encoder) in MP4/MKV/MOV, lossless Y4M, PNG.

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/Frame.h"
#include "media/SampleCoding.h"
#include "media/VideoCoding.h"

namespace zel::media {

class VideoSource;

namespace detail {
class SinkImpl;
}

/// What becomes of the input's audio streams in a video container.
enum class AudioMode {
  Auto,    ///< copied where the container takes the codec, else encoded to its usual audio codec
  Copy,    ///< copied; a stream the container does not take is left out (and named)
  Encode,  ///< decoded and encoded to the container's usual audio codec
  None,    ///< left out
};

/// The rest of an input, carried into a video container beside the rendered video as a user of
/// `ffmpeg -map 0` expects: every audio, subtitle and data stream the container takes, at its
/// whole length (packets copied, not decoded; audio encoded where the container needs it), the
/// file's metadata and
/// chapters, and the video stream's metadata and display matrix (rotation). What the container
/// cannot take is named in VideoSink::lost().
struct CopyFrom {
  std::string path;
  /// False: output time 0 is the earliest start of the input's streams, so every stream keeps
  /// its place against the video (a lead-in, a late start). True (a part of the input): output
  /// time 0 is the first frame written, and what comes before it is dropped.
  bool fromFirstFrame = false;
  /// Seconds on the input's clock of the first frame written, as far as known when the output
  /// opens: where chapters of a part start.
  double firstFrameTime = 0;
  /// Index of the first frame written: a part's time code starts there.
  std::int64_t firstFrame = 0;
  AudioMode audio = AudioMode::Auto;
  /// Every stream ends where the video ends, and a note says how much of each was cut. Without
  /// it each keeps its whole length, as `ffmpeg -map 0` keeps it: sound, subtitles and data
  /// after the last frame are written.
  bool shortest = false;
  /// The render is a part of at most this many frames (a chunk of a longer file): once they are
  /// all written, the other streams end where the video ends, so that parts join up. When the
  /// input ends first they keep the rest.
  std::optional<std::int64_t> frameLimit;

  /// The rest of `source` for a render of its frames k, k+1, ...; nullopt for a source that is
  /// not a video file.
  static std::optional<CopyFrom> of(const VideoSource& source, std::int64_t k = 0);
};

/// The stream a sink writes. Size, rate and format describe the frames passed to write().
struct SinkOptions {
  int width = 0;
  int height = 0;
  AVRational rate{25, 1};
  /// Unit of Frame::timestamp() of the frames written. Set (num > 0), a video container shows
  /// each frame at its own timestamp, so a variable rate stays variable; unset, frames follow
  /// each other at `rate`. Y4M and PNG always do the latter.
  AVRational timeBase{0, 1};
  FrameFormat format = FrameFormat::Rgba;
  FieldOrder fieldOrder = FieldOrder::Progressive;  ///< marked in the stream; interlaced coding
  AVRational pixelAspect{1, 1};
  /// Encoder of a video container (an FFmpeg encoder name); empty: the container's own
  /// (defaultEncoderFor: libx264 for .mp4 .mkv .mov, libvpx-vp9 for .webm, ...).
  std::string codec;
  /// The encoder's profile by name ("lt", "dnxhr_hq", "high10", "main10"); empty: the input's own
  /// for an intra-only input coded with the same codec (sourceCoding), else the encoder's
  /// default. A name the encoder does not take is an error that lists those it does.
  std::string profile;
  /// How the input's video is coded, so that an intra-only input re-encoded with its own codec
  /// keeps its profile (and DNxHD its bit rate).
  std::optional<VideoCoding> sourceCoding;
  /// The input's HDR10 metadata: written into the output's stream where the container keeps it
  /// (MP4, MOV, Matroska, WebM) and given to the encoders that write it themselves (libx265,
  /// libsvtav1, libx264's SEI); where neither can, it is named in lost().
  HdrMetadata hdr;
  /// Encoders that print on their own (libx265, libsvtav1) print only errors; otherwise they
  /// print warnings too. (Encoders that log through FFmpeg follow setLibraryLogging.)
  bool quietEncoders = false;
  /// Encode 4:2:2 (yuv422p) instead of 4:2:0 (yuv420p) in .mp4/.mkv/.mov, for frames without
  /// native pictures.
  bool chroma422 = false;
  /// The pixel format and colour tags of the input, when its frames carry their decoded
  /// pictures (SourceInfo::nativeColour): .mp4/.mkv/.mov and Y4M then encode those pictures in
  /// that format and with those tags where the encoder takes it, else in the nearest format it
  /// takes (with a warning); the frame's own pixels are not used.
  std::optional<PictureColour> native;
  /// The pixel format to encode in, as FFmpeg names it ("yuv422p10le"); empty: as above.
  std::string pixelFormat;
  /// Options of a video container's encoder, as FFmpeg names them ("preset", "crf", "b",
  /// "x265-params"). Where no rate control or speed is given, the encoder gets the defaults
  /// encoderDefaultLines() lists (libx264 crf 23 and preset "medium", as FFmpeg's own). An option
  /// the encoder does not know is an error. Y4M and PNG have nothing to tune and ignore them.
  std::map<std::string, std::string> codecOptions;
  bool overwrite = false;  ///< replace an existing output (else opening fails)
  std::optional<CopyFrom> copyFrom;  ///< the rest of the input, for a video container
  int firstNumber = 1;  ///< number of the first picture of a PNG sequence
  /// .png: write the frames' alpha (RGBA pictures). False writes opaque RGB pictures, for frames
  /// made from a source without alpha, whose alpha bytes mean nothing to a viewer.
  bool keepAlpha = true;
};

/// Writes frames to a file chosen by the name's extension:
///   .mp4 .mkv .mov  H.264 through libx264 (or SinkOptions::codec), 4:2:0 or 4:2:2, with what
///                   SinkOptions::copyFrom keeps of the input;
///   .y4m            uncompressed 4:2:2 (yuv422p) when the frames are Uyvy/Yuy2, which keeps
///                   them byte-exact, else 4:4:4 (yuv444p) from RGB (BT.601, video range);
///   .png            one RGBA picture, or a numbered sequence when the name holds a %d pattern;
///   "-"             Y4M to standard output.
/// Y4M goes through FFmpeg's own yuv4mpegpipe muxer rather than a writer of ours: every output
/// then shares one muxing path (temporary file, standard output, error reporting), and the
/// interlace, aspect and colour-range tags are written exactly as FFmpeg's reader and other
/// tools expect them.
/// Interlaced field order is marked in the stream (and coded interlaced by H.264).
/// Everything is written to a temporary file beside the target and renamed on commit(); a sink
/// destroyed without commit() removes what it wrote. An existing output is refused unless
/// SinkOptions::overwrite. Every failure throws Error. One thread at a time uses a sink.
class VideoSink {
public:
  /// Opens the output. Throws Error for an unknown extension, a folder that does not exist, an
  /// existing target without overwrite, an unknown encoder or option, or a frame size the
  /// encoding cannot take (4:2:0 needs an even width and height, 4:2:2 an even width).
  VideoSink(const std::string& path, const SinkOptions& options);
  VideoSink(VideoSink&&) noexcept;
  VideoSink& operator=(VideoSink&&) noexcept;
  ~VideoSink();

  /// Encodes one frame; frames are shown in the order written, at the sink's rate. The frame's
  /// size and format must be those of the options. Throws Error otherwise, for a second picture
  /// into a single PNG, or when encoding or writing fails.
  void write(const Frame& frame);
  /// Flushes the encoder, writes the rest of the audio and the trailer, and moves the output to
  /// its name. After commit() the sink takes no more frames.
  void commit();

  /// Most frames this output holds: 1 for a single PNG, -1 for no limit.
  std::int64_t maxFrames() const;
  /// True when frames that carry a native picture are written from it, never from their own
  /// pixels (SinkOptions::native): their pixels need only be made where an effect draws.
  bool encodesNativePictures() const;
  std::int64_t framesWritten() const;
  /// Notes on what was changed on the way (an audio stream encoded for the container).
  const std::vector<std::string>& warnings() const;
  /// What of the input was left out (a stream the container does not take, rotation in a
  /// container without it), each as a short phrase; whole once the sink is committed.
  const std::vector<std::string>& lost() const;

private:
  std::unique_ptr<detail::SinkImpl> m_impl;
};

/// True when the video file `path` names (by its extension) carries the input's display matrix,
/// so that it is shown turned as the input is: MP4 and MOV. Other outputs are shown as coded.
bool takesDisplayMatrix(const std::string& path);

/// True when FFmpeg has a video encoder of that name ("libx264", "ffv1"), as --codec takes it.
bool isVideoEncoder(const std::string& name);

}  // namespace zel::media
