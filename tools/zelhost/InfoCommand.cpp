// zelhost info: the plug-in's identity, its components, its parameter catalogue and panel tree,
// as text for people or as one JSON object for scripts.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "definitions/Catalogue.h"
#include "Commands.h"
#include "loading/PluginModule.h"
#include "text/Text.h"

namespace zelhost {

using zel::host::AttributeRole;
using zel::host::NumberText;
using zel::host::Catalogue;
using zel::host::LayoutKind;
using zel::host::LayoutNode;
using zel::host::ParameterInfo;
using zel::host::ToUtf8;
using zel::host::UidText;
using zel::host::Value;
using zel::host::ValueKind;
// Keys stay in the order they are written, so the output reads top-down like the text form.
using Json = nlohmann::ordered_json;

namespace {

struct InfoOptions {
  std::string plugin;
  bool json = false;
};

constexpr AttributeRole kRangeRoles[] = {AttributeRole::Default, AttributeRole::Minimum, AttributeRole::Maximum,
                                         AttributeRole::Increment, AttributeRole::Remap};

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

/// The shortest text that reads back as the same double ("0.05", "50", "-500").
// --- JSON ---------------------------------------------------------------------------------------

/// Numbers stay numbers (integers as integers), RGB triples arrays of three, text text, bytes and
/// anything the host cannot read lower-case hex.
Json ValueJson(const Value& v) {
  switch (v.kind) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
      return static_cast<std::int64_t>(v.number);
    case ValueKind::Double:
      return v.number;
    case ValueKind::Boolean:
      return v.number != 0;
    case ValueKind::Rgb:
      return Json::array({v.rgb[0], v.rgb[1], v.rgb[2]});
    case ValueKind::Text:
    case ValueKind::String:
      return v.text;
    case ValueKind::Uid: {
      VOKUID uid;
      std::memcpy(&uid, v.bytes.data(), sizeof uid);
      return UidText(uid);
    }
    case ValueKind::Bytes:
    case ValueKind::Unknown:
      break;
  }
  return HexText(v.bytes);
}

Json OptionalValueJson(const Value* v) { return v ? ValueJson(*v) : Json(); }

Json IdentityJson(const zel::host::Plugin& plugin) {
  const auto& def = plugin.Definition();
  Json out;
  const auto* description = def.attributes.Find(ZELAttr_Description);
  out["plugin"] = {{"file", ToUtf8(def.fileName)},
                   {"vendor", ToUtf8(def.vendorName)},
                   {"description", description && description->isText ? Json(ToUtf8(description->text)) : Json()},
                   {"version", std::to_string(def.versionMajor) + "." + std::to_string(def.versionMinor)}};
  out["components"] = Json::array();
  for (std::size_t i = 0; i < plugin.Components().size(); ++i) {
    const auto& c = *plugin.Components()[i].Get();
    out["components"].push_back(
        {{"index", i}, {"name", ToUtf8(c.name)}, {"kind", zel::host::ComponentKindName(c.kind)}});
  }
  return out;
}

Json ParameterJson(const Catalogue& catalogue, const ParameterInfo& p) {
  Json out = {{"name", p.name}, {"tooltip", p.tooltip}, {"type", zel::host::ValueKindName(p.kind)}};
  for (AttributeRole role : kRangeRoles)
    out[zel::host::AttributeRoleName(role)] = OptionalValueJson(p.attributes.Get(role));
  Json components = Json::array();
  for (std::size_t c : p.components) components.push_back(catalogue.Parameters()[c].name);
  out["components"] = std::move(components);
  if (p.isList) {
    Json items = Json::array();
    for (const auto& item : p.items) items.push_back({{"name", item.name}, {"value", item.value}});
    out["items"] = std::move(items);
  }
  return out;
}

Json LayoutJson(const Catalogue& catalogue, const LayoutNode& node) {
  Json out = {{"name", node.name ? Json(*node.name) : Json()},
              {"tooltip", node.tooltip ? Json(*node.tooltip) : Json()},
              {"kind", zel::host::LayoutKindName(node.kind)},
              {"parameter", node.parameter ? Json(catalogue.Parameters()[*node.parameter].name) : Json()},
              {"value", node.value ? Json(*node.value) : Json()}};
  Json attributes = Json::object();
  for (const auto& a : node.attributes.all) {
    const std::string key = a.role == AttributeRole::Other ? UidText(a.id) : zel::host::AttributeRoleName(a.role);
    attributes[key] = ValueJson(a.value);
  }
  out["attributes"] = std::move(attributes);
  Json children = Json::array();
  for (const LayoutNode& child : node.children) children.push_back(LayoutJson(catalogue, child));
  out["children"] = std::move(children);
  return out;
}

Json EffectJson(const Catalogue& catalogue) {
  const auto& effect = catalogue.Effect();
  Json out;
  Json parameters = Json::array();
  for (const ParameterInfo& p : catalogue.Parameters()) parameters.push_back(ParameterJson(catalogue, p));
  out["parameters"] = std::move(parameters);
  Json layout = Json::array();
  for (const LayoutNode& node : catalogue.Layout()) layout.push_back(LayoutJson(catalogue, node));
  out["layout"] = std::move(layout);
  auto ports = [](const std::vector<zel::host::ComponentDefinition::Port>& list) {
    Json a = Json::array();
    for (const auto& port : list) a.push_back({{"name", ToUtf8(port.name)}, {"uid", UidText(port.uid)}});
    return a;
  };
  out["inputs"] = ports(effect.inputs);
  out["outputs"] = ports(effect.outputs);
  Json models = Json::array();
  for (const auto& m : effect.colorModels) models.push_back({{"model", m.model}, {"flags", m.flags}});
  out["colorModels"] = std::move(models);
  return out;
}

// --- text ---------------------------------------------------------------------------------------

std::string ValueText(const Value* v) {
  if (v == nullptr) return "-";
  switch (v->kind) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
    case ValueKind::Double:
      return NumberText(v->number);
    case ValueKind::Boolean:
      return v->number != 0 ? "true" : "false";
    case ValueKind::Rgb:
      return "(" + NumberText(v->rgb[0]) + ", " + NumberText(v->rgb[1]) + ", " + NumberText(v->rgb[2]) + ")";
    case ValueKind::Text:
    case ValueKind::String:
      return "\"" + v->text + "\"";
    case ValueKind::Bytes:
    case ValueKind::Uid:
    case ValueKind::Unknown:
      break;
  }
  return std::to_string(v->bytes.size()) + " bytes";
}

