// The parameter update handler: switches time-entry controls of the panel by the timer style.
#pragma once

#include "CVOKClassFactory.h"
#include "ZELPluginInterfaces.h"

class ZEL2Clock_UpdateParams : public IZELUpdateParams, public CVOKUnknown {
 public:
  explicit ZEL2Clock_UpdateParams(IVOKUnknown* outer) noexcept : CVOKUnknown(outer) {}
  ~ZEL2Clock_UpdateParams() override = default;

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(IZELUpdateParams, IID_IZELUpdateParams)

  /// Requires a host unknown (else VOK_E_POINTER) but keeps nothing.
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override { return host ? VOK_OK : VOK_E_POINTER; }
  VOKRESULT Update(IZELEffectContext* effectContext, IVOKUnknown* changed, IZELRenderContext* renderContext,
                   IZELLayoutSource* layoutSource) override;

  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    return VOKCreateComponent<ZEL2Clock_UpdateParams>(host, outer, iid, ppv);
  }
};
