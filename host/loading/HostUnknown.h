// The host unknown handed to every export and component: it answers the host-definition, the
// definition-factory and the console interfaces.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "definitions/Definitions.h"

namespace zel::host {

class HostUnknown final : public HostObject<IZELHostDefinition, IZELDefinitionFactory, IZELConsole> {
 public:
  VOKRESULT QueryInterface(const VOKUID& iid, void** ppv) override;

  VOKRESULT GetHostVersion(std::uint32_t* major, std::uint32_t* minor) override;
  VOKRESULT CreateInstance(const VOKUID& clsid, IVOKUnknown* outer, const VOKUID& iid, void** ppv) override;
  VOKRESULT Print(const VOKCHAR* text) override;

  /// The host unknown as the plug-in sees it (no reference added).
  IVOKUnknown* Unknown() noexcept { return static_cast<IZELHostDefinition*>(this); }
  /// Lines the plug-in printed to the console.
  std::vector<std::string> ConsoleLines() const;

 protected:
  const char* ObjectName() const override { return "HostUnknown"; }

 private:
  std::atomic<std::uint64_t> m_sequence{0};
  mutable std::mutex m_consoleMutex;
  std::vector<std::string> m_console;
};

}  // namespace zel::host
