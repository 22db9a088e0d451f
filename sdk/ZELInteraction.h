// What a host hands the interactive components: the layout source of the parameter panel and the
// overlay context of the viewer. Both are used on the host's user-interface thread only, during
// the call they were handed in (an overlay keeps its context between Attach and Detach, and uses
// it from its own operations, which run on that thread too).
#pragma once

#include "VOKBase.h"
#include "ZELRender.h"

inline constexpr VOKUID IID_IZELLayoutSource = {0xCD85C471, 0x2C55, 0x4336, {0xB2, 0xA3, 0x4A, 0xF6, 0xEB, 0x97, 0x6D, 0x2E}};
inline constexpr VOKUID IID_IZELLayoutEntry = {0x63B82F6E, 0x6A5A, 0x49F4, {0x83, 0xE5, 0x15, 0x7F, 0x4E, 0xB1, 0x9A, 0xD5}};
inline constexpr VOKUID IID_IZELOverlayContext = {0xB821AE4B, 0x02DE, 0x4EF7, {0x82, 0x31, 0x0E, 0xDB, 0x62, 0x67, 0xC3, 0xE6}};

/// The platform's device-context handle (an HDC), opaque to the contract.
using ZELHDC = void*;

/// Overlay modes (IZELOverlayContext::GetOverlayMode).
constexpr std::int32_t ZELOverlayMode_Handles = 0;
constexpr std::int32_t ZELOverlayMode_HandlesAlt = 1;
constexpr std::int32_t ZELOverlayMode_Drag = 2;

/// One entry of the parameter panel of an effect instance.
class IZELLayoutEntry : public IVOKUnknown {
 public:
  /// Slot 3. Switches the entry on (1) or off (0); any non-zero value counts as on. VOK_OK.
  virtual VOKRESULT Enable(std::int32_t on) = 0;
  /// Slot 4. 1 when the entry is on, else 0.
  virtual std::int32_t IsEnabled() = 0;

 protected:
  ~IZELLayoutEntry() = default;
};

/// The parameter panel of an effect instance.
class IZELLayoutSource : public IVOKUnknown {
 public:
  /// Slot 3. The entry registered with `layoutUid`. *ppEntry null first; VOK_OK with one reference;
  /// VOK_E_INVALIDARG for an unknown UID; VOK_E_POINTER.
  virtual VOKRESULT GetLayoutEntry(const VOKUID& layoutUid, IZELLayoutEntry** ppEntry) = 0;

 protected:
  ~IZELLayoutSource() = default;
};

/// The viewer in which an overlay draws and receives pointer events. Frame-relative points run from
/// 0 to 1 across the frame's width and height.
class IZELOverlayContext : public IVOKUnknown {
 public:
  /// Slot 3, 4, 5. The contexts of the frame on show (one reference each); *pp null first;
  /// VOK_OK, VOK_E_POINTER, or a host failure.
  virtual VOKRESULT GetEffectContext(IZELEffectContext** ppContext) = 0;
  virtual VOKRESULT GetFrameContext(IZELFrameContext** ppContext) = 0;
  virtual VOKRESULT GetRenderContext(IZELRenderContext** ppContext) = 0;
  /// Slot 6. Size of the viewer in pixels (either pointer may be null).
  virtual void GetViewerSize(std::int32_t* width, std::int32_t* height) = 0;
  /// Slot 7. Viewer pixels per frame pixel.
  virtual double GetZoom() = 0;
  /// Slot 8. The device context to draw on; valid during the draw call.
  virtual ZELHDC GetDC() = 0;
  /// Slot 9. Asks the host to redraw the viewer.
  virtual void Invalidate() = 0;
  /// Slot 10. The keyboard modifiers held during the last pointer event (bit 0 shift, 1 control).
  virtual std::int32_t GetModifiers() = 0;
  /// Slot 11. A number that scales hit tolerances: larger means finer (the viewer's size in
  /// pixels along its longer side, at most 65535).
  virtual std::uint16_t GetToleranceScale() = 0;
  /// Slot 12. Sets the pointer shape the viewer shows (0 arrow, 1 move, 2 size).
  virtual void SetCursor(std::int32_t shape) = 0;
  /// Slot 13. 1 while the pointer is inside the viewer.
  virtual std::int32_t IsPointerInside() = 0;
  /// Slot 14. The last pointer position in frame-relative units (either pointer may be null).
  virtual void GetPointer(double* x, double* y) = 0;
  /// Slot 15. The overlay mode: ZELOverlayMode_Handles or _HandlesAlt, or ZELOverlayMode_Drag.
  virtual std::int32_t GetOverlayMode() = 0;
  /// Slot 16. Changes the overlay mode.
  virtual void SetOverlayMode(std::int32_t mode) = 0;
  /// Slot 17. Viewer pixel of the frame's top-left corner (either pointer may be null).
  virtual void GetFrameOrigin(std::int16_t* px, std::int16_t* py) = 0;
  /// Slot 18. Maps a viewer pixel back to a frame-relative point (either pointer may be null).
  virtual void MapFromViewer(std::int16_t px, std::int16_t py, double* x, double* y) = 0;
  /// Slot 19. Maps a frame-relative point to a viewer pixel, rounded to nearest and limited to the
  /// 16-bit range. Either pointer may be null.
  virtual void MapToViewer(double x, double y, std::int16_t* px, std::int16_t* py) = 0;

 protected:
  ~IZELOverlayContext() = default;
};
