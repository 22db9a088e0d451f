// UTF-16 (the contract's text) to and from UTF-8 (everything the host prints and reads).
#pragma once

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

}  // namespace zel::host
