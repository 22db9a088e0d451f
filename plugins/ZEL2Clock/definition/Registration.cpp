#include "definition/Registration.h"

#include "definition/PluginIds.h"
#include "VOKPtr.h"
#include "VOKResult.h"
#include "components/ZEL2Clock_Effect.h"
#include "components/ZEL2Clock_ModalUI.h"
#include "components/ZEL2Clock_Overlay.h"
#include "components/ZEL2Clock_UpdateParams.h"

namespace zel2clock {

const ComponentRow kComponentTable[kComponentCount] = {
    {0, u"ZEL2Clock", kComponentEffect, ZELKind_Effect, kClassEffect, &ZEL2Clock_Effect::Create},
    {1, u"Digital Clock: Select Font", kComponentModalUI, ZELKind_ModalUI, kClassModalUI, &CZLEMyModalUI::Create},
    {2, u"ZEL2Clock UpdateParams", kComponentUpdateParams, ZELKind_UpdateParams, kClassUpdateParams,
     &ZEL2Clock_UpdateParams::Create},
    {3, u"ZEL2Clock Overlay", kComponentOverlay, ZELKind_Overlay, kClassOverlay, &CZEL2Clock_Overlay::Create},
};

namespace {
/// The version of the binary interface the plug-in is written against.
constexpr std::uint32_t kApiMajor = 4;
constexpr std::uint32_t kApiMinor = 1;
}  // namespace

VOKRESULT RegisterPlugin(IVOKUnknown* host, IVOKUnknown** ppDef) noexcept {
  if (host == nullptr || ppDef == nullptr) return VOK_E_POINTER;
  *ppDef = nullptr;
  return VOKBoundary([&] {
    // The host-definition interface is never used; asking for it only requires that the host is
    // one that takes definitions.
    VOKPtr<IZELHostDefinition> pHostDef;
    VOKCheck(host->QueryInterface(IID_IZELHostDefinition, pHostDef.PutVoid()));
    VOKPtr<IZELDefinitionFactory> pFactory;
    VOKCheck(host->QueryInterface(IID_IZELDefinitionFactory, pFactory.PutVoid()));
    VOKPtr<IZELPluginDefinition> pPluginDef;
    VOKCheck(pFactory->CreateInstance(CLSID_ZELPluginDefinition, nullptr, IID_IZELPluginDefinition, pPluginDef.PutVoid()));
    VOKCheck(pPluginDef->InitPlugin(kPluginUid, kVersionMajor, kVersionMinor, u"ZEL2Clock.zel", kVendorUid, u"Vorbek",
                                    kApiMajor, kApiMinor));
    VOKCheck(pPluginDef->SetAttribute(ZELAttr_Description, VOKTypeID_String, u"ZEL 2 plugin Clock", VOK_TEXT_SIZE));
    *ppDef = pPluginDef.Detach();
    return VOK_OK;
  });
}

VOKRESULT RegisterComponent(IVOKUnknown* host, std::uint32_t index, IVOKUnknown** ppDef) noexcept {
  if (host == nullptr || ppDef == nullptr) return VOK_E_POINTER;
  if (index >= kComponentCount) return VOK_E_BADINDEX;
  *ppDef = nullptr;
  return VOKBoundary([&] {
    VOKPtr<IZELDefinitionFactory> pFactory;
    VOKCheck(host->QueryInterface(IID_IZELDefinitionFactory, pFactory.PutVoid()));
    if (index == 0) {
      BuildEffectDefinition(pFactory.Get(), ppDef);
      return VOK_OK;
    }
    const ComponentRow& row = kComponentTable[index];
    VOKPtr<IZELComponentDefinition> pComponentDef;  // pModalDef, pUpdateParamsDef or pOverlayDef
    VOKCheck(pFactory->CreateInstance(CLSID_ZELComponentDefinition, nullptr, IID_IZELComponentDefinition,
                                      pComponentDef.PutVoid()));
    VOKCheck(pComponentDef->InitComponent(row.componentUid, row.kind, kVersionMajor, kVersionMinor, row.classUid, row.name));
    if (index == 3) {
      VOKCheck(pComponentDef->SetAttribute(ZELAttr_OverlaySizeText, VOKTypeID_String, u"Size of Clock", VOK_TEXT_SIZE));
      VOKCheck(pComponentDef->SetAttribute(ZELAttr_OverlayDragText, VOKTypeID_String, u"Drag Clock", VOK_TEXT_SIZE));
    }
    *ppDef = pComponentDef.Detach();
    return VOK_OK;
  });
}

VOKRESULT GetClassFactory(IVOKUnknown* host, const VOKUID& clsid, const VOKUID& iid, void** ppv) noexcept {
  if (host == nullptr || ppv == nullptr) return VOK_E_INVALIDARG;
  return VOKBoundary([&] {
    for (const ComponentRow& row : kComponentTable) {
      if (row.classUid == clsid) return VOKMakeClassFactory(row.create, iid, ppv);
    }
    return VOK_CLASS_E_CLASSNOTAVAILABLE;
  });
}

VOKRESULT CanUnloadNow(IVOKUnknown* host) noexcept {
  if (host == nullptr) return VOK_E_INVALIDARG;
  return CVOKUnknown::LiveObjectCount() > 0 ? VOK_E_FAIL : VOK_OK;
}

}  // namespace zel2clock
