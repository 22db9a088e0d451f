#pragma once
// The decoded picture a working frame was made from, kept in its own pixel format beside it, and
// the way back: only the pixels the plug-in changed are converted into it. Everything else of the
// picture reaches the encoder exactly as it was decoded, at its own depth, chroma layout, matrix
// and range.
//
// The round trip of one frame:
//   WorkingCopyMaker::make     decoded picture -> native picture + the frame's pixels, converted
//                              as the source always converts them (4:2:2 keeps the samples)
//   NativeWriteBack::before    makes the frame the picture the plug-in works in (RGBA as it is;
//                              4:2:2 at full range with BT.601 weights, what the plug-in's 4:2:2
//                              formula expects) and keeps a copy of it
//   (the plug-in renders into the frame)
//   NativeWriteBack::after     pixels that differ from the copy are converted with the picture's
//                              matrix and range and written into the native picture
//   the sink encodes the native picture.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "media/Frame.h"
#include "media/SampleCoding.h"
#include "media/detail/FFmpeg.h"

namespace zel::media {

/// A decoded picture at its frame's size, with the shape (normalised format, matrix, range,
/// interlacing) the working copy was converted from.
struct NativePicture {
  detail::AvFramePtr picture = detail::makeAvFrame();
  detail::PictureShape shape;
  bool valid = false;
};

/// True when the host can keep pictures of `format` and write the clock's samples into them:
/// byte-aligned samples of 8 to 16 bits (Y'CbCr, R'G'B' or grey, planar or packed, with or
/// without alpha) that swscale reads and writes. Palettes, bit-packed and float formats are not.
bool keepsNativeSamples(AVPixelFormat format);

/// The colour description of a decoder's pictures, when the host keeps them natively.
std::optional<PictureColour> nativeColourOf(const AVCodecContext& decoder);

/// How the samples of pictures of this shape code colour.
SampleCoding sampleCodingOf(const detail::PictureShape& shape);

/// Makes working frames from decoded pictures. One per source; not shared between threads.
class WorkingCopyMaker {
public:
  /// `frame` is allocated at its final size and format. It gets the pixels of `picture` (of
  /// shape `shape`; Scaler::toFrame) and keeps the picture as its native picture, scaled to the
  /// frame's size when that differs. A picture whose format the host cannot keep gives a frame
  /// without a native picture.
  void make(const AVFrame& picture, const detail::PictureShape& shape, Frame& frame);
  /// Leaves the pixels of frames that keep a native picture to be made by the renderer
  /// (Frame::pixelsOwed), which then converts only the rows it needs. Only for frames whose
  /// native picture is what gets written.
  void deferPixels(bool defer) { m_defer = defer; }

private:
  bool m_defer = false;
  detail::Scaler m_resize;
  detail::Scaler m_toWorking;
};

namespace detail {
class ConversionCache;
}

/// Rows [first, end) of a frame.
struct RowBand {
  int first = 0, end = 0;
};

/// The pixels the plug-in changed, written back into the frame's native picture. One per frame
/// slot; frames without a native picture pass through untouched.
class NativeWriteBack {
public:
  NativeWriteBack();
  ~NativeWriteBack();
  NativeWriteBack(NativeWriteBack&&) noexcept;
  NativeWriteBack& operator=(NativeWriteBack&&) noexcept;

  /// Makes the frame the picture the plug-in expects (4:2:2 at full range, BT.601 weights) and
  /// keeps a copy of it, before the plug-in renders. With `changeable`, the rows [first, end) the
  /// plug-in said its render changes at most, only those are kept and compared afterwards, and
  /// a frame whose pixels are owed gets only the rows around them (the rest stays unmade: its
  /// native picture is what is written).
  void before(Frame& frame, std::optional<RowBand> changeable = std::nullopt);
  /// Converts every pixel that differs from the kept one into the native picture: luma (or R'G'B')
  /// and alpha per pixel, chroma per chroma sample from all the pixels that share it.
  void after(Frame& frame);

private:
  /// Makes `picture` writable, through m_own when others hold it.
  void makeWritable(AVFrame& picture);

  detail::AvFramePtr m_own = detail::makeAvFrame();  ///< this slot's memory for written pictures
  detail::Scaler m_toWorking;
  detail::Scaler m_toRgba;
  detail::Scaler m_toYuv422;
  Frame m_rgba;
  Frame m_pristine;
  bool m_kept = false;
  RowBand m_band;                              ///< the rows kept and compared
  std::vector<std::uint8_t> m_chromaChanged;  ///< per chroma sample: 1 where it must be recomputed
  /// Pixels [first, end) of row y changed, each one (in whole 4:2:2 pairs).
  struct ChangedRun {
    int y, first, end;
  };
  std::vector<ChangedRun> m_runs;             ///< the changed pixels of the frame, row by row
  std::unique_ptr<detail::ConversionCache> m_cache;  ///< conversions of working colours met so far
};

}  // namespace zel::media
