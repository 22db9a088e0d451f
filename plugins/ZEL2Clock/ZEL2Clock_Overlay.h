// The on-screen overlay: the clock's centre cross and outline in the host's viewer, and drags that
// move and size the clock.
#pragma once

#include "CVOKClassFactory.h"
#include "ZELPluginInterfaces.h"

class CZEL2Clock_Overlay : public IZELGraphicOverlay, public CVOKUnknown {
 public:
  explicit CZEL2Clock_Overlay(IVOKUnknown* outer) noexcept : CVOKUnknown(outer) {}
  ~CZEL2Clock_Overlay() override;

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(IZELGraphicOverlay, IID_IZELGraphicOverlay)

  /// Keeps the host unknown with a reference of its own; null is VOK_E_INVALIDARG.
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override;

  VOKRESULT Attach(IZELOverlayContext*) override { return VOK_E_NOTIMPL; }
  VOKRESULT Detach() override { return VOK_OK; }
  void Draw(std::int32_t) override {}
  std::int32_t PointerDown(double, double, std::int32_t) override { return 0; }
  std::int32_t PointerDoubleDown(double x, double y, std::int32_t buttons) override { return PointerDown(x, y, buttons); }
  std::int32_t PointerDrag(double, double, std::int32_t) override { return 0; }
  std::int32_t PointerUp(double, double, std::int32_t) override { return 1; }
  std::int32_t PointerMove(double, double, std::int32_t) override { return 0; }
  std::int32_t KeyDown(std::int32_t, std::int32_t) override { return 0; }
  std::int32_t KeyUp(std::int32_t, std::int32_t) override { return 0; }
  std::int32_t GetPreferences(void*) override { return 0; }
  void FocusChanged(std::int32_t) override {}

  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    return VOKCreateComponent<CZEL2Clock_Overlay>(host, outer, iid, ppv);
  }

 private:
  IVOKUnknown* m_hostUnknown = nullptr;  ///< holds a reference of its own
};
