#include "ZEL2Clock_Overlay.h"

CZEL2Clock_Overlay::~CZEL2Clock_Overlay() {
  if (m_hostUnknown) m_hostUnknown->Release();
}

VOKRESULT CZEL2Clock_Overlay::SetHostUnknown(IVOKUnknown* host) {
  return VOKBoundary([&] {
    if (host == nullptr) return VOK_E_INVALIDARG;
    host->AddRef();
    if (m_hostUnknown) m_hostUnknown->Release();
    m_hostUnknown = host;
    return VOK_OK;
  });
}
