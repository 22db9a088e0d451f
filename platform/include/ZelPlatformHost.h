// Extensions of the platform layer for hosts, tests and the plug-in's bitmap handling: things the
// original platform provides by other means (a window system with its own surfaces and dialogs)
// or that only this layer knows (which part of a DIB section was drawn).
#pragma once

#include "WinTypes.h"

/// A DC over the caller's own 32-bit pixels (B, G, R, A bytes; `stride` bytes between rows, a
/// multiple of 4, at least width x 4; row 0 the top row). GDI primitives and graphics objects
/// made on it draw into those pixels; the caller keeps ownership of them and must keep them alive
/// until DeleteDC. Null for a null buffer or a bad size.
ZEL_PLATFORM_API HDC ZelCreateSurfaceDC(void* pixels, int width, int height, int stride);

/// A DC that measures instead of drawing: graphics objects and primitives on it behave as on a
/// memory DC holding a width x height DIB section, but write no pixel; ZelGetMeasuredRect then
/// gives the rectangle that drawing covered, the same that ZelGetDibDrawnRect gives after the
/// same drawing on such a DIB section. So a caller learns where a drawing lands for the cost of
/// its geometry. Null for a size CreateDIBSection refuses. Delete it with DeleteDC.
ZEL_PLATFORM_API HDC ZelCreateMeasureDC(int width, int height);
/// The rectangle drawing on a measuring DC has covered so far (as ZelGetDibDrawnRect reports it);
/// FALSE for a DC that does not measure.
ZEL_PLATFORM_API BOOL ZelGetMeasuredRect(HDC dc, RECT* covered);

/// The rectangle (image coordinates, top row 0 whatever the row order; right and bottom
/// excluded) that holds everything drawn into the DIB section since it was made or cleared,
/// rounded out to whole pixels. Outside it every byte is 0. An empty rectangle (all 0) when
/// nothing was drawn. FALSE for a handle that is not a DIB section.
ZEL_PLATFORM_API BOOL ZelGetDibDrawnRect(HBITMAP bitmap, RECT* drawn);
/// Zeroes the drawn rectangle and empties it: afterwards every byte of the bitmap is 0. The cost
/// is that of the drawn area, not of the whole bitmap.
ZEL_PLATFORM_API BOOL ZelClearDib(HBITMAP bitmap);
/// Tells the layer that the caller wrote `rect` (image coordinates) of the bits itself, so that
/// the drawn rectangle and the clearing of reused memory include it.
ZEL_PLATFORM_API BOOL ZelMarkDibDrawn(HBITMAP bitmap, const RECT* rect);
/// The same for bits the caller wrote in the 2-D library's own premultiplied form: what a graphics
/// object drew there before it was deleted or flushed (until then the pixels it draws are
/// premultiplied, colour x alpha / 255 as Cairo rounds it). The next drawing goes on over them as
/// over its own, and they are handed over (made straight) with it, pixel for pixel as if that
/// earlier drawing had never been handed over. So a caller may keep a drawing that does not change
/// and start later frames from it.
ZEL_PLATFORM_API BOOL ZelMarkDibPremultiplied(HBITMAP bitmap, const RECT* rect);

/// A host's own font picker: edits *font (same rules as ChooseFontW's result) and returns TRUE
/// to confirm, FALSE to cancel. `owner` is the dialog's owner window as given to ChooseFontW.
using ZelFontPickerProc = BOOL (*)(void* context, HWND owner, LOGFONTW* font);
/// Installs (or, with null, removes) the picker ChooseFontW uses instead of the GTK dialog.
ZEL_PLATFORM_API void ZelSetFontPicker(ZelFontPickerProc picker, void* context);

/// Makes FindWindowW(className, windowName) answer `window` (any value a host chooses, e.g. its
/// X11 window id), before looking at the X server. A null window removes the entry.
ZEL_PLATFORM_API void ZelRegisterWindow(LPCWSTR className, LPCWSTR windowName, HWND window);
