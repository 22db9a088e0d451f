// The module's four exports, and nothing else: every other symbol stays hidden.
#include "definition/Registration.h"

#define ZEL_EXPORT extern "C" __attribute__((visibility("default")))

ZEL_EXPORT VOKRESULT VOKRegisterPlugin(IVOKUnknown* host, IVOKUnknown** ppDef) {
  return zel2clock::RegisterPlugin(host, ppDef);
}

ZEL_EXPORT VOKRESULT VOKRegisterComponent(IVOKUnknown* host, std::uint32_t index, IVOKUnknown** ppDef) {
  return zel2clock::RegisterComponent(host, index, ppDef);
}

ZEL_EXPORT VOKRESULT VOKGetClassFactory(IVOKUnknown* host, const VOKUID& clsid, const VOKUID& iid, void** ppv) {
  return zel2clock::GetClassFactory(host, clsid, iid, ppv);
}

ZEL_EXPORT VOKRESULT VOKCanUnloadNow(IVOKUnknown* host) { return zel2clock::CanUnloadNow(host); }
