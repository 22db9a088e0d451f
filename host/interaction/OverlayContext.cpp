#include "interaction/OverlayContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "Gdi.h"
#include "loading/PluginModule.h"
#include "ZelPlatformHost.h"

namespace zel::host {

namespace {
constexpr int kMaxSurfaceSide = 32767;

/// Rounds to the nearest viewer pixel and limits it to what a 16-bit coordinate holds; a point
/// that is not a number lands on 0.
std::int16_t ToPixel16(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::round(v);
  return static_cast<std::int16_t>(std::clamp(r, static_cast<double>(std::numeric_limits<std::int16_t>::min()),
                                              static_cast<double>(std::numeric_limits<std::int16_t>::max())));
}
}  // namespace

// --- surface --------------------------------------------------------------------------------------

ViewerSurface::ViewerSurface(int width, int height) : m_width(width), m_height(height) {
  if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide)
    throw HostError("viewer size " + std::to_string(width) + "x" + std::to_string(height) + " is outside 1..32767");
  m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  m_dc = ZelCreateSurfaceDC(m_pixels.data(), width, height, width * 4);
  if (m_dc == nullptr) throw HostError("the platform layer refused a drawing surface for the viewer");
}

ViewerSurface::~ViewerSurface() { DeleteDC(m_dc); }

void ViewerSurface::Fill(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
  const std::uint8_t pixel[4] = {b, g, r, a};
  for (std::size_t i = 0; i < m_pixels.size(); i += 4) std::memcpy(&m_pixels[i], pixel, 4);
}

std::uint32_t ViewerSurface::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
  const std::uint8_t* p = &m_pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                                     static_cast<std::size_t>(x)) * 4];
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

std::vector<std::uint8_t> ViewerSurface::ToRgba() const {
  std::vector<std::uint8_t> rgba(m_pixels.size());
  for (std::size_t i = 0; i < m_pixels.size(); i += 4) {
    rgba[i] = m_pixels[i + 2];
    rgba[i + 1] = m_pixels[i + 1];
    rgba[i + 2] = m_pixels[i];
    rgba[i + 3] = m_pixels[i + 3];
  }
  return rgba;
}

// --- context --------------------------------------------------------------------------------------

OverlayContext::OverlayContext(int width, int height, std::uint32_t frameWidth, std::uint32_t frameHeight,
                               double pixelAspectRatio)
    : m_surface(width, height) {
  m_toleranceScale = static_cast<std::uint16_t>(std::min(std::max(width, height), 65535));
  FitFrame(frameWidth, frameHeight, pixelAspectRatio);
}

void OverlayContext::FitFrame(std::uint32_t frameWidth, std::uint32_t frameHeight, double par) {
  m_frameHeight = std::max<std::uint32_t>(frameHeight, 1);
  const double shownWidth = std::max<double>(frameWidth, 1) * (par > 0 && std::isfinite(par) ? par : 1.0);
  const double shownHeight = m_frameHeight;
  const double zoom = std::min(m_surface.Width() / shownWidth, m_surface.Height() / shownHeight);
  FramePlacement p;
  p.width = shownWidth * zoom;
  p.height = shownHeight * zoom;
  p.originX = (m_surface.Width() - p.width) / 2;
  p.originY = (m_surface.Height() - p.height) / 2;
  m_placement = p;
}

void OverlayContext::SetPlacement(const FramePlacement& placement) { m_placement = placement; }

void OverlayContext::SetContexts(IZELEffectContext* effect, IZELFrameContext* frame, IZELRenderContext* render) {
  m_effect = effect;
  m_frame = frame;
  m_render = render;
}

void OverlayContext::SetPointer(double x, double y, bool inside, std::int32_t modifiers) {
  m_pointerX = x;
  m_pointerY = y;
  m_pointerInside = inside;
  m_modifiers = modifiers;
}

void OverlayContext::ToViewer(double x, double y, double* px, double* py) const {
  *px = m_placement.originX + x * m_placement.width;
  *py = m_placement.originY + y * m_placement.height;
}

