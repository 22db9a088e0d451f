// The common font dialog.
#pragma once

#include "WinTypes.h"

using LPCFHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

/// Font dialog description. The fields are the platform's; its size differs (pointers are 8 bytes
/// and there is no packing), so lStructSize must be sizeof(CHOOSEFONTW) here (104 on the
/// original 64-bit platform as well).
struct CHOOSEFONTW {
  DWORD lStructSize;
  HWND hwndOwner;
  HDC hDC;
  LOGFONTW* lpLogFont;  ///< the record to start from (CF_INITTOLOGFONTSTRUCT) and to fill
  INT iPointSize;       ///< out: size in tenths of a point
  DWORD Flags;
  COLORREF rgbColors;
  LPARAM lCustData;
  LPCFHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  HINSTANCE hInstance;
  LPWSTR lpszStyle;
  WORD nFontType;
  WORD ___MISSING_ALIGNMENT__;
  INT nSizeMin;
  INT nSizeMax;
};

constexpr DWORD CF_SCREENFONTS = 0x00000001;
constexpr DWORD CF_INITTOLOGFONTSTRUCT = 0x00000040;
constexpr DWORD CF_EFFECTS = 0x00000100;

/// Shows a modal font dialog owned by hwndOwner (may be null) and starting from *lpLogFont.
/// TRUE when the user confirmed: *lpLogFont then holds the choice (face name at most 31 UTF-16
/// units and a terminator, lfHeight = -round(points x 96 / 72), lfWeight, lfItalic; the other
/// fields as they were) and iPointSize the size in tenths of a point. FALSE on cancel or when no
/// dialog can be shown (no display, no GTK 3, a bad argument); *lpLogFont is then unchanged.
///
/// Uses the font picker a host installed with ZelSetFontPicker when there is one, otherwise the
/// GTK 3 font chooser, loaded on first use (GTK runs on the calling thread, which must be the
/// process's main thread).
ZEL_PLATFORM_API BOOL ChooseFontW(CHOOSEFONTW* cf);
