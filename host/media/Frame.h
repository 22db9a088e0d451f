#pragma once
// Frames of packed 8-bit pixels as the plug-in works in them, with memory that is kept for reuse.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "render/FrameLimits.h"

namespace zel::media {

/// The packed pixel formats a host image can take. Byte order in memory:
///   Rgba  R, G, B, A per pixel (4 bytes);
///   Uyvy  Cb, Y0, Cr, Y1 per pixel pair (4 bytes for 2 pixels);
///   Yuy2  Y0, Cb, Y1, Cr per pixel pair.
/// The two 4:2:2 formats hold pixel pairs, so their width must be even.
enum class FrameFormat { Rgba, Uyvy, Yuy2 };

struct NativePicture;

/// How the two fields of a frame follow each other in time.
enum class FieldOrder {
  Progressive,  ///< one picture, no fields
  TopFirst,     ///< interlaced, the field of the top row (row 0) comes first
  BottomFirst,  ///< interlaced, the field of row 1 comes first
};

/// Bytes one pixel takes on average in a row (4 for Rgba, 2 for the 4:2:2 formats).
int bytesPerPixel(FrameFormat format);
/// True for the packed 4:2:2 formats.
bool isYuv422(FrameFormat format);
/// Lower-case names, as a command line spells them: "rgba", "uyvy", "yuy2".
std::string_view toString(FrameFormat format);
/// "progressive", "tff", "bff".
std::string_view toString(FieldOrder order);
/// The inverse of toString (exact lower-case match); nullopt for anything else.
std::optional<FrameFormat> parseFrameFormat(std::string_view text);
std::optional<FieldOrder> parseFieldOrder(std::string_view text);

/// One picture in one FrameFormat. The frame owns its pixel memory; allocate() keeps the memory
/// when it is already large enough, so a frame reused for every picture of a stream allocates
/// once. Rows start 64-byte aligned (stride is a multiple of 64) so that SIMD code and swscale
/// run at full speed; the bytes between a row's end and the next row's start are unspecified.
/// A frame is not shared between threads while one of them writes it.
class Frame {
public:
  Frame() = default;
  Frame(Frame&&) noexcept = default;
  Frame& operator=(Frame&&) noexcept = default;
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  /// Largest width or height a frame may have.
  static constexpr int kMaxSide = zel::host::kMaxFrameSide;

  /// Makes the frame width x height pixels in `format`. Pixel contents are unspecified afterwards
  /// (old bytes when the memory was kept). Throws Error when a side is not in 1..kMaxSide or a
  /// 4:2:2 format is asked for an odd width.
  void allocate(int width, int height, FrameFormat format);

  int width() const { return m_width; }
  int height() const { return m_height; }
  FrameFormat format() const { return m_format; }
  /// Bytes from the start of one row to the next.
  std::ptrdiff_t stride() const { return m_stride; }
  /// Bytes of pixels in one row: width x bytesPerPixel.
  std::size_t rowBytes() const { return static_cast<std::size_t>(m_width) * bytesPerPixel(m_format); }
  bool empty() const { return m_width == 0; }

  std::uint8_t* data() { return m_data.get(); }
  const std::uint8_t* data() const { return m_data.get(); }
  /// First byte of row y (0 is the top row); y must be in 0..height-1.
  std::uint8_t* row(int y) { return m_data.get() + y * m_stride; }
  const std::uint8_t* row(int y) const { return m_data.get() + y * m_stride; }

  /// Position of the picture in its stream, counted from 0 at the stream's first frame.
  std::int64_t index() const { return m_index; }
  void setIndex(std::int64_t index) { m_index = index; }
  FieldOrder fieldOrder() const { return m_fieldOrder; }
  void setFieldOrder(FieldOrder order) { m_fieldOrder = order; }

  /// When the picture is shown, on its source's clock, in units of the source's time base
  /// (SourceInfo::timeBase); kNoTimestamp when the source does not say.
  static constexpr std::int64_t kNoTimestamp = INT64_MIN;
  std::int64_t timestamp() const { return m_timestamp; }
  void setTimestamp(std::int64_t timestamp) { m_timestamp = timestamp; }
  /// The render time of the picture in frames: its timestamp less the first frame's, times the
  /// source's nominal rate. Equals index() for a constant rate; differs for a variable one.
  double time() const { return m_time; }
  void setTime(double time) { m_time = time; }

  /// The decoded picture this frame is the working copy of (NativePicture.h), or null: frames of
  /// the test pattern, and of pictures the host cannot keep in their own format, have none.
  NativePicture* native();
  const NativePicture* native() const;
  /// The holder of the native picture, made on first use and kept for reuse.
  NativePicture& nativeHolder();
  /// Forgets the native picture: the frame's pixels are then all there is.
  void dropNative();

  /// True while the frame's pixels are still to be made from its native picture: a source told
  /// to leave that to the renderer (WorkingCopyMaker::deferPixels) delivers frames so, and
  /// NativeWriteBack::before makes the rows a render needs.
  bool pixelsOwed() const { return m_pixelsOwed; }
  void setPixelsOwed(bool owed) { m_pixelsOwed = owed; }

  /// Makes this frame a copy of `other`: size, format, pixels, metadata and a reference to its
  /// native picture.
  void copyFrom(const Frame& other);
  /// True when size, format and every pixel byte are equal (row padding and metadata ignored).
  bool samePixels(const Frame& other) const;

private:
  struct FreeAligned {
    void operator()(std::uint8_t* p) const;
  };

  struct NativeDeleter {
    void operator()(NativePicture* p) const;
  };

  std::unique_ptr<std::uint8_t, FreeAligned> m_data;
  std::unique_ptr<NativePicture, NativeDeleter> m_native;
  std::size_t m_capacity = 0;
  bool m_pixelsOwed = false;
  int m_width = 0;
  int m_height = 0;
  std::ptrdiff_t m_stride = 0;
  FrameFormat m_format = FrameFormat::Rgba;
  std::int64_t m_index = 0;
  FieldOrder m_fieldOrder = FieldOrder::Progressive;
  std::int64_t m_timestamp = kNoTimestamp;
  double m_time = 0;
};

}  // namespace zel::media
