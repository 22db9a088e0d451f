#include "components/ZEL2Clock_ModalUI.h"

#include <atomic>
#include <cassert>
#include <cstring>

#include "CommDlg.h"
#include "definition/Parameters.h"
#include "VOKResult.h"
#include "ZELDefinitions.h"
#include "WinUser.h"

namespace {

/// The record the dialog edits. Module-wide, as the dialog description points into it; filled
/// from the parameter at the start of every call, so nothing carries over between calls.
LOGFONTW gLogFont;
/// Set while a call owns gLogFont. The dialog runs a nested event loop in which a host may call
/// the chooser again; that call is refused instead of overwriting the record under the first.
std::atomic<bool> gDialogOpen{false};

constexpr const WCHAR* kMainWindowClass = u"TarsaEditorMainWndClass";
constexpr const WCHAR* kMainWindowTitle = u"Montavia";

/// Marks gLogFont as in use for one call.
class DialogClaim {
 public:
  DialogClaim() noexcept : m_owned(!gDialogOpen.exchange(true)) {}
  ~DialogClaim() {
    if (m_owned) gDialogOpen.store(false);
  }
  DialogClaim(const DialogClaim&) = delete;
  DialogClaim& operator=(const DialogClaim&) = delete;
  bool Owned() const noexcept { return m_owned; }

 private:
  bool m_owned;
};

}  // namespace

VOKRESULT CZLEMyModalUI::SetHostUnknown(IVOKUnknown* host) {
  return VOKBoundary([&] {
    if (host == nullptr) return VOK_E_INVALIDARG;
    m_hostUnknown = host;
    return VOK_OK;
  });
}

VOKRESULT CZLEMyModalUI::DoModal(IZELEffectContext* effectContext, IVOKUnknown*, void*) {
  return VOKBoundary([&] {
    if (effectContext == nullptr) return VOK_E_POINTER;
    const DialogClaim claim;
    if (!claim.Owned()) return zel2clock::kFontDialogBusy;

    // No main window is no error: the dialog then opens without an owner.
    HWND owner = FindWindowW(kMainWindowClass, kMainWindowTitle);

    CHOOSEFONTW cf;
    std::memset(&cf, 0, sizeof cf);
    cf.lStructSize = static_cast<DWORD>(sizeof cf);
    cf.hwndOwner = owner;
    cf.lpLogFont = &gLogFont;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;

    VOKPtr<IZELParameter> pPrivateDataParameter;
    const zel2clock::ParameterRow& fontRecord = zel2clock::kParameters[zel2clock::param::PrivateData];
    VOKCheck(effectContext->GetParameter(fontRecord.uid, IID_IZELParameter, pPrivateDataParameter.PutVoid()));
    if (!pPrivateDataParameter) VOKCheck(VOK_E_POINTER);
    VOKUID privateDataType{};
    std::uint32_t privateDataSize = 0;
    VOKCheck(pPrivateDataParameter->GetValueInfo(&privateDataType, &privateDataSize));
    assert(*fontRecord.type == privateDataType);
    assert(sizeof(LOGFONTW) == privateDataSize);
    VOKCheck(pPrivateDataParameter->GetValue(VOKTypeID_ByteArray, &gLogFont, sizeof gLogFont));

    if (ChooseFontW(&cf))
      VOKCheck(pPrivateDataParameter->SetValue(VOKTypeID_ByteArray, &gLogFont, sizeof gLogFont));
    return VOK_OK;
  });
}
