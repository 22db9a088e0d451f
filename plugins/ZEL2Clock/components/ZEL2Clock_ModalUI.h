// The font chooser: a modal component that edits the digital clock's font record, the value of
// the effect's hidden "PrivateData" parameter, with the platform's font dialog.
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
  /// Shows the font dialog on the font stored in "PrivateData" (owned by the host's main window
  /// when one is found) and blocks until it closes; a confirmed choice is written back, a cancel
  /// writes nothing. Returns VOK_OK (confirm or cancel), the code of a failing host call (a failure
  /// before the dialog shows no dialog), VOK_E_POINTER for a null context, or kFontDialogBusy
  /// while another font chooser call of this module is open (the dialog's record is shared).
  VOKRESULT DoModal(IZELEffectContext* effectContext, IVOKUnknown* owner, void* reserved) override;

  static VOKRESULT Create(IVOKUnknown* host, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
    return VOKCreateComponent<CZLEMyModalUI>(host, outer, iid, ppv);
  }

 private:
  VOKPtr<IVOKUnknown> m_hostUnknown;
};