void PrintIdentity(const zel::host::Plugin& plugin, std::ostream& out) {
  const auto& def = plugin.Definition();
  const auto* description = def.attributes.Find(ZELAttr_Description);
  out << "Plug-in     " << ToUtf8(def.fileName) << " " << def.versionMajor << "." << def.versionMinor << "\n"
      << "Vendor      " << ToUtf8(def.vendorName) << "\n"
      << "Description " << (description && description->isText ? ToUtf8(description->text) : "") << "\n"
      << "Loaded from " << plugin.Module().Path().string() << "\n\nComponents\n";
  for (std::size_t i = 0; i < plugin.Components().size(); ++i) {
    const auto& c = *plugin.Components()[i].Get();
    out << "  " << i << "  " << ToUtf8(c.name) << " (" << zel::host::ComponentKindName(c.kind) << ")\n";
  }
}

/// Text is counted in code points, so that column widths hold for non-ASCII names too.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void PrintParameters(const Catalogue& catalogue, std::ostream& out) {
  static const char* const kHeadings[] = {"#", "Name", "Type", "Default", "Min", "Max", "Increment", "Remap"};
  constexpr std::size_t kColumns = std::size(kHeadings);
  std::vector<std::array<std::string, kColumns>> rows;
  rows.push_back({});
  for (std::size_t c = 0; c < kColumns; ++c) rows.back()[c] = kHeadings[c];
  for (const ParameterInfo& p : catalogue.Parameters()) {
    std::array<std::string, kColumns> row;
    row[0] = std::to_string(p.index + 1);
    row[1] = p.name;
    row[2] = zel::host::ValueKindName(p.kind);
    if (p.isList) row[2] += " (list)";
    if (!p.components.empty()) {
      row[2] += " of";
      for (std::size_t c : p.components) row[2] += " " + std::to_string(c + 1);
    }
    for (std::size_t r = 0; r < std::size(kRangeRoles); ++r) row[3 + r] = ValueText(p.attributes.Get(kRangeRoles[r]));
    rows.push_back(std::move(row));
  }
  std::array<std::size_t, kColumns> widths{};
  for (const auto& row : rows)
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], Width(row[c]));
  out << "\nParameters (" << catalogue.Parameters().size() << ")\n";
  for (const auto& row : rows) {
    std::string line = "  ";
    for (std::size_t c = 0; c < kColumns; ++c) {
      line += row[c];
      if (c + 1 < kColumns) line.append(widths[c] - Width(row[c]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  }
}

void PrintNode(const Catalogue& catalogue, const LayoutNode& node, std::size_t depth, std::ostream& out) {
  out << std::string(2 + depth * 2, ' ');
  if (node.kind == LayoutKind::ListItem) {
    out << (node.name ? *node.name : "(unnamed)") << " = " << node.value.value_or(0);
    if (!node.attributes.Get(AttributeRole::Default)) out << " (no value attribute)";
    out << "\n";
    return;
  }
  out << (node.name ? "\"" + *node.name + "\"" : "(unnamed)") << " " << zel::host::LayoutKindName(node.kind);
  if (node.parameter) out << " for \"" << catalogue.Parameters()[*node.parameter].name << "\"";
  if (node.tooltip && node.tooltip != node.name) out << "  - " << *node.tooltip;
  for (const auto& a : node.attributes.all) {
    const char* role = a.role == AttributeRole::Other ? "other" : zel::host::AttributeRoleName(a.role);
    out << "  " << role << " " << ValueText(&a.value);
  }
  out << "\n";
  for (const LayoutNode& child : node.children) PrintNode(catalogue, child, depth + 1, out);
}

void PrintEffect(const Catalogue& catalogue, std::ostream& out) {
  PrintParameters(catalogue, out);
  out << "\nPanel\n";
  for (const LayoutNode& node : catalogue.Layout()) PrintNode(catalogue, node, 0, out);
  if (catalogue.Truncated()) out << "  (entries nested deeper than " << Catalogue::kMaxDepth << " levels left out)\n";
  const auto& effect = catalogue.Effect();
  out << "\nInputs     ";
  for (const auto& port : effect.inputs) out << " \"" << ToUtf8(port.name) << "\"";
  out << "\nOutputs    ";
  for (const auto& port : effect.outputs) out << " \"" << ToUtf8(port.name) << "\"";
  out << "\nColour models";
  for (const auto& m : effect.colorModels) out << " " << m.model << " (flags " << m.flags << ")";
  out << "\n";
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
    const zel::host::ComponentDefinition* effect = plugin.Effect();
    std::unique_ptr<Catalogue> catalogue;
    if (effect != nullptr) catalogue = std::make_unique<Catalogue>(*effect);
    if (options->json) {
      Json out = IdentityJson(plugin);
      Json rest = catalogue ? EffectJson(*catalogue)
                            : Json{{"parameters", Json::array()}, {"layout", Json::array()}, {"inputs", Json::array()},
                                   {"outputs", Json::array()}, {"colorModels", Json::array()}};
      for (auto& [key, value] : rest.items()) out[key] = value;
      std::cout << out.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    } else {
      PrintIdentity(plugin, std::cout);
      if (catalogue) {
        PrintEffect(*catalogue, std::cout);
      } else {
        std::cout << "\nThe plug-in registers no effect.\n";
      }
    }
    return 0;
  };
}

}  // namespace zelhost
