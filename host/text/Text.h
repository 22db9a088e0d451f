// The host's text: UTF-16 (the contract's text) to and from UTF-8 (everything the host prints and
// reads), and the small readers and writers every front end uses for option values, project files
// and messages. One set of rules for all of them: blanks are ASCII white space, case is compared
// in ASCII (never by locale), numbers are decimal with an optional sign.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "VOKBase.h"

namespace zel::host {

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
/// Length of a zero-terminated UTF-16 text, at most `limit` units.
std::size_t Utf16Length(const char16_t* text, std::size_t limit = static_cast<std::size_t>(-1));
/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" text of a UID.
std::string UidText(const VOKUID& uid);
/// 'text' with single quotes around it, for messages.
std::string Quoted(std::string_view text);

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/// `s` without the blanks at either end.
inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
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

}  // namespace zel::host
