// A module with all four exports that misbehaves in registration in the way ZEL_MISBEHAVIOUR picks,
// so that the host's loader meets plug-ins it must refuse with a clear error instead of trusting:
//   1  every component index registers successfully, however large;
//   2  the plug-in registration fails with 0x80004005;
//   3  component 0 reports success but hands back no definition.
#include "ZELDefinitions.h"

#define ZEL_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr VOKUID kUid = {0x6E1F0A55, 0x0B1D, 0x4C33, {0x9A, 0x01, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};

template <class T>
VOKRESULT Make(IVOKUnknown* host, const VOKUID& clsid, const VOKUID& iid, T** out) {
  IZELDefinitionFactory* factory = nullptr;
  VOKRESULT r = host->QueryInterface(IID_IZELDefinitionFactory, reinterpret_cast<void**>(&factory));
  if (r < 0) return r;
  r = factory->CreateInstance(clsid, nullptr, iid, reinterpret_cast<void**>(out));
  factory->Release();
  return r;
}

}  // namespace

ZEL_TEST_EXPORT VOKRESULT VOKRegisterPlugin(IVOKUnknown* host, IVOKUnknown** ppDef) {
  *ppDef = nullptr;
  if (ZEL_MISBEHAVIOUR == 2) return static_cast<VOKRESULT>(0x80004005u);
  IZELPluginDefinition* def = nullptr;
  VOKRESULT r = Make(host, CLSID_ZELPluginDefinition, IID_IZELPluginDefinition, &def);
  if (r < 0) return r;
  def->InitPlugin(kUid, 1, 0, u"Misbehaving.zel", kUid, u"Tests", 4, 1);
  *ppDef = def;
  return VOK_OK;
}

ZEL_TEST_EXPORT VOKRESULT VOKRegisterComponent(IVOKUnknown* host, std::uint32_t index, IVOKUnknown** ppDef) {
  *ppDef = nullptr;
  if (ZEL_MISBEHAVIOUR == 3) return index == 0 ? VOK_OK : VOK_E_BADINDEX;
  IZELComponentDefinition* def = nullptr;
  VOKRESULT r = Make(host, CLSID_ZELComponentDefinition, IID_IZELComponentDefinition, &def);
  if (r < 0) return r;
  def->InitComponent(kUid, ZELKind_ModalUI, 1, 0, kUid, u"Endless");
  *ppDef = def;
  return VOK_OK;
}

ZEL_TEST_EXPORT VOKRESULT VOKGetClassFactory(IVOKUnknown*, const VOKUID&, const VOKUID&, void** ppv) {
  *ppv = nullptr;
  return VOK_CLASS_E_CLASSNOTAVAILABLE;
}

ZEL_TEST_EXPORT VOKRESULT VOKCanUnloadNow(IVOKUnknown*) { return VOK_OK; }
