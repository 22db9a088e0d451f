// Small readers for the text of command-line options and project files.
#pragma once

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Text.h"

namespace zelhost {

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

/// A whole decimal number with an optional sign, surrounding blanks allowed; nothing else.
inline std::optional<std::int64_t> ParseInteger(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

/// A finite decimal number ("12", "-0.5", "1e3"), surrounding blanks allowed; nothing else.
inline std::optional<double> ParseNumber(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

/// 1/0, yes/no, true/false, on/off in any case.
inline std::optional<bool> ParseYesNo(std::string_view s) {
  s = Trim(s);
  for (const char* yes : {"1", "yes", "true", "on"})
    if (EqualsIgnoringCase(s, yes)) return true;
  for (const char* no : {"0", "no", "false", "off"})
    if (EqualsIgnoringCase(s, no)) return false;
  return std::nullopt;
}

/// The shortest text that reads back as the same number ("25", "0.05", "-2").
inline std::string NumberText(double v) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

using zel::host::Quoted;

}  // namespace zelhost
