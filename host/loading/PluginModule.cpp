#include "loading/PluginModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "text/Text.h"

namespace zel::host {

std::string ResultText(VOKRESULT code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

PluginModule::PluginModule(const std::filesystem::path& path) : m_path(path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw HostError("cannot load plug-in '" + path.string() + "': no such file");
  if (std::filesystem::is_directory(path, ec))
    throw HostError("cannot load plug-in '" + path.string() + "': it is a folder, not a plug-in");
  // A relative path without a slash would make dlopen search the library path instead.
  const std::string name = path.has_parent_path() ? path.string() : "./" + path.string();
  m_handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_handle == nullptr) {
    const char* why = dlerror();
    throw HostError("cannot load plug-in '" + path.string() + "': not a loadable shared library (" +
                    (why ? why : "unknown reason") + ")");
  }
  auto resolve = [&](const char* symbol) {
    void* address = dlsym(m_handle, symbol);
    if (address == nullptr)
      throw HostError("cannot load plug-in '" + path.string() + "': it lacks the export " + symbol);
    return address;
  };
  RegisterPlugin = reinterpret_cast<PFN_VOKRegisterPlugin>(resolve(kVOKRegisterPluginName));
  RegisterComponent = reinterpret_cast<PFN_VOKRegisterComponent>(resolve(kVOKRegisterComponentName));
  GetClassFactory = reinterpret_cast<PFN_VOKGetClassFactory>(resolve(kVOKGetClassFactoryName));
  CanUnloadNow = reinterpret_cast<PFN_VOKCanUnloadNow>(resolve(kVOKCanUnloadNowName));
}

const char* ComponentKindName(const VOKUID& kind) {
  if (kind == ZELKind_Effect) return "effect";
  if (kind == ZELKind_ModalUI) return "modal UI";
  if (kind == ZELKind_UpdateParams) return "parameter update";
  if (kind == ZELKind_Overlay) return "overlay";
  return "unknown";
}

Plugin::Plugin(const std::filesystem::path& path) : m_module(path), m_host(MakeHostObject<HostUnknown>()) {
  IVOKUnknown* def = nullptr;
  VOKRESULT r = m_module.RegisterPlugin(m_host->Unknown(), &def);
  if (VOKFAILED(r) || def == nullptr)
    throw HostError("plug-in '" + path.string() + "': registering the plug-in failed with " + ResultText(r));
  auto* asPlugin = dynamic_cast<PluginDefinition*>(def);
  if (asPlugin == nullptr) {
    def->Release();
    throw HostError("plug-in '" + path.string() + "': its plug-in definition is not one this host made");
  }
  m_definition.Attach(asPlugin);
  for (std::uint32_t index = 0;; ++index) {
    // The contract has no component count: a module ends its list with VOK_E_BADINDEX. One that
    // never does would keep the host registering until memory runs out.
    if (index == kMaxComponents)
      throw HostError("plug-in '" + path.string() + "': registers more than " + std::to_string(kMaxComponents) +
                      " components without ending the list");
    IVOKUnknown* component = nullptr;
    r = m_module.RegisterComponent(m_host->Unknown(), index, &component);
    if (r == VOK_E_BADINDEX) break;
    if (VOKFAILED(r) || component == nullptr)
      throw HostError("plug-in '" + path.string() + "': registering component " + std::to_string(index) +
                      " failed with " + ResultText(r));
    // Definitions handed back are ours: the factory made them.
    auto* asComponent = dynamic_cast<ComponentDefinition*>(component);
    if (asComponent == nullptr) {
      component->Release();
      throw HostError("plug-in '" + path.string() + "': component " + std::to_string(index) +
                      " is not a definition this host made");
    }
    VOKPtr<ComponentDefinition> kept;
    kept.Attach(asComponent);
    m_components.push_back(std::move(kept));
  }
}

Plugin::~Plugin() = default;

const ComponentDefinition* Plugin::Effect() const { return ComponentOfKind(ZELKind_Effect); }

const ComponentDefinition* Plugin::ComponentOfKind(const VOKUID& kind) const {
  for (const auto& c : m_components)
    if (c->kind == kind) return c.Get();
  return nullptr;
}

VOKPtr<IVOKUnknown> Plugin::CreateObject(const ComponentDefinition& component, const VOKUID& iid) {
  VOKPtr<IVOKClassFactory> factory;
  VOKRESULT r = m_module.GetClassFactory(m_host->Unknown(), component.classUid, IID_IVOKClassFactory, factory.PutVoid());
  if (VOKFAILED(r))
    throw HostError("no class factory for '" + ToUtf8(component.name) + "': " + ResultText(r));
  VOKPtr<IVOKUnknown> object;
  r = factory->CreateInstance(m_host->Unknown(), nullptr, iid, object.PutVoid());
  if (VOKFAILED(r))
    throw HostError("creating '" + ToUtf8(component.name) + "' failed with " + ResultText(r));
  return object;
}

std::filesystem::path DefaultPluginPath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "ZEL2Clock.zel";
  return self.parent_path() / "ZEL2Clock.zel";
}

}  // namespace zel::host
