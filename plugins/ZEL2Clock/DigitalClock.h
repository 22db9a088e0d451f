// The digital clock: the clock text in the font of the font record, on a box 10 % wider than the
// text, aligned on the anchor.
#pragma once

#include <string>

#include "GdiPlusFlat.h"
#include "WinTypes.h"

/// Alignment values of the digital clock ("Alignment List").
enum DigitalClockAlignment : int {
  kDigitalAlignRight = 0,   ///< the box ends at the anchor, text set against its right edge
  kDigitalAlignCenter = 1,  ///< box and text centred on the anchor
  kDigitalAlignLeft = 2,    ///< the box begins at the anchor, text set against its left edge
};

/// Everything the digital clock is drawn from.
struct DigitalClockArgs {
  int x = 0;                          ///< anchor, bitmap pixels
  int y = 0;                          ///< vertical centre of box and line
  int radius = 0;                     ///< clock radius: the font record's height is a percentage of it
  const WCHAR* text = nullptr;        ///< the clock text
  int length = 0;                     ///< in UTF-16 units
  const LOGFONTW* font = nullptr;     ///< face name, lfHeight; null: "Arial", height 0
  int fontStyle = 0;                  ///< FontStyle bits: bold 1, italic 2, underline 4, strike-out 8
  int alignment = kDigitalAlignLeft;  ///< DigitalClockAlignment; other values leave the anchor as it is
  ARGB textColor = 0xFFFFFFFF;
  ARGB backColor = 0xFF000000;
  bool showBox = true;
};

/// Text size in points: radius x |lfHeight| / 100, computed without overflow and clamped to
/// 0..kMaxDigitalTextSize (a record's height can hold any 32-bit value).
int DigitalTextSize(int radius, LONG lfHeight);
inline constexpr int kMaxDigitalTextSize = 32767;

/// The font record's face name: at most its 32 units, up to the first terminator.
std::u16string FontRecordFaceName(const LOGFONTW& font);

/// Font style bits of a font record: bold when lfWeight > 400, italic, underline, strike-out.
int FontRecordStyle(const LOGFONTW& font);

/// Draws the digital clock on the DC (a memory DC with the off-screen bitmap selected), with a
/// graphics object of its own. The text is measured with "Arial" whatever font draws it.
void DrawDigitalClock(HDC memDC, const DigitalClockArgs& args);
