// What the four exports do: the plug-in's identity, the component table, the definitions handed
// to the host, the class factories and the unload check. Every function runs inside a boundary
// and never throws.
#pragma once

#include "CVOKClassFactory.h"
#include "ZELDefinitions.h"

namespace zel2clock {

/// One row of the component table: the index the host registers, the definition's identity, and
/// the class its class UID creates.
struct ComponentRow {
  std::uint32_t index;
  const VOKCHAR* name;
  VOKUID componentUid;
  VOKUID kind;
  VOKUID classUid;
  PFNVOKCreate create;
};

/// The plug-in's version, registered for the plug-in and for each of its components.
inline constexpr std::uint32_t kVersionMajor = 1;
inline constexpr std::uint32_t kVersionMinor = 0;

inline constexpr std::uint32_t kComponentCount = 4;
/// Rows in index order: 0 effect, 1 font chooser, 2 update handler, 3 overlay.
extern const ComponentRow kComponentTable[kComponentCount];

VOKRESULT RegisterPlugin(IVOKUnknown* host, IVOKUnknown** ppDef) noexcept;
VOKRESULT RegisterComponent(IVOKUnknown* host, std::uint32_t index, IVOKUnknown** ppDef) noexcept;
VOKRESULT GetClassFactory(IVOKUnknown* host, const VOKUID& clsid, const VOKUID& iid, void** ppv) noexcept;
VOKRESULT CanUnloadNow(IVOKUnknown* host) noexcept;

/// Builds the effect definition (component index 0) with its whole parameter catalogue and panel
/// through `factory`, and detaches it into *ppDef. Raises host failures as result codes.
void BuildEffectDefinition(IZELDefinitionFactory* factory, IVOKUnknown** ppDef);

}  // namespace zel2clock
