#include "ProjectFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "OptionText.h"

namespace zelhost {

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
      } else {
        Fail("unknown member " + Quoted(key) + " (a project has \"parameters\" and \"font\")");
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

}  // namespace zelhost
