#include "settings/ProjectFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "text/Text.h"

namespace zel::host {

namespace {

// Members keep the order of the file, so that later entries win as a reader expects.
using Json = nlohmann::ordered_json;

/// A value as EffectInstance::Parse reads it; nullopt for a JSON value no parameter can take.
std::optional<std::string> ValueText(const Json& v) {
  if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
  if (v.is_number_integer()) return std::to_string(v.get<std::int64_t>());
  if (v.is_number_unsigned()) return std::to_string(v.get<std::uint64_t>());
  if (v.is_number_float()) return NumberText(v.get<double>());
  if (v.is_string()) return v.get<std::string>();
  if (v.is_array() && v.size() == 3 && v[0].is_number() && v[1].is_number() && v[2].is_number())
    return NumberText(v[0].get<double>()) + "," + NumberText(v[1].get<double>()) + "," + NumberText(v[2].get<double>());
  return std::nullopt;
}

const char* TypeName(const Json& v) { return v.type_name(); }

/// nlohmann's messages start with "[json.exception.parse_error.101] "; the rest says where.
std::string WithoutTag(const std::string& message) {
  const std::size_t close = message.find("] ");
  return message.rfind("[json.exception.", 0) == 0 && close != std::string::npos ? message.substr(close + 2) : message;
}

class Reader {
 public:
  explicit Reader(const std::string& path) : m_where("project " + Quoted(path)) {}

