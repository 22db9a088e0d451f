// The font chooser: a modal component that edits the digital clock's font record.
#pragma once

#include "CVOKClassFactory.h"
#include "VOKPtr.h"
#include "ZELPluginInterfaces.h"

class CZLEMyModalUI : public IZELModalUI, public CVOKUnknown {
 public:
  explicit CZLEMyModalUI(IVOKUnknown* outer) noexcept : CVOKUnknown(outer) {}
  ~CZLEMyModalUI() override = default;

  VOK_DELEGATING_UNKNOWN()
  VOK_INTERFACE_LOOKUP(IZELModalUI, IID_IZELModalUI)

  /// Keeps a reference to the host unknown; null is VOK_E_INVALIDARG.
  VOKRESULT SetHostUnknown(IVOKUnknown* host) override;
  VOKRESULT DoModal(IZELEffectContext* effectContext, IVOKUnknown* owner, void* reserved) override;

  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    return VOKCreateComponent<CZLEMyModalUI>(host, outer, iid, ppv);
  }

 private:
  VOKPtr<IVOKUnknown> m_hostUnknown;
};
