#include "ZEL2Clock_Effect.h"

VOKRESULT ZEL2Clock_Effect::SetHostUnknown(IVOKUnknown* host) {
  return VOKBoundary([&] {
    if (host == nullptr) return VOK_E_INVALIDARG;
    m_hostUnknown = host;
    return VOK_OK;
  });
}

VOKRESULT ZEL2Clock_Effect::Render(IZELEffectContext*, IVOKUnknown*, IVOKUnknown*, IZELFrameContext*, IVOKUnknown*,
                                   IZELRenderContext*, IZELOutput*) {
  return VOK_E_NOTIMPL;
}
