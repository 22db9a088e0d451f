// Text conversion between byte strings and UTF-16.
#pragma once

#include "WinTypes.h"

constexpr UINT CP_ACP = 0;  ///< the thread's ANSI code page: UTF-8 here
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;

/// Converts `cbMultiByte` bytes (-1: up to and including the terminator) of `codePage` text
/// (CP_ACP and CP_UTF8 are UTF-8) to UTF-16. With cchWideChar 0 returns the units needed;
/// otherwise writes at most cchWideChar units and returns how many. Invalid sequences become
/// U+FFFD, or fail with ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS. 0 on failure
/// (GetLastError says why; ERROR_INSUFFICIENT_BUFFER when the output does not fit).
ZEL_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                                         LPWSTR wideChar, int cchWideChar);
/// The reverse: UTF-16 to UTF-8 (unpaired surrogates become U+FFFD). `defaultChar` and
/// `usedDefaultChar` must be null for UTF-8, as on the platform.
ZEL_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                                         LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                                         BOOL* usedDefaultChar);
