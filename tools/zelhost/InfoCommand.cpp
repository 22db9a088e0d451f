// zelhost info: the plug-in's identity, its components, its parameter catalogue and panel tree.
#include <iostream>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "PluginModule.h"
#include "Text.h"

namespace zelhost {

using zel::host::ToUtf8;

namespace {

struct InfoOptions {
  std::string plugin;
  bool json = false;
};

nlohmann::json IdentityJson(const zel::host::Plugin& plugin) {
  const auto& def = plugin.Definition();
  nlohmann::json out;
  const auto* description = def.attributes.Find(ZELAttr_Description);
  out["plugin"] = {{"file", ToUtf8(def.fileName)},
                   {"vendor", ToUtf8(def.vendorName)},
                   {"description", description ? nlohmann::json(ToUtf8(description->text)) : nlohmann::json()},
                   {"version", std::to_string(def.versionMajor) + "." + std::to_string(def.versionMinor)}};
  out["components"] = nlohmann::json::array();
  for (std::size_t i = 0; i < plugin.Components().size(); ++i) {
    const auto& c = *plugin.Components()[i].Get();
    out["components"].push_back(
        {{"index", i}, {"name", ToUtf8(c.name)}, {"kind", zel::host::ComponentKindName(c.kind)}});
  }
  return out;
}

void PrintIdentity(const zel::host::Plugin& plugin, std::ostream& out) {
  const auto& def = plugin.Definition();
  const auto* description = def.attributes.Find(ZELAttr_Description);
  out << "Plug-in     " << ToUtf8(def.fileName) << " " << def.versionMajor << "." << def.versionMinor << "\n"
      << "Vendor      " << ToUtf8(def.vendorName) << "\n"
      << "Description " << (description ? ToUtf8(description->text) : "") << "\n"
      << "Loaded from " << plugin.Module().Path().string() << "\n\nComponents\n";
  for (std::size_t i = 0; i < plugin.Components().size(); ++i) {
    const auto& c = *plugin.Components()[i].Get();
    out << "  " << i << "  " << ToUtf8(c.name) << " (" << zel::host::ComponentKindName(c.kind) << ")\n";
  }
}

}  // namespace

CommandRunner AddInfoCommand(CLI::App& app) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* cmd = app.add_subcommand("info", "Show the plug-in's identity, components, parameters and panel.");
  cmd->add_option("PLUGIN", options->plugin, "The plug-in file (default: ZEL2Clock.zel beside zelhost)");
  cmd->add_flag("--json", options->json, "Print one JSON object instead of text");
  return [options]() {
    const auto path = options->plugin.empty() ? zel::host::DefaultPluginPath() : std::filesystem::path(options->plugin);
    zel::host::Plugin plugin(path);
    if (options->json) {
      std::cout << IdentityJson(plugin).dump(2) << "\n";
    } else {
      PrintIdentity(plugin, std::cout);
    }
    return 0;
  };
}

}  // namespace zelhost
