#include "text/Text.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "WinNls.h"

namespace zel::host {

// The conversions are the platform library's (the host links it for its viewer anyway): one
// UTF-8 codec for the whole process, with malformed input of either kind turned into U+FFFD.

std::string ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  // The platform counts in int; no text the host handles comes near that, so longer is cut.
  const int units = static_cast<int>(std::min<std::size_t>(text.size(), std::numeric_limits<int>::max() / 4));
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::u16string ToUtf16(std::string_view text) {
  if (text.empty()) return {};
  const int bytes = static_cast<int>(std::min<std::size_t>(text.size(), std::numeric_limits<int>::max()));
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, out.data(), units);
  return out;
}

std::size_t Utf16Length(const char16_t* text, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

std::string UidText(const VOKUID& uid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", uid.Data1, uid.Data2,
                uid.Data3, uid.Data4[0], uid.Data4[1], uid.Data4[2], uid.Data4[3], uid.Data4[4], uid.Data4[5],
                uid.Data4[6], uid.Data4[7]);
  return text;
}

// Built by appending: GCC 12 misreads prepending to a temporary (-Wrestrict).
std::string Quoted(std::string_view text) {
  std::string s;
  s.reserve(text.size() + 2);
  s += '\'';
  s.append(text);
  s += '\'';
  return s;
}

}  // namespace zel::host
