// A shared library that looks like a plug-in but exports only two of the four functions, so that
// the host's loader meets a real ELF module lacking VOKGetClassFactory and VOKCanUnloadNow.
#include "VOKBase.h"

extern "C" __attribute__((visibility("default"))) VOKRESULT VOKRegisterPlugin(IVOKUnknown*, IVOKUnknown** ppDef) {
  if (ppDef != nullptr) *ppDef = nullptr;
  return VOK_E_NOTIMPL;
}

extern "C" __attribute__((visibility("default"))) VOKRESULT VOKRegisterComponent(IVOKUnknown*, std::uint32_t,
                                                                                 IVOKUnknown** ppDef) {
  if (ppDef != nullptr) *ppDef = nullptr;
  return VOK_E_BADINDEX;
}