  Project Read(std::string_view text) {
    Json root;
    try {
      root = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
      Fail(WithoutTag(e.what()));
    }
    if (!root.is_object()) Fail("expected a JSON object with \"parameters\" and \"font\", found " + std::string(TypeName(root)));
    Project project;
    for (const auto& [key, value] : root.items()) {
      if (key == "parameters") {
        ReadParameters(value, project);
      } else if (key == "font") {
        project.font = ReadFont(value);
      } else if (key == "timecode" || key == "datetime") {
        if (!value.is_string()) Fail(Quoted(key) + " must be a text (\"source\" or the value itself)");
        (key == "timecode" ? project.timeCode : project.dateTime) = value.get<std::string>();
      } else {
        Fail("unknown member " + Quoted(key) +
             " (a project has \"parameters\", \"font\", \"timecode\" and \"datetime\")");
      }
    }
    return project;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const { throw ProjectError(m_where + ": " + why); }

  void ReadParameters(const Json& parameters, Project& project) const {
    if (!parameters.is_object())
      Fail("\"parameters\" must be an object of name: value, found " + std::string(TypeName(parameters)));
    // Not a structured binding: clang 14 (the fuzz build) cannot capture one in the lambda below.
    for (const auto& item : parameters.items()) {
      const std::string& name = item.key();
      const Json& value = item.value();
      const std::string entry = m_where + ", parameter " + Quoted(name);
      const auto setting = [&](const Json& v, std::optional<double> frame, const std::string& where) {
        const auto text = ValueText(v);
        if (!text)
          throw ProjectError(where + ": a value must be a number, true/false, a text or [red, green, blue], found " +
                             TypeName(v) + " " + v.dump());
        project.settings.push_back(ParameterSetting{name, *text, frame, where});
      };
      if (!(value.is_array() && !value.empty() && value[0].is_object())) {
        setting(value, std::nullopt, entry);
        continue;
      }
      // Keyframes: [{"frame": F, "value": V}, ...].
      for (std::size_t i = 0; i < value.size(); ++i) {
        const Json& key = value[i];
        const std::string where = entry + ", key " + std::to_string(i + 1);
        if (!key.is_object()) throw ProjectError(where + ": a key must be {\"frame\": F, \"value\": V}");
        for (const auto& [member, ignored] : key.items())
          if (member != "frame" && member != "value")
            throw ProjectError(where + ": unknown member " + Quoted(member) + " (a key has \"frame\" and \"value\")");
        if (!key.contains("frame") || !key["frame"].is_number())
          throw ProjectError(where + ": \"frame\" must be a number");
        if (!key.contains("value")) throw ProjectError(where + ": \"value\" is missing");
        setting(key["value"], key["frame"].get<double>(), where);
      }
    }
  }

  FontSpec ReadFont(const Json& font) const {
    const std::string where = m_where + ", font";
    try {
      if (font.is_string()) return ParseFontSpec(font.get<std::string>());
      if (!font.is_object()) throw FontSpecError("must be a text or an object, found " + std::string(TypeName(font)));
      FontSpec spec;
      for (const auto& [key, value] : font.items()) {
        const auto text = ValueText(value);
        if (!text || value.is_array()) throw FontSpecError(Quoted(key) + " must be a number, true/false or a text");
        SetFontField(spec, key, *text);
      }
      return spec;
    } catch (const FontSpecError& e) {
      throw ProjectError(where + " " + e.what());
    }
  }

  std::string m_where;
};

}  // namespace

Project ParseProject(std::string_view text, const std::string& path) { return Reader(path).Read(text); }

Project ReadProject(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ProjectError("project " + Quoted(path) + ": cannot read it: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ProjectError("project " + Quoted(path) + ": cannot read it");
  return ParseProject(text.str(), path);
}

// --- applying and writing -------------------------------------------------------------------------

namespace {

using zel::host::EffectInstance;
using zel::host::ParameterInfo;
using zel::host::ParameterValue;
using zel::host::ParamValue;
using zel::host::ValueKind;

constexpr const char* kFontParameter = "PrivateData";

void SetFont(EffectInstance& instance, const FontSpec& font, const std::string& where) {
  ParamValue value;
  value.bytes = MakeFontRecord(font);
  ParameterValue* data = instance.Find(kFontParameter);
  if (data == nullptr || !data->Set(value))
    throw zel::host::HostError(where + ": the plug-in has no 92-byte \"PrivateData\" font record to take it");
}

/// The name under which a reader finds `p`: a list by its list box's name ("Clock Type List" says
/// more than "the List value"), else its display name; empty when neither finds it.
std::string NameOf(const EffectInstance& instance, const ParameterInfo& info, const ParameterValue& p) {
  if (info.isList && info.entry != nullptr && info.entry->name && instance.Find(*info.entry->name) == &p)
    return *info.entry->name;
  if (instance.Find(info.name) == &p) return info.name;
  return {};
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0xF]);
  }
  return text;
}

Json ValueJson(const ParameterInfo& info, const ParameterValue& p, const ParamValue& v) {
  if (info.isList) {
    // The item's name when it reads back as this item: Parse takes the first item whose name
    // matches in any case.
    const auto value = static_cast<std::int32_t>(v.num[0]);
    const zel::host::ListItem* item = info.FindItemByValue(value);
    if (item != nullptr && !item->name.empty())
      for (const zel::host::ListItem& other : info.items)
        if (EqualsIgnoringCase(other.name, item->name)) return other.value == value ? Json(item->name) : Json(value);
    return value;
  }
  switch (p.Kind()) {
    case ValueKind::Integer:
    case ValueKind::SignedInteger:
      return static_cast<std::int64_t>(v.num[0]);
    case ValueKind::Double:
      return v.num[0];
    case ValueKind::Boolean:
      return v.num[0] != 0;
    case ValueKind::Rgb:
      return Json::array({v.num[0], v.num[1], v.num[2]});
    case ValueKind::Text:
    case ValueKind::String:
      return v.text;
    case ValueKind::Uid:
    case ValueKind::Bytes:
    case ValueKind::Unknown:
      return Hex(v.bytes);
  }
  return nullptr;
}

bool ChannelsKeyed(const ParameterValue& colour) {
  for (const auto& c : colour.Channels())
    if (c->Keyed()) return true;
  return false;
}

/// The colour triple that `channel` is a channel of, or null.
const ParameterValue* ColourOf(const EffectInstance& instance, const ParameterInfo& channel) {
  for (const ParameterInfo& other : instance.Parameters().Parameters())
    if (std::find(other.components.begin(), other.components.end(), channel.index) != other.components.end())
      return instance.Find(other.uid);
  return nullptr;
}

/// A constant, or the list of keys of a keyed parameter.
Json ParameterJson(const ParameterInfo& info, const ParameterValue& p) {
  const std::vector<double> times = p.KeyTimes();
  if (times.empty()) return ValueJson(info, p, p.ValueAt());
  Json keys = Json::array();
  for (double t : times) keys.push_back(Json{{"frame", t}, {"value", ValueJson(info, p, p.ValueAt(t))}});
  return keys;
}

/// The font record as "font" when its fields say all of it and read back the same.
std::optional<Json> FontJson(const ParameterValue& data) {
  if (data.Keyed()) return std::nullopt;
  const auto spec = FontSpecOfRecord(data.ValueAt().bytes);
  if (!spec) return std::nullopt;
  Json font = Json::object();
  font["face"] = spec->face;
  font["height"] = spec->height;
  font["weight"] = spec->weight;
  font["italic"] = spec->italic;
  font["underline"] = spec->underline;
  font["strikeout"] = spec->strikeOut;
  try {
    const Project back = ParseProject(Json{{"font", font}}.dump(), "");
    if (back.font && MakeFontRecord(*back.font) == data.ValueAt().bytes) return font;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace

void ApplyProject(EffectInstance& instance, const Project& project, const std::string& path) {
  for (const ParameterSetting& setting : project.settings) ApplySetting(instance, setting);
  if (project.font) SetFont(instance, *project.font, "project " + Quoted(path) + ", font");
}

std::string ProjectText(const EffectInstance& instance, const std::string& timeCode, const std::string& dateTime) {
  Json parameters = Json::object();
  std::optional<Json> font;
  for (const ParameterInfo& info : instance.Parameters().Parameters()) {
    const ParameterValue* p = instance.Find(info.uid);
    if (p == nullptr) continue;
    if (info.name == kFontParameter && p->Kind() == ValueKind::Bytes && (font = FontJson(*p))) continue;
    // A colour is written whole unless a channel has keys of its own; then its channels are.
    if (p->IsComposite() && ChannelsKeyed(*p)) continue;
    if (const ParameterValue* colour = ColourOf(instance, info); colour && !ChannelsKeyed(*colour)) continue;
    const std::string name = NameOf(instance, info, *p);
    if (name.empty()) continue;
    parameters[name] = ParameterJson(info, *p);
  }
  Json root = Json::object();
  root["parameters"] = std::move(parameters);
  if (font) root["font"] = std::move(*font);
  if (!timeCode.empty()) root["timecode"] = timeCode;
  if (!dateTime.empty()) root["datetime"] = dateTime;
  return root.dump(2) + "\n";
}

void WriteProject(const EffectInstance& instance, const std::string& path, const std::string& timeCode,
                  const std::string& dateTime) {
  const std::string text = ProjectText(instance, timeCode, dateTime);
  const std::filesystem::path target(path);
  std::string hidden = ".";
  hidden.append(target.filename().string()).append(".saving-").append(std::to_string(getpid()));
  const std::filesystem::path pending = target.parent_path() / hidden;
  const auto fail = [&](const std::string& why) {
    std::error_code ignored;
    std::filesystem::remove(pending, ignored);
    throw ProjectError("project " + Quoted(path) + ": cannot save it: " + why);
  };
  {
    std::ofstream out(pending, std::ios::binary | std::ios::trunc);
    if (!out) fail(std::strerror(errno));
    out << text;
    out.flush();
    if (!out) fail(std::strerror(errno));
  }
  if (std::rename(pending.c_str(), target.c_str()) != 0) fail(std::strerror(errno));
}

}  // namespace zel::host
