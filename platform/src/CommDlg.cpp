// The font dialog.
#include "CommDlg.h"
#include "ZelPlatformHost.h"
ZEL_PLATFORM_API BOOL ChooseFontW(CHOOSEFONTW*) { return FALSE; }
ZEL_PLATFORM_API void ZelSetFontPicker(ZelFontPickerProc, void*) {}
