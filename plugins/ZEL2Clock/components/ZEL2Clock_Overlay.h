// The on-screen overlay: the clock's centre cross and outline in the host's viewer, and drags that
// move and size the clock.
//
// Positions are frame-relative (0 to 1 across the frame's width and height). The clock's outline
// is the ellipse around (position x, position y) with half-axes size x horizontal factor and
// size x 0.5 (the factor folds the frame's aspect ratio in, so that a "Size" draws a circle on a
// frame of any shape); the elliptic distance of a point equals `size` on the outline and 0 at the
// centre. Hosts call the overlay from one thread at a time.
#pragma once

#include "CVOKClassFactory.h"
#include "VOKPtr.h"
#include "ZELPluginInterfaces.h"

class CZEL2Clock_Overlay : public IZELGraphicOverlay, public CVOKUnknown {
 public:
  explicit CZEL2Clock_Overlay(IVOKUnknown* outer) noexcept : CVOKUnknown(outer) {}
  ~CZEL2Clock_Overlay() override;

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(IZELGraphicOverlay, IID_IZELGraphicOverlay)

  /// Keeps the host unknown with a reference of its own; null is VOK_E_INVALIDARG.
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override;

  /// Takes a reference to `context`; null is VOK_E_INVALIDARG. Requires that none is attached.
  VOKRESULT Attach(IZELOverlayContext* context) override;
  /// Releases the context and forgets the cached values. VOK_OK.
  VOKRESULT Detach() override;
  /// Cross at the centre (with diagonals in drag mode) and the outline, on the context's DC.
  /// Black when not highlighted; else white for the part being dragged, blue cross, green outline.
  void Draw(std::int32_t highlighted) override;
  /// 1 when a size or move drag starts at (x, y), else 0 (also when detached or the host fails).
  std::int32_t PointerDown(double x, double y, std::int32_t buttons) override;
  std::int32_t PointerDoubleDown(double x, double y, std::int32_t buttons) override;
  /// Writes "Size", or "X" and "Y", for the drag in progress at the cached time. 1, or 0 when the
  /// host fails to give the values or refuses a write.
  std::int32_t PointerDrag(double x, double y, std::int32_t buttons) override;
  /// Ends any drag. 1.
  std::int32_t PointerUp(double x, double y, std::int32_t buttons) override;
  std::int32_t PointerMove(double, double, std::int32_t) override { return 0; }
  std::int32_t KeyDown(std::int32_t, std::int32_t) override { return 0; }
  std::int32_t KeyUp(std::int32_t, std::int32_t) override { return 0; }
  std::int32_t GetPreferences(void*) override { return 0; }
  void FocusChanged(std::int32_t) override {}

  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    return VOKCreateComponent<CZEL2Clock_Overlay>(host, outer, iid, ppv);
  }

 private:
  /// The values read at the last refresh, and the parameter faces kept for the object's life.
  struct CacheData {
    double time = 0;  ///< render time of the last refresh: parameters are read and written at it
    VOKPtr<IZELAnimatedParameter> m_param_posx;
    VOKPtr<IZELAnimatedParameter> m_param_posy;
    VOKPtr<IZELAnimatedParameter> m_param_size;
    VOKPtr<IZELAnimatedParameter> m_param_clocktype;
    double posx = 0, posy = 0;   ///< centre, frame-relative ("X" / 100, "Y" / 100)
    double size = 0;             ///< "Size" / 100, divided by the text clocks' size divisors
    std::int32_t clockType = 0;  ///< 0 analog, 1 digital, 2 LED
    double hfactor = 0;          ///< 1 / (2 x frame aspect ratio)
  };

  static constexpr std::int32_t kIdle = -1;
  static constexpr std::int32_t kDragging = 0;

  /// Reads the cache from the host. False when detached; raises host failures.
  bool RefreshCache();
  /// The elliptic distance of (x, y) from the cached centre (requires a valid cache).
  double EllipticDistance(double x, double y) const;
  /// Writes `value` into `param` at the cached time; raises a refused write.
  void WriteAtCacheTime(IZELAnimatedParameter* param, double value) const;

  void DrawBody(std::int32_t highlighted);
  std::int32_t PressBody(double x, double y);
  std::int32_t DragBody(double x, double y);

  VOKPtr<IVOKUnknown> m_hostUnknown;
  VOKPtr<IZELOverlayContext> m_overlayContext;
  bool m_validCache = false;
  CacheData m_cd;
  std::int32_t m_moveState = kIdle;
  std::int32_t m_sizeState = kIdle;
  double m_dragOffsetX = 0;
  double m_dragOffsetY = 0;
};
