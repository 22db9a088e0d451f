#include "ZEL2Clock_ModalUI.h"

VOKRESULT CZLEMyModalUI::SetHostUnknown(IVOKUnknown* host) {
  return VOKBoundary([&] {
    if (host == nullptr) return VOK_E_INVALIDARG;
    m_hostUnknown = host;
    return VOK_OK;
  });
}

VOKRESULT CZLEMyModalUI::DoModal(IZELEffectContext*, IVOKUnknown*, void*) { return VOK_E_NOTIMPL; }