namespace {
/// Hands out a held context with a reference; a viewer that shows no frame has none to give.
template <class I>
VOKRESULT HandOut(const VOKPtr<I>& held, I** pp) {
  if (pp == nullptr) return VOK_E_POINTER;
  *pp = nullptr;
  if (!held) return VOK_E_FAIL;
  held->AddRef();
  *pp = held.Get();
  return VOK_OK;
}
}  // namespace

VOKRESULT OverlayContext::GetEffectContext(IZELEffectContext** ppContext) {
  ZEL_HOST_ENTER("OverlayContext.GetEffectContext");
  return HandOut(m_effect, ppContext);
}

VOKRESULT OverlayContext::GetFrameContext(IZELFrameContext** ppContext) {
  ZEL_HOST_ENTER("OverlayContext.GetFrameContext");
  return HandOut(m_frame, ppContext);
}

VOKRESULT OverlayContext::GetRenderContext(IZELRenderContext** ppContext) {
  ZEL_HOST_ENTER("OverlayContext.GetRenderContext");
  return HandOut(m_render, ppContext);
}

void OverlayContext::GetViewerSize(std::int32_t* width, std::int32_t* height) {
  ZEL_HOST_NOTE("OverlayContext.GetViewerSize");
  if (width) *width = m_surface.Width();
  if (height) *height = m_surface.Height();
}

double OverlayContext::GetZoom() {
  ZEL_HOST_NOTE("OverlayContext.GetZoom");
  return m_placement.height / m_frameHeight;
}

ZELHDC OverlayContext::GetDC() {
  ZEL_HOST_NOTE("OverlayContext.GetDC");
  return m_surface.DC();
}

void OverlayContext::Invalidate() {
  ZEL_HOST_NOTE("OverlayContext.Invalidate");
  ++m_invalidations;
  if (m_onInvalidate) m_onInvalidate();
}

std::int32_t OverlayContext::GetModifiers() {
  ZEL_HOST_NOTE("OverlayContext.GetModifiers");
  return m_modifiers;
}

std::uint16_t OverlayContext::GetToleranceScale() {
  ZEL_HOST_NOTE("OverlayContext.GetToleranceScale");
  return m_toleranceScale;
}

void OverlayContext::SetCursor(std::int32_t shape) {
  ZEL_HOST_NOTE("OverlayContext.SetCursor");
  m_cursor = shape;
}

std::int32_t OverlayContext::IsPointerInside() {
  ZEL_HOST_NOTE("OverlayContext.IsPointerInside");
  return m_pointerInside ? 1 : 0;
}

void OverlayContext::GetPointer(double* x, double* y) {
  ZEL_HOST_NOTE("OverlayContext.GetPointer");
  if (x) *x = m_pointerX;
  if (y) *y = m_pointerY;
}

std::int32_t OverlayContext::GetOverlayMode() {
  ZEL_HOST_NOTE("OverlayContext.GetOverlayMode");
  return m_mode;
}

void OverlayContext::SetOverlayMode(std::int32_t mode) {
  ZEL_HOST_NOTE("OverlayContext.SetOverlayMode");
  m_mode = mode;
}

void OverlayContext::GetFrameOrigin(std::int16_t* px, std::int16_t* py) {
  ZEL_HOST_NOTE("OverlayContext.GetFrameOrigin");
  if (px) *px = ToPixel16(m_placement.originX);
  if (py) *py = ToPixel16(m_placement.originY);
}

void OverlayContext::MapFromViewer(std::int16_t px, std::int16_t py, double* x, double* y) {
  ZEL_HOST_NOTE("OverlayContext.MapFromViewer");
  if (x) *x = m_placement.width > 0 ? (px - m_placement.originX) / m_placement.width : 0.0;
  if (y) *y = m_placement.height > 0 ? (py - m_placement.originY) / m_placement.height : 0.0;
}

void OverlayContext::MapToViewer(double x, double y, std::int16_t* px, std::int16_t* py) {
  ZEL_HOST_NOTE("OverlayContext.MapToViewer");
  double vx = 0, vy = 0;
  ToViewer(x, y, &vx, &vy);
  if (px) *px = ToPixel16(vx);
  if (py) *py = ToPixel16(vy);
}

}  // namespace zel::host
