// UTF-16 to UTF-8 for the layer's own use.
#pragma once

#include <string>

namespace zel::detail {

/// UTF-16 (`length` units, or up to the terminator when length < 0) to UTF-8; unpaired
/// surrogates become U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, int length);

}  // namespace zel::detail
