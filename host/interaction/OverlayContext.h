// The viewer an overlay draws in: a surface of pixels the host owns with a device context on it,
// the placement of the frame in the viewer (frame-relative points to viewer pixels and back), the
// overlay mode, the hit-tolerance scale, and the effect, frame and render contexts of the frame on
// show.
//
// A desktop host draws the rendered frame into the surface, lets the overlay draw on top through
// the DC, and shows the pixels; tests read them back. Threads: the user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "loading/HostObject.h"

struct HDC__;

namespace zel::host {

/// 32-bit pixels (B, G, R, A bytes, rows of width x 4, row 0 at the top) with a device context of
/// the platform layer drawing into them.
class ViewerSurface {
 public:
  /// A surface of width x height, cleared to transparent black. Throws HostError for a size
  /// outside 1..32767 or when the platform refuses the DC.
  ViewerSurface(int width, int height);
  ~ViewerSurface();
  ViewerSurface(const ViewerSurface&) = delete;
  ViewerSurface& operator=(const ViewerSurface&) = delete;

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  /// The platform's HDC over the pixels; valid for the surface's life.
  HDC__* DC() const { return m_dc; }
  std::uint8_t* Bits() { return m_pixels.data(); }
  const std::uint8_t* Bits() const { return m_pixels.data(); }
  std::size_t Stride() const { return static_cast<std::size_t>(m_width) * 4; }

  /// Fills every pixel with B, G, R, A.
  void Fill(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a);
  /// The pixel at (x, y) as 0xAARRGGBB; 0 outside the surface.
  std::uint32_t Pixel(int x, int y) const;
  /// The pixels as R, G, B, A bytes (for PNG writers and GTK).
  std::vector<std::uint8_t> ToRgba() const;

 private:
  int m_width;
  int m_height;
  std::vector<std::uint8_t> m_pixels;
  HDC__* m_dc = nullptr;
};

/// Where the frame sits in the viewer, in viewer pixels: the frame's top-left corner and the size
/// it is shown at (its pixel aspect ratio and zoom included).
struct FramePlacement {
  double originX = 0;
  double originY = 0;
  double width = 0;
  double height = 0;
};

class OverlayContext final : public HostObject<IZELOverlayContext> {
 public:
  /// A viewer of width x height pixels showing a frame of frameWidth x frameHeight pixels,
  /// fitted by FitFrame. Throws HostError as ViewerSurface.
  OverlayContext(int width, int height, std::uint32_t frameWidth, std::uint32_t frameHeight,
                 double pixelAspectRatio = 1.0);

  // IZELOverlayContext
  VOKRESULT GetEffectContext(IZELEffectContext** ppContext) override;
  VOKRESULT GetFrameContext(IZELFrameContext** ppContext) override;
  VOKRESULT GetRenderContext(IZELRenderContext** ppContext) override;
  void GetViewerSize(std::int32_t* width, std::int32_t* height) override;
  double GetZoom() override;
  ZELHDC GetDC() override;
  void Invalidate() override;
  std::int32_t GetModifiers() override;
  std::uint16_t GetToleranceScale() override;
  void SetCursor(std::int32_t shape) override;
  std::int32_t IsPointerInside() override;
  void GetPointer(double* x, double* y) override;
  std::int32_t GetOverlayMode() override;
  void SetOverlayMode(std::int32_t mode) override;
  void GetFrameOrigin(std::int16_t* px, std::int16_t* py) override;
  void MapFromViewer(std::int16_t px, std::int16_t py, double* x, double* y) override;
  void MapToViewer(double x, double y, std::int16_t* px, std::int16_t* py) override;

  // The host's side.
  /// The contexts of the frame on show (any may be null: the overlay then gets VOK_E_FAIL).
  void SetContexts(IZELEffectContext* effect, IZELFrameContext* frame, IZELRenderContext* render);
  ViewerSurface& Surface() { return m_surface; }
  /// Places the frame of frameWidth x frameHeight pixels (pixel aspect ratio `par`) as large as
  /// fits the viewer, centred.
  void FitFrame(std::uint32_t frameWidth, std::uint32_t frameHeight, double par = 1.0);
  void SetPlacement(const FramePlacement& placement);
  const FramePlacement& Placement() const { return m_placement; }
  /// Frame-relative point to viewer pixel, with the same rounding as MapToViewer but no limit.
  void ToViewer(double x, double y, double* px, double* py) const;
  /// Overrides the tolerance scale (by default the viewer's longer side, at most 65535).
  void SetToleranceScale(std::uint16_t n) { m_toleranceScale = n; }
  /// The pointer as the last event left it (frame-relative), whether it is inside, the modifiers.
  void SetPointer(double x, double y, bool inside, std::int32_t modifiers);
  std::int32_t Cursor() const { return m_cursor; }
  /// How often the overlay asked for a redraw.
  std::uint64_t InvalidateCount() const { return m_invalidations; }
  /// Called on every Invalidate (a desktop host queues a redraw).
  void OnInvalidate(std::function<void()> callback) { m_onInvalidate = std::move(callback); }

 protected:
  const char* ObjectName() const override { return "OverlayContext"; }

 private:
  ViewerSurface m_surface;
  FramePlacement m_placement;
  std::uint32_t m_frameHeight = 1;
  VOKPtr<IZELEffectContext> m_effect;
  VOKPtr<IZELFrameContext> m_frame;
  VOKPtr<IZELRenderContext> m_render;
  std::int32_t m_mode = ZELOverlayMode_Handles;
  std::uint16_t m_toleranceScale = 0;
  std::int32_t m_cursor = 0;
  double m_pointerX = 0, m_pointerY = 0;
  bool m_pointerInside = false;
  std::int32_t m_modifiers = 0;
  std::uint64_t m_invalidations = 0;
  std::function<void()> m_onInvalidate;
};

}  // namespace zel::host
