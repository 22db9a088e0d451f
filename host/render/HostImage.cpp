#include "render/HostImage.h"

namespace zel::host {

namespace {
constexpr std::uint32_t kNoComponent = 0xFFFFFFFFu;

// Byte offset of each component index (ZELComponent_*, 0..7) per kind.
constexpr std::uint32_t kOffsets[4][8] = {
    /* Rgba */ {0, 1, 2, 3, kNoComponent, kNoComponent, kNoComponent, kNoComponent},
    /* Bgra */ {2, 1, 0, 3, kNoComponent, kNoComponent, kNoComponent, kNoComponent},
    /* Uyvy */ {kNoComponent, kNoComponent, kNoComponent, kNoComponent, 1, 3, 0, 2},
    /* Yuy2 */ {kNoComponent, kNoComponent, kNoComponent, kNoComponent, 0, 2, 1, 3},
};
}  // namespace

std::int32_t ColorModelOf(PixelKind kind) {
  switch (kind) {
    case PixelKind::Uyvy:
      return ZELColorModel_YCbCr422_UYVY;
    case PixelKind::Yuy2:
      return ZELColorModel_YCbCr422_YUY2;
    default:
      return ZELColorModel_RGBA;
  }
}

// --- pixel format ---------------------------------------------------------------------------------

std::int32_t HostPixelFormat::GetRowOrder() {
  ZEL_HOST_NOTE("PixelFormat.GetRowOrder");
  return m_layout.bottomUp ? 1 : 0;
}

std::int32_t HostPixelFormat::GetColorModel() {
  ZEL_HOST_NOTE("PixelFormat.GetColorModel");
  return ColorModelOf(m_kind);
}

std::uint32_t HostPixelFormat::GetComponentCount() {
  ZEL_HOST_NOTE("PixelFormat.GetComponentCount");
  return 4;
}

std::uint32_t HostPixelFormat::GetComponentOffset(std::uint32_t index) {
  ZEL_HOST_NOTE("PixelFormat.GetComponentOffset");
  return index < 8 ? kOffsets[static_cast<int>(m_kind)][index] : kNoComponent;
}

std::uint32_t HostPixelFormat::GetPixelStep(std::uint32_t plane) {
  ZEL_HOST_NOTE("PixelFormat.GetPixelStep");
  if (plane != 0) return 0;
  return IsYuv422(m_kind) && m_layout.stepCountsPixels ? 2 : 4;
}

std::int32_t HostPixelFormat::GetStepCountsPixels() {
  ZEL_HOST_NOTE("PixelFormat.GetStepCountsPixels");
  return IsYuv422(m_kind) && m_layout.stepCountsPixels ? 1 : 0;
}

// --- image ------------------------------------------------------------------------------------------

HostImage::HostImage(const FrameView& view, const ImageLayout& layout)
    : m_view(view), m_layout(layout), m_format(MakeHostObject<HostPixelFormat>(view.kind, layout)) {}

std::uint32_t HostImage::GetWidth() {
  ZEL_HOST_NOTE("Image.GetWidth");
  return m_view.width;
}

std::uint32_t HostImage::GetHeight() {
  ZEL_HOST_NOTE("Image.GetHeight");
  return m_view.height;
}

std::int32_t HostImage::GetFieldLayout() {
  ZEL_HOST_NOTE("Image.GetFieldLayout");
  return m_layout.fieldLayout;
}

std::int32_t HostImage::GetFieldProcessing() {
  ZEL_HOST_NOTE("Image.GetFieldProcessing");
  return m_layout.fieldProcessing;
}

std::int32_t HostImage::GetStartingField() {
  ZEL_HOST_NOTE("Image.GetStartingField");
  return m_layout.startingField;
}

double HostImage::GetPixelAspectRatio() {
  ZEL_HOST_NOTE("Image.GetPixelAspectRatio");
  return m_layout.pixelAspectRatio;
}

VOKRESULT HostImage::GetPixelFormat(IZELPixelFormat** ppFormat) {
  ZEL_HOST_ENTER("Image.GetPixelFormat");
  if (ppFormat == nullptr) return VOK_E_POINTER;
  m_format->AddRef();
  *ppFormat = m_format.Get();
  return VOK_OK;
}

std::uint8_t* HostImage::GetRowAddress(std::uint32_t row, std::uint32_t plane) {
  ZEL_HOST_NOTE("Image.GetRowAddress");
  if (plane != 0 || row >= m_view.height || m_view.data == nullptr) return nullptr;
  const std::uint32_t top = m_layout.bottomUp ? m_view.height - 1 - row : row;
  return m_view.data + std::size_t{top} * m_view.stride;
}

std::uint32_t HostImage::GetRowBytes(std::uint32_t plane) {
  ZEL_HOST_NOTE("Image.GetRowBytes");
  return plane == 0 ? static_cast<std::uint32_t>(m_view.stride) : 0;
}

std::uint32_t HostImage::GetBitsPerComponent() {
  ZEL_HOST_NOTE("Image.GetBitsPerComponent");
  return 8;
}

}  // namespace zel::host
