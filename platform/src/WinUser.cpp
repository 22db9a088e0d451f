// Window look-up over Xlib.
#include "WinUser.h"
#include "ZelPlatformHost.h"
ZEL_PLATFORM_API HWND FindWindowW(LPCWSTR, LPCWSTR) { return nullptr; }
ZEL_PLATFORM_API void ZelRegisterWindow(LPCWSTR, LPCWSTR, HWND) {}
