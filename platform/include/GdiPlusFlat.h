// The 2-D graphics library's flat interface (the subset the plug-in uses), over Cairo, fontconfig
// and FreeType.
//
// Coordinates are floats in device pixels; pixel centres lie on integer coordinates, as on the
// platform, so an antialiased edge on an integer coordinate half-covers the pixels on both sides
// and a one-pixel line along integer coordinates is crisp. Colours are ARGB words 0xAARRGGBB.
//
// Ownership: every Gdip*Create* hands the caller one object to delete with the matching
// Gdip*Delete*. Threads: a graphics object and the objects passed to one call are used by one
// thread at a time; fonts, families and brushes may be shared read-only. Font look-ups are cached
// for the life of the process and are thread safe.
//
// Status: every call returns Ok (0) or the reason it failed; drawing after a failure leaves the
// pixels as they were.
#pragma once

#include "WinTypes.h"

enum GpStatus : int {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
};
using Status = GpStatus;

using ARGB = DWORD;
using REAL = float;

enum GpUnit : int {
  UnitWorld = 0,
  UnitDisplay = 1,
  UnitPixel = 2,
  UnitPoint = 3,  ///< 1/72 inch: px = pt x 96 / 72 on the 96-dpi device
  UnitInch = 4,
  UnitDocument = 5,  ///< 1/300 inch
  UnitMillimeter = 6,
};
using Unit = GpUnit;

enum GpFillMode : int { FillModeAlternate = 0, FillModeWinding = 1 };
using FillMode = GpFillMode;

enum SmoothingMode : int {
  SmoothingModeInvalid = -1,
  SmoothingModeDefault = 0,
  SmoothingModeHighSpeed = 1,
  SmoothingModeHighQuality = 2,  ///< antialiased
  SmoothingModeNone = 3,
  SmoothingModeAntiAlias = 4,  ///< antialiased
};

enum TextRenderingHint : int {
  TextRenderingHintSystemDefault = 0,
  TextRenderingHintSingleBitPerPixelGridFit = 1,
  TextRenderingHintSingleBitPerPixel = 2,
  TextRenderingHintAntiAliasGridFit = 3,
  TextRenderingHintAntiAlias = 4,
  /// Subpixel text cannot sit on a transparent bitmap without colour fringes: drawn as greyscale
  /// antialiasing with full hinting and hinted metrics, like AntiAliasGridFit.
  TextRenderingHintClearTypeGridFit = 5,
};

enum FontStyle : int {
  FontStyleRegular = 0,
  FontStyleBold = 1,
  FontStyleItalic = 2,
  FontStyleBoldItalic = 3,
  FontStyleUnderline = 4,
  FontStyleStrikeout = 8,
};

enum StringAlignment : int {
  StringAlignmentNear = 0,
  StringAlignmentCenter = 1,
  StringAlignmentFar = 2,
};

enum StringFormatFlags : int {
  StringFormatFlagsNoWrap = 0x00001000,
  StringFormatFlagsNoClip = 0x00004000,
};

struct GpPoint {
  INT X;
  INT Y;
};
struct GpPointF {
  REAL X;
  REAL Y;
};
struct GpRect {
  INT X;
  INT Y;
  INT Width;
  INT Height;
};
struct GpRectF {
  REAL X;
  REAL Y;
  REAL Width;
  REAL Height;
};
using PointF = GpPointF;
using RectF = GpRectF;

struct GpGraphics;
/// Brushes are opaque; a solid fill is a brush, so it passes wherever a brush is taken.
struct GpBrush {
 protected:
  GpBrush() = default;
  ~GpBrush() = default;
};
struct GpSolidFill : GpBrush {
 protected:
  GpSolidFill() = default;
  ~GpSolidFill() = default;
};
struct GpPen;
struct GpFontFamily;
struct GpFont;
struct GpFontCollection;
struct GpStringFormat;

using DebugEventProc = void (*)(int level, CHAR* message);
using NotificationHookProc = Status (*)(ULONG_PTR* token);
using NotificationUnhookProc = void (*)(ULONG_PTR token);

struct GdiplusStartupInput {
  UINT32 GdiplusVersion = 1;  ///< must be 1
  DebugEventProc DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput {
  NotificationHookProc NotificationHook;
  NotificationUnhookProc NotificationUnhook;
};

/// Starts the library for the caller; *token identifies this start to GdiplusShutdown. Cheap:
/// font look-ups made under an earlier start stay cached. Starts nest (reference counted).
ZEL_PLATFORM_API Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                       GdiplusStartupOutput* output);
/// Ends one start. Graphics objects made under it and not yet deleted hand their drawing over
/// (as GdipFlush). Fontconfig is never torn down: a host may still use it.
ZEL_PLATFORM_API void GdiplusShutdown(ULONG_PTR token);

/// A graphics object drawing on the DC's selected bitmap (a DIB section or a host surface),
/// through the DC's viewport origin and clip rectangle. A DC without pixels gives a graphics
/// object whose drawing does nothing. Starts with SmoothingModeDefault (aliased) and
/// TextRenderingHintSystemDefault (greyscale antialiased text).
ZEL_PLATFORM_API Status GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
/// Hands the drawing over (straight alpha in the bitmap) and frees the object.
ZEL_PLATFORM_API Status GdipDeleteGraphics(GpGraphics* graphics);
/// Hands the drawing so far over to the bitmap; drawing may go on afterwards.
ZEL_PLATFORM_API Status GdipFlush(GpGraphics* graphics, int intention);
ZEL_PLATFORM_API Status GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode);
ZEL_PLATFORM_API Status GdipGetSmoothingMode(GpGraphics* graphics, SmoothingMode* mode);
ZEL_PLATFORM_API Status GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint hint);
ZEL_PLATFORM_API Status GdipGetTextRenderingHint(GpGraphics* graphics, TextRenderingHint* hint);

