#include "ZEL2Clock_UpdateParams.h"

VOKRESULT ZEL2Clock_UpdateParams::Update(IZELEffectContext*, IVOKUnknown*, IZELRenderContext*, IZELLayoutSource*) {
  return VOK_E_NOTIMPL;
}
