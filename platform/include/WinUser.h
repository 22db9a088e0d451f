// Window look-up.
#pragma once

#include "WinTypes.h"

/// The top-level window whose class (the X11 WM_CLASS class or instance, case-insensitive) is
/// `className` and whose title (_NET_WM_NAME, else WM_NAME) is `windowName`; either may be null to
/// match any. Windows a host registered with ZelRegisterWindow are found first. Null when there is
/// no such window or no X display. The handle is the X11 window id.
ZEL_PLATFORM_API HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
