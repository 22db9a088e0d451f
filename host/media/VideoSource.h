#pragma once
// Reading pictures: video files, still images, image sequences and a built-in test pattern.

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "media/Frame.h"
#include "media/Orientation.h"
#include "media/SampleCoding.h"
#include "media/TimeCode.h"
#include "media/VideoCoding.h"

namespace zel::media {

namespace detail {
class SourceImpl;
}

struct Size {
  int width = 0;
  int height = 0;
};

enum class SourceKind {
  Video,        ///< a file with a video stream (anything FFmpeg demuxes and decodes)
  Still,        ///< one picture, repeated for every frame
  Sequence,     ///< numbered pictures named by a printf pattern ("frames/%04d.png")
  TestPattern,  ///< generated: colour bars, a scrolling ramp, a moving box and the frame number
};

/// Choices the caller makes when a source opens. Each is optional; what is left out comes from
/// the file, or from the defaults below for sources that have no timing of their own.
struct SourceOptions {
  /// Frame rate of a test pattern, still image or image sequence (default 25). A video file keeps
  /// its own rate and ignores this.
  std::optional<AVRational> rate;
  /// Size of the frames read: the test pattern's size (default 1920x1080); a file's pictures are
  /// scaled to it (bicubic; an interlaced picture is scaled one field at a time).
  std::optional<Size> size;
  /// `size` is the size of the picture as shown: a video shown turned a quarter (a phone clip's
  /// display matrix) is scaled to it turned back, so that it shows at `size`.
  bool sizeIsShown = false;
  /// Length of a test pattern or still image in frames (default: 10 seconds at the rate).
  std::optional<std::int64_t> frameCount;
};

/// What a source delivers. Fixed once the source is open.
struct SourceInfo {
  std::string path;  ///< as opened; empty for the test pattern
  SourceKind kind = SourceKind::TestPattern;
  int width = 0;  ///< size of the frames read()
  int height = 0;
  AVRational rate{25, 1};                   ///< frames per second
  std::int64_t frameCount = -1;             ///< -1 when the file does not say
  bool frameCountExact = false;             ///< false when frameCount is estimated from the duration
  FieldOrder fieldOrder = FieldOrder::Progressive;
  AVRational pixelAspect{1, 1};             ///< width over height of one pixel
  bool hasAudio = false;                    ///< the file has at least one audio stream
  /// The decoded pictures are Y'CbCr: reading them as Uyvy or Yuy2 repacks the samples without
  /// passing through RGB (and without changing their range), so 4:2:2 input stays byte-exact.
  bool nativeYuv = false;
  /// The pictures carry an alpha channel (an RGBA PNG, say). Video and the test pattern are opaque.
  bool hasAlpha = false;
  std::string codec;        ///< decoder name ("h264", "png"); "testpattern" for the pattern
  std::string pixelFormat;  ///< the decoder's pixel format name ("yuv420p", "rgb24", "rgba")
  double startTime = 0;     ///< seconds on the file's clock at which frame 0 is shown
  /// Unit of Frame::timestamp(): the video stream's own time base for a file; 1 / rate for the
  /// test pattern, stills and sequences, whose frame k is shown at k.
  AVRational timeBase{1, 25};
  std::int64_t firstTimestamp = 0;  ///< timestamp of frame 0
  /// The decoder's pixel format and colour tags when the frames read carry their decoded
  /// pictures (Frame::native), which a sink then encodes as they are; none otherwise.
  std::optional<PictureColour> nativeColour;
  /// How a video's pictures are turned to be shown (its display matrix: a phone clip held upright
  /// is coded lying on its side). The frames read() are the pictures as coded, at width x height;
  /// Orientation::shownWidth/shownHeight give the size a viewer shows.
  Orientation orientation;
  /// The clockwise angle of a display matrix that is not a whole quarter turn (a picture shown
  /// tilted); 0 otherwise. orientation is then the picture as coded.
  double tilt = 0;
  /// The time code of frame 0 as the file states it, and where; none when it has none.
  std::optional<TimeCodeTag> timeCode;
  /// When the file says it was recorded.
  RecordingTags recorded;
  /// A video's HDR10 metadata: the stream's own, else that of its first picture (HEVC SEI, AV1
  /// metadata), which files written by encoders that only put it in the pictures carry alone.
  HdrMetadata hdr;
  /// How a video is coded (an image sequence or a still too): for an output coded alike.
  VideoCoding coding;
};

/// A stream of pictures read in order. One thread at a time may use a source; sources are
/// independent of each other. Every operation that fails throws Error (or std::bad_alloc).
class VideoSource {
public:
  /// Opens a file. A path with a printf number pattern ("%d", "%04d") is an image sequence;
  /// a single picture (PNG, JPEG, ...) is a still image, repeated for frameCount frames; anything
  /// else is read as a video. Throws Error naming the path when the file is missing, is not
  /// media, has no video stream or no decoder for it, or when options.size is not usable.
  static VideoSource open(const std::string& path, const SourceOptions& options = {});
  /// The built-in moving test pattern.
  static VideoSource testPattern(const SourceOptions& options = {});

  VideoSource(VideoSource&&) noexcept;
  VideoSource& operator=(VideoSource&&) noexcept;
  ~VideoSource();

  const SourceInfo& info() const;

  /// Decodes the next frame into `frame`, allocated at info().width x height in `format`, with
  /// its index, field order, timestamp and render time set. Frame k is the k-th picture shown
  /// (in presentation order, after the file's edit list). Returns false (frame untouched) at the
  /// end of the stream, or where the file is damaged past the first frame: damage() then says
  /// where and why. Throws Error when a 4:2:2 format is asked for an odd width, or when not even
  /// the first frame decodes.
  bool read(Frame& frame, FrameFormat format);

  /// From now on, frames that carry a native picture come with their pixels owed (Frame::
  /// pixelsOwed): for a renderer that makes the rows it needs itself (NativeWriteBack::before)
  /// and writes the native pictures. Other frames come with their pixels as ever.
  void deferPixels(bool defer);

  /// Makes frame k (the k-th picture shown, as read() counts) the next one read(); k at or past
  /// the end makes read() return false. A file that cannot seek is read forward to k; going back
  /// in it throws Error.
  void seek(std::int64_t k);

  /// Empty while the stream reads cleanly; after read() returned false because the file is cut
  /// short or cannot be decoded further, one line naming the frame where reading stopped and why.
  const std::string& damage() const;

  /// Index of the frame the next read() returns.
  std::int64_t position() const;

  /// Seconds on the file's clock at which frame k is shown, as startTime + k / rate: exact for
  /// a constant rate, an estimate for a variable one (Frame::timestamp() is exact).
  double timeOfFrame(std::int64_t k) const;

private:
  explicit VideoSource(std::unique_ptr<detail::SourceImpl> impl);
  std::unique_ptr<detail::SourceImpl> m_impl;
};

/// True when `path` holds a printf number pattern ("%d", "%04d"); "%%" is a literal percent.
bool isSequencePattern(const std::string& path);

}  // namespace zel::media
