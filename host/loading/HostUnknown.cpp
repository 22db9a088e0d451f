#include "loading/HostUnknown.h"

#include "text/Text.h"

namespace zel::host {

VOKRESULT HostUnknown::QueryInterface(const VOKUID& iid, void** ppv) {
  if (ppv != nullptr) *ppv = nullptr;
  const VOKRESULT refused = Instrumentation::Global().RefusalFor(iid);
  if (VOKFAILED(refused)) return refused;
  return HostObject::QueryInterface(iid, ppv);
}

VOKRESULT HostUnknown::GetHostVersion(std::uint32_t* major, std::uint32_t* minor) {
  ZEL_HOST_ENTER("HostDefinition.GetHostVersion");
  if (major) *major = 4;
  if (minor) *minor = 1;
  return VOK_OK;
}

VOKRESULT HostUnknown::CreateInstance(const VOKUID& clsid, IVOKUnknown* outer, const VOKUID& iid, void** ppv) {
  if (ppv != nullptr) *ppv = nullptr;  // before fault injection: an injected failure looks real
  ZEL_HOST_ENTER("DefinitionFactory.CreateInstance");
  if (ppv == nullptr) return VOK_E_POINTER;
  if (outer != nullptr) return VOK_CLASS_E_NOAGGREGATION;
  // Hands over the reference the new object is born with, as the face asked for.
  auto handOver = [&](auto* made) -> VOKRESULT {
    void* face = made->LookupFace(iid);
    if (face == nullptr) {
      made->Release();
      return VOK_E_NOINTERFACE;
    }
    *ppv = face;
    return VOK_OK;
  };
  if (clsid == CLSID_ZELPluginDefinition) return handOver(new PluginDefinition());
  if (clsid == CLSID_ZELComponentDefinition) return handOver(new ComponentDefinition(false));
  if (clsid == CLSID_ZELEffectDefinition) return handOver(new ComponentDefinition(true));
  if (clsid == CLSID_ZELParameterDefinition) return handOver(new ParameterDefinition(m_sequence.fetch_add(1)));
  if (clsid == CLSID_ZELLayoutDefinition) return handOver(new LayoutDefinition());
  return VOK_CLASS_E_CLASSNOTAVAILABLE;
}

VOKRESULT HostUnknown::Print(const VOKCHAR* text) {
  ZEL_HOST_ENTER("Console.Print");
  if (text == nullptr) return VOK_E_POINTER;
  std::lock_guard lock(m_consoleMutex);
  m_console.push_back(ToUtf8(text));
  return VOK_OK;
}

std::vector<std::string> HostUnknown::ConsoleLines() const {
  std::lock_guard lock(m_consoleMutex);
  return m_console;
}

}  // namespace zel::host
