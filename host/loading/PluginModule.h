// Loading a plug-in module: dlopen, the four exports resolved, and registration of the plug-in and
// its components through a host unknown.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "definitions/Definitions.h"
#include "loading/HostUnknown.h"

namespace zel::host {

/// A failure the host reports to its user: one line that says what and where.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A loaded module with its four exports. The module stays loaded for the life of the process:
/// hosts never unload a module that may still have objects alive, and tools exit soon anyway.
class PluginModule {
 public:
  /// Loads `path`. Throws HostError naming the file when it is missing, is not a shared library,
  /// or lacks one of the four exports.
  explicit PluginModule(const std::filesystem::path& path);

  const std::filesystem::path& Path() const { return m_path; }

  PFN_VOKRegisterPlugin RegisterPlugin = nullptr;
  PFN_VOKRegisterComponent RegisterComponent = nullptr;
  PFN_VOKGetClassFactory GetClassFactory = nullptr;
  PFN_VOKCanUnloadNow CanUnloadNow = nullptr;

 private:
  std::filesystem::path m_path;
  void* m_handle = nullptr;
};

/// The component kinds a host knows, for display.
const char* ComponentKindName(const VOKUID& kind);

/// A plug-in as the host knows it after registration: the module, the host unknown it was
/// registered with, its plug-in definition and the definitions of its components in index order.
class Plugin {
 public:
  /// More components than any plug-in has; a module still registering beyond it is refused.
  static constexpr std::uint32_t kMaxComponents = 1024;

  /// Loads and registers. Throws HostError when loading or any registration fails (with the code).
  explicit Plugin(const std::filesystem::path& path);
  ~Plugin();

  PluginModule& Module() { return m_module; }
  const PluginModule& Module() const { return m_module; }
  HostUnknown& Host() { return *m_host.Get(); }
  const PluginDefinition& Definition() const { return *m_definition.Get(); }
  const std::vector<VOKPtr<ComponentDefinition>>& Components() const { return m_components; }
  /// The effect component (the first component of the effect kind), or null.
  const ComponentDefinition* Effect() const;
  /// The component of `kind` linked from the effect, else the first of that kind, or null.
  const ComponentDefinition* ComponentOfKind(const VOKUID& kind) const;

  /// Creates an object of `component`'s class as `iid` through the module's class factory.
  /// Throws HostError with the failing code.
  VOKPtr<IVOKUnknown> CreateObject(const ComponentDefinition& component, const VOKUID& iid);

 private:
  PluginModule m_module;
  VOKPtr<HostUnknown> m_host;
  VOKPtr<PluginDefinition> m_definition;
  std::vector<VOKPtr<ComponentDefinition>> m_components;
};

/// "0x80004005"-style text of a result code.
std::string ResultText(VOKRESULT code);

/// The plug-in beside the running executable (build/bin/ZEL2Clock.zel), for tools and tests.
std::filesystem::path DefaultPluginPath();

}  // namespace zel::host
