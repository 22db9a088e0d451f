// Text conversion between UTF-8 (the ANSI code page here) and UTF-16, and the last-error code.
#include "WinNls.h"

#include <string>

#include "TextConvert.h"

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;

// Decodes one UTF-8 sequence at s[i]; returns its code point and advances i, or returns
// U+FFFD (and *valid = false) and advances past the bad bytes.
char32_t DecodeUtf8(const unsigned char* s, int n, int& i, bool* valid) {
  unsigned char c = s[i];
  *valid = true;
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  if (len == 0 || i + len > n) {
    *valid = false;
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) {
      *valid = false;
      i += k;
      return 0xFFFD;
    }
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  i += len;
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *valid = false;
    return 0xFFFD;
  }
  return cp;
}
}  // namespace

namespace zel::detail {

std::string Utf16ToUtf8(const char16_t* text, int length) {
  std::string out;
  if (!text) return out;
  if (length < 0) {
    length = 0;
    while (text[length]) ++length;
  }
  out.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace zel::detail

ZEL_PLATFORM_API DWORD GetLastError(void) { return tLastError; }
ZEL_PLATFORM_API void SetLastError(DWORD code) { tLastError = code; }

ZEL_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wideChar,
                                         int cchWideChar) {
  if ((codePage != CP_ACP && codePage != CP_UTF8) || !multiByte || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !wideChar)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (flags & ~MB_ERR_INVALID_CHARS) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const auto* s = reinterpret_cast<const unsigned char*>(multiByte);
  int n = cbMultiByte;
  if (n < 0) {
    n = 0;
    while (s[n]) ++n;
    ++n;  // the terminator is converted and counted too
  }
  int out = 0;
  for (int i = 0; i < n;) {
    bool valid;
    char32_t cp = DecodeUtf8(s, n, i, &valid);
    if (!valid && (flags & MB_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    int units = cp >= 0x10000 ? 2 : 1;
    if (cchWideChar > 0) {
      if (out + units > cchWideChar) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      if (units == 2) {
        wideChar[out] = static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
        wideChar[out + 1] = static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        wideChar[out] = static_cast<WCHAR>(cp);
      }
    }
    out += units;
  }
  return out;
}

ZEL_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar, LPSTR multiByte,
                                         int cbMultiByte, LPCSTR defaultChar, BOOL* usedDefaultChar) {
  if ((codePage != CP_ACP && codePage != CP_UTF8) || !wideChar || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !multiByte) || defaultChar || usedDefaultChar) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (flags != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  int n = cchWideChar;
  if (n < 0) {
    n = 0;
    while (wideChar[n]) ++n;
    ++n;
  }
  std::string utf8 = zel::detail::Utf16ToUtf8(wideChar, n);
  int needed = static_cast<int>(utf8.size());
  if (cbMultiByte == 0) return needed;
  if (needed > cbMultiByte) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  utf8.copy(multiByte, utf8.size());
  return needed;
}