ZEL_PLATFORM_API Status GdipCreateSolidFill(ARGB color, GpSolidFill** brush);
ZEL_PLATFORM_API Status GdipGetSolidFillColor(GpSolidFill* brush, ARGB* color);
ZEL_PLATFORM_API Status GdipDeleteBrush(GpBrush* brush);
/// A pen of one colour; `width` in `unit` (UnitWorld and UnitPixel: pixels).
ZEL_PLATFORM_API Status GdipCreatePen1(ARGB color, REAL width, Unit unit, GpPen** pen);
ZEL_PLATFORM_API Status GdipDeletePen(GpPen* pen);

ZEL_PLATFORM_API Status GdipFillEllipseI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width,
                                         INT height);
ZEL_PLATFORM_API Status GdipFillEllipse(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width,
                                        REAL height);
ZEL_PLATFORM_API Status GdipFillRectangle(GpGraphics* graphics, GpBrush* brush, REAL x, REAL y, REAL width,
                                          REAL height);
ZEL_PLATFORM_API Status GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width,
                                           INT height);
/// Fills the polygon of `count` (>= 3) points; FillModeAlternate is the even-odd rule.
ZEL_PLATFORM_API Status GdipFillPolygon(GpGraphics* graphics, GpBrush* brush, const GpPointF* points,
                                        INT count, GpFillMode fillMode);
ZEL_PLATFORM_API Status GdipFillPolygonI(GpGraphics* graphics, GpBrush* brush, const GpPoint* points,
                                         INT count, GpFillMode fillMode);
/// Outlines the closed polygon of `count` (>= 2) points with the pen.
ZEL_PLATFORM_API Status GdipDrawPolygon(GpGraphics* graphics, GpPen* pen, const GpPointF* points, INT count);
ZEL_PLATFORM_API Status GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2);

/// The family `name` (case-insensitive) when fontconfig has it, its strong aliases included
/// ("Arial" finds its metric-compatible stand-in); FontFamilyNotFound when fontconfig would only
/// fall back to a generic family. `collection` must be null (the installed fonts).
ZEL_PLATFORM_API Status GdipCreateFontFamilyFromName(const WCHAR* name, GpFontCollection* collection,
                                                     GpFontFamily** family);
/// The generic sans-serif family: Liberation Sans, whatever the user's fontconfig prefers.
ZEL_PLATFORM_API Status GdipGetGenericFontFamilySansSerif(GpFontFamily** family);
ZEL_PLATFORM_API Status GdipGetFamilyName(const GpFontFamily* family, WCHAR name[LF_FACESIZE], WORD language);
ZEL_PLATFORM_API Status GdipDeleteFontFamily(GpFontFamily* family);
/// A font of the family, em size in `unit` (UnitPoint: 1/72 inch at 96 dpi; UnitWorld and
/// UnitPixel: pixels; UnitDisplay is refused) and FontStyle bits. Bold and italic pick the
/// family's real faces, synthesised where it has none; underline and strike-out are drawn as
/// lines from the face's own metrics.
ZEL_PLATFORM_API Status GdipCreateFont(const GpFontFamily* family, REAL emSize, INT style, Unit unit,
                                       GpFont** font);
ZEL_PLATFORM_API Status GdipDeleteFont(GpFont* font);
/// Em size in pixels.
ZEL_PLATFORM_API Status GdipGetFontSize(GpFont* font, REAL* size);
/// Distance between two baselines, in pixels.
ZEL_PLATFORM_API Status GdipGetFontHeight(const GpFont* font, const GpGraphics* graphics, REAL* height);

ZEL_PLATFORM_API Status GdipCreateStringFormat(INT formatAttributes, WORD language, GpStringFormat** format);
ZEL_PLATFORM_API Status GdipDeleteStringFormat(GpStringFormat* format);
ZEL_PLATFORM_API Status GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align);
ZEL_PLATFORM_API Status GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align);

/// Measures one line of text (`length` UTF-16 units, -1: up to the terminator; no wrapping).
///
/// The rule: the text's box is its advance width plus one sixth of the em size on each side
/// (the platform leaves such a margin before and after a string), and one line spacing high
/// (ascent + descent + line gap of the face). A layout rectangle of zero width and height is an
/// origin: the box's top-left corner is (layout.X, layout.Y). Otherwise the box is placed in the
/// layout rectangle by the format's alignment (near by default) and line alignment, and no wider
/// or higher than the rectangle. *bounds receives the box; *codepointsFitted and *linesFilled
/// (either may be null) the text's length and 1 (0 for empty text).
ZEL_PLATFORM_API Status GdipMeasureString(GpGraphics* graphics, const WCHAR* string, INT length,
                                          const GpFont* font, const RectF* layoutRect,
                                          const GpStringFormat* format, RectF* bounds,
                                          INT* codepointsFitted, INT* linesFilled);
/// Draws the text where GdipMeasureString puts its box: the first glyph's origin one sixth em
/// right of the box's left edge, the baseline one ascent below its top. Clipped to a non-empty
/// layout rectangle unless the format has StringFormatFlagsNoClip. `format` may be null.
ZEL_PLATFORM_API Status GdipDrawString(GpGraphics* graphics, const WCHAR* string, INT length,
                                       const GpFont* font, const RectF* layoutRect,
                                       const GpStringFormat* format, const GpBrush* brush);
