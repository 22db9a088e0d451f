// Images the host hands an effect, over pixel memory the caller owns, and their pixel formats.
//
// The caller describes its buffer with a FrameView: the first byte of the top row, the bytes from
// one row to the next, and the packed pixel kind. The image then presents the rows in the row
// order asked for (row 0 at the top, or row 0 at the bottom as on a bottom-up bitmap), with the
// field layout, field processing, starting field and pixel aspect ratio of the render call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loading/HostObject.h"

namespace zel::host {

/// Packed 8-bit pixel kinds. Bytes in memory:
///   Rgba  R, G, B, A per pixel;
///   Bgra  B, G, R, A per pixel;
///   Uyvy  Cb, Y0, Cr, Y1 per pixel pair (colour model 3);
///   Yuy2  Y0, Cb, Y1, Cr per pixel pair (colour model 4).
enum class PixelKind { Rgba, Bgra, Uyvy, Yuy2 };

/// True for the two 4:2:2 kinds.
constexpr bool IsYuv422(PixelKind kind) { return kind == PixelKind::Uyvy || kind == PixelKind::Yuy2; }
/// Bytes a row of `width` pixels takes (a 4:2:2 row of odd width ends in a whole pair).
constexpr std::size_t RowBytesOf(PixelKind kind, std::uint32_t width) {
  return IsYuv422(kind) ? (std::size_t{width} + 1) / 2 * 4 : std::size_t{width} * 4;
}
/// The colour model (ZELColorModel_*) a kind is presented as.
std::int32_t ColorModelOf(PixelKind kind);

/// A caller's picture: `height` rows of at least RowBytesOf(kind, width) bytes, `stride` bytes
/// apart, the first at `data` (the top row of the picture). The caller keeps it alive and does
/// not touch it while a render uses it.
struct FrameView {
  std::uint8_t* data = nullptr;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t stride = 0;
  PixelKind kind = PixelKind::Rgba;
};

/// How an image presents itself to the plug-in; everything the render call fixes.
struct ImageLayout {
  bool bottomUp = false;                            ///< row 0 is the bottom row (row order 1)
  std::int32_t fieldLayout = ZELFieldLayout_Progressive;
  std::int32_t fieldProcessing = ZELFieldProcessing_Frame;
  std::int32_t startingField = ZELField_First;      ///< the field of the even rows
  double pixelAspectRatio = 1.0;
  /// 4:2:2 only: report the step of one pixel (2 bytes) and say so through GetStepCountsPixels,
  /// instead of the step of a pair (4 bytes). Both describe the same memory.
  bool stepCountsPixels = false;
};

class HostPixelFormat final : public HostObject<IZELPixelFormat> {
 public:
  HostPixelFormat(PixelKind kind, const ImageLayout& layout) : m_kind(kind), m_layout(layout) {}

  std::int32_t GetRowOrder() override;
  std::int32_t GetColorModel() override;
  std::uint32_t GetComponentCount() override;
  std::uint32_t GetComponentOffset(std::uint32_t index) override;
  std::uint32_t GetPixelStep(std::uint32_t plane) override;
  std::int32_t GetStepCountsPixels() override;

 protected:
  const char* ObjectName() const override { return "PixelFormat"; }

 private:
  const PixelKind m_kind;
  const ImageLayout m_layout;
};

class HostImage final : public HostObject<IZELImage> {
 public:
  HostImage(const FrameView& view, const ImageLayout& layout);

  std::uint32_t GetWidth() override;
  std::uint32_t GetHeight() override;
  std::int32_t GetFieldLayout() override;
  std::int32_t GetFieldProcessing() override;
  std::int32_t GetStartingField() override;
  double GetPixelAspectRatio() override;
  VOKRESULT GetPixelFormat(IZELPixelFormat** ppFormat) override;
  std::uint8_t* GetRowAddress(std::uint32_t row, std::uint32_t plane) override;
  std::uint32_t GetRowBytes(std::uint32_t plane) override;
  std::uint32_t GetBitsPerComponent() override;

  const FrameView& View() const { return m_view; }

 protected:
  const char* ObjectName() const override { return "Image"; }

 private:
  const FrameView m_view;
  const ImageLayout m_layout;
  VOKPtr<HostPixelFormat> m_format;
};

}  // namespace zel::host
