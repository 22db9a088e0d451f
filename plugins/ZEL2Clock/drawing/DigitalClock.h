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

/// Text size in points: radius x |lfHeight| / 100, computed without overflow and clamped to
/// 0..kMaxDigitalTextSize (a record's height can hold any 32-bit value).
int DigitalTextSize(int radius, LONG lfHeight);
inline constexpr int kMaxDigitalTextSize = 32767;

/// The font record's face name: at most its 32 units, up to the first terminator.
std::u16string FontRecordFaceName(const LOGFONTW& font);

/// Font style bits of a font record: bold when lfWeight > 400, italic, underline, strike-out.
int FontRecordStyle(const LOGFONTW& font);

/// The digital clock, shaped like its two siblings: colours, box and font are set first, then
/// Draw() puts it on a graphics object the caller owns. Every 2-D library object it makes is owned
/// and deleted before Draw() returns.
class CDigitalClock {
 public:
  void SetTextColor(ARGB color) { m_textColor = color; }
  void SetBackColor(ARGB color) { m_backColor = color; }
  void SetShowBox(BOOL show) { m_showBox = show; }
  /// The font record: face name (empty: "Arial"), lfHeight as a percentage of the radius, and the
  /// style bits of FontRecordStyle.
  void SetFont(const LOGFONTW& font) { m_font = font; }
  /// DigitalClockAlignment; other values leave the anchor as it is.
  void SetAlignment(int alignment) { m_alignment = alignment; }

  /// Draws `length` UTF-16 units of `text` (null: nothing but an empty box) anchored at x, centred
  /// vertically on y, `radius` being the clock radius. The text is measured with "Arial" whatever
  /// font draws it.
  void Draw(GpGraphics* graphics, int x, int y, int radius, const WCHAR* text, int length) const;

 private:
  ARGB m_textColor = 0xFFFFFFFF;
  ARGB m_backColor = 0xFF000000;
  BOOL m_showBox = TRUE;
  LOGFONTW m_font{};
  int m_alignment = kDigitalAlignLeft;
};
