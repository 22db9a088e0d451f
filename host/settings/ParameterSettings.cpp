#include "settings/ParameterSettings.h"

#include "text/Text.h"

namespace zel::host {

ParameterSetting ParseSetOption(std::string_view text) {
  const std::string where = "--set " + Quoted(text);
  const auto fail = [&](const std::string& why) -> ParameterSetting {
    throw SettingSyntaxError(where + ": " + why + " (expected NAME=VALUE or NAME@FRAME=VALUE)");
  };
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return fail("no '='");
  std::string_view name = text.substr(0, eq);
  ParameterSetting setting;
  setting.where = where;
  setting.value = std::string(text.substr(eq + 1));
  // No display name holds '@', so the last one before '=' starts the frame.
  const std::size_t at = name.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view frameText = name.substr(at + 1);
    const auto frame = ParseNumber(frameText);
    if (!frame) return fail("the frame " + Quoted(Trim(frameText)) + " is not a number");
    setting.frame = *frame;
    name = name.substr(0, at);
  }
  name = Trim(name);
  if (name.empty()) return fail("no parameter name");
  setting.name = std::string(name);
  return setting;
}

void ApplySetting(zel::host::EffectInstance& instance, const ParameterSetting& setting) {
  try {
    if (instance.Find(setting.name) == nullptr)
      throw zel::host::HostError("no parameter named " + Quoted(setting.name) + " ('zelhost info' lists them)");
    instance.SetFromText(setting.name, setting.value, setting.frame);
  } catch (const zel::host::HostError& e) {
    throw zel::host::HostError(setting.where + ": " + e.what());
  }
}

}  // namespace zel::host
