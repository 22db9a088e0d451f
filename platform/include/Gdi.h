// The graphics device interface: device contexts, DIB sections, stock and created pens and
// brushes, and the few primitives the plug-in uses (lines and ellipses).
//
// Semantics follow the platform's: a memory DC starts with a 1x1 default bitmap selected, the
// black pen and the white brush; SelectObject returns the object it replaces; an object still
// selected into a DC cannot be deleted (DeleteObject returns FALSE); stock objects are never
// deleted. Primitives draw aliased, one pixel wide, in device pixels after the viewport origin,
// clipped to the DC's clip rectangle and its surface, and write opaque pixels (alpha 255).
//
// Threads: each DC and the objects selected into it are used by one thread at a time; different
// DCs may be used on different threads at once.
#pragma once

#include "WinTypes.h"

constexpr UINT DIB_RGB_COLORS = 0;

constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;

constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;

constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

/// Returned by SelectObject on failure (a null handle).
#define HGDI_ERROR (reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(-1)))

/// A DC for the display: L"DISPLAY" as driver (device, port and mode are ignored). It has no
/// pixels of its own here: drawing on it does nothing. Null for any other driver.
ZEL_PLATFORM_API HDC CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const void* mode);
/// A memory DC compatible with `hdc` (which may be null). Select a DIB section into it to draw.
ZEL_PLATFORM_API HDC CreateCompatibleDC(HDC hdc);
/// Deletes a DC made by CreateDCW, CreateCompatibleDC or ZelCreateSurfaceDC; the objects selected
/// into it are deselected (and may then be deleted). FALSE for a null or foreign handle.
ZEL_PLATFORM_API BOOL DeleteDC(HDC hdc);

/// A DIB section: `bmi` points to a BITMAPINFOHEADER or BITMAPV5HEADER. Supported: 32 bits per
/// pixel, BI_RGB or BI_BITFIELDS with the masks R 0x00FF0000, G 0x0000FF00, B 0x000000FF
/// (alpha 0xFF000000 or 0), one plane, no file section. A negative height makes the rows top-down.
/// The pixels are B, G, R, A bytes, rows of width x 4 bytes, and start all zero. *bits receives
/// their address (null on failure, with a null result).
///
/// Drawing through the 2-D library leaves straight (not premultiplied) B, G, R, A in the bits once
/// the drawing is handed over (the graphics object deleted, GdipFlush, GdiplusShutdown), with
/// alpha = coverage. Only the drawn rectangle (ZelGetDibDrawnRect) is ever non-zero, as long as
/// the caller writes the bits only through this layer (see ZelMarkDibDrawn otherwise). Memory of
/// deleted sections is kept for reuse, so a section per frame costs no page faults.
ZEL_PLATFORM_API HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits,
                                          HANDLE section, DWORD offset);

/// Selects a pen, brush or bitmap (bitmaps into memory DCs only, and into one DC at a time) and
/// returns the object of the same kind that was selected before; null on failure.
ZEL_PLATFORM_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
/// Deletes a pen, brush or bitmap. FALSE while it is selected into a DC, or for a null or foreign
/// handle; TRUE (and nothing happens) for a stock object.
ZEL_PLATFORM_API BOOL DeleteObject(HGDIOBJ obj);
ZEL_PLATFORM_API HGDIOBJ GetStockObject(int index);

ZEL_PLATFORM_API HBRUSH CreateSolidBrush(COLORREF color);
/// PS_SOLID or PS_NULL; width 0 and 1 both give one-pixel lines, wider pens a square nib.
ZEL_PLATFORM_API HPEN CreatePen(int style, int width, COLORREF color);

/// Device coordinates = logical + viewport origin. The previous origin goes to *previous.
ZEL_PLATFORM_API BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* previous);
/// Null region: no clipping beyond the surface. Returns the region kind (SIMPLEREGION, NULLREGION)
/// or ERROR. (Only the null region is supported.)
ZEL_PLATFORM_API int SelectClipRgn(HDC hdc, HRGN region);
/// Narrows the clip to its intersection with (left, top)-(right, bottom), logical coordinates,
/// right and bottom excluded.
ZEL_PLATFORM_API int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);

/// Moves the current position; the previous one goes to *previous.
ZEL_PLATFORM_API BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous);
/// A line with the selected pen from the current position to (x, y), the end point left out;
/// (x, y) becomes the current position.
ZEL_PLATFORM_API BOOL LineTo(HDC hdc, int x, int y);
/// The ellipse inscribed in (left, top)-(right, bottom), right and bottom excluded: outlined with
/// the selected pen, its inside filled with the selected brush.
ZEL_PLATFORM_API BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);

/// Finishes pending drawing of the calling thread (the 2-D library's drawing is handed over when
/// its graphics object is deleted; this exists for code written against the platform).
ZEL_PLATFORM_API BOOL GdiFlush(void);
