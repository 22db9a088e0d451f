// Basic types of the platform API, laid out as on the original platform (LLP64 sizes: LONG and
// DWORD are 32 bits, WCHAR is a UTF-16 code unit). Every header of the platform layer includes it.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(ZEL_PLATFORM_BUILD)
#define ZEL_PLATFORM_API extern "C" __attribute__((visibility("default")))
#else
#define ZEL_PLATFORM_API extern "C"
#endif

#define WINAPI
#define CALLBACK

using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using UINT32 = std::uint32_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using FLOAT = float;
using CHAR = char;
/// UTF-16 code unit: the platform's wide character. (wchar_t is 32 bits on Linux.)
using WCHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using COLORREF = DWORD;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Handles are distinct pointer types so that overloads and mistakes show at compile time; every
// GDI object handle converts to HGDIOBJ implicitly, as on the platform.
#define ZEL_DECLARE_HANDLE(name) \
  struct name##__;               \
  using name = name##__*
ZEL_DECLARE_HANDLE(HDC);
ZEL_DECLARE_HANDLE(HBITMAP);
ZEL_DECLARE_HANDLE(HPEN);
ZEL_DECLARE_HANDLE(HBRUSH);
ZEL_DECLARE_HANDLE(HFONT);
ZEL_DECLARE_HANDLE(HRGN);
ZEL_DECLARE_HANDLE(HWND);
ZEL_DECLARE_HANDLE(HINSTANCE);
using HGDIOBJ = void*;

/// COLORREF 0x00BBGGRR from its three channels.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

constexpr int LF_FACESIZE = 32;

/// A logical font record. 92 bytes, the layout the plug-in stores in its font parameter.
struct LOGFONTW {
  LONG lfHeight;       ///< < 0: character height in device pixels; > 0: cell height; 0: default
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;       ///< 0 default, 400 normal, 700 bold (100..900)
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];  ///< UTF-16, terminated within the 32 units when well formed
};
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW must keep the platform's 92-byte layout");
static_assert(offsetof(LOGFONTW, lfFaceName) == 28);

constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr BYTE DEFAULT_CHARSET = 1;

struct CIEXYZ {
  LONG ciexyzX;
  LONG ciexyzY;
  LONG ciexyzZ;
};
struct CIEXYZTRIPLE {
  CIEXYZ ciexyzRed;
  CIEXYZ ciexyzGreen;
  CIEXYZ ciexyzBlue;
};

/// Version 5 bitmap header (124 bytes).
struct BITMAPV5HEADER {
  DWORD bV5Size;
  LONG bV5Width;
  LONG bV5Height;  ///< negative: top-down rows (row 0 is the top row)
  WORD bV5Planes;
  WORD bV5BitCount;
  DWORD bV5Compression;
  DWORD bV5SizeImage;
  LONG bV5XPelsPerMeter;
  LONG bV5YPelsPerMeter;
  DWORD bV5ClrUsed;
  DWORD bV5ClrImportant;
  DWORD bV5RedMask;
  DWORD bV5GreenMask;
  DWORD bV5BlueMask;
  DWORD bV5AlphaMask;
  DWORD bV5CSType;
  CIEXYZTRIPLE bV5Endpoints;
  DWORD bV5GammaRed;
  DWORD bV5GammaGreen;
  DWORD bV5GammaBlue;
  DWORD bV5Intent;
  DWORD bV5ProfileData;
  DWORD bV5ProfileSize;
  DWORD bV5Reserved;
};
static_assert(sizeof(BITMAPV5HEADER) == 124, "BITMAPV5HEADER must keep the platform's 124-byte layout");

/// Version 3 bitmap header (40 bytes): the common prefix of every bitmap header.
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD LCS_WINDOWS_COLOR_SPACE = 0x57696E20;
constexpr DWORD LCS_GM_ABS_COLORIMETRIC = 8;

/// Last-error code of the calling thread (per thread, as on the platform).
ZEL_PLATFORM_API DWORD GetLastError(void);
ZEL_PLATFORM_API void SetLastError(DWORD code);
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
