#include "drawing/DigitalClock.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "drawing/GdiplusHandles.h"

namespace {

using namespace zel2clock;

constexpr WCHAR kMeasureFamily[] = u"Arial";
constexpr double kBoxWidthFactor = 1.1;

// The family by name, the generic sans-serif one when it does not exist; then the font, once
// more with the generic family when that fails. Null when no font can be made.
FontPtr MakeFont(const WCHAR* family, float emSize, int style) {
  GpFontFamily* named = nullptr;
  if (GdipCreateFontFamilyFromName(family, nullptr, &named) != Ok) GdipGetGenericFontFamilySansSerif(&named);
  const FontFamilyPtr fontFamily(named);
  GpFont* font = nullptr;
  if (GdipCreateFont(fontFamily.get(), emSize, style, UnitPoint, &font) != Ok) {
    GpFontFamily* genericFamily = nullptr;
    GdipGetGenericFontFamilySansSerif(&genericFamily);
    const FontFamilyPtr generic(genericFamily);
    GdipCreateFont(generic.get(), emSize, style, UnitPoint, &font);
  }
  return FontPtr(font);
}

}  // namespace

int DigitalTextSize(int radius, LONG lfHeight) {
  // The record's height is a percentage of the radius; in 32 bits the product could overflow.
  const long long size = static_cast<long long>(radius) * std::llabs(static_cast<long long>(lfHeight)) / 100;
  return static_cast<int>(std::clamp<long long>(size, 0, kMaxDigitalTextSize));
}

std::u16string FontRecordFaceName(const LOGFONTW& font) {
  std::size_t n = 0;
  while (n < static_cast<std::size_t>(LF_FACESIZE) && font.lfFaceName[n] != 0) ++n;
  return std::u16string(font.lfFaceName, n);
}

int FontRecordStyle(const LOGFONTW& font) {
  return (font.lfWeight > FW_NORMAL ? FontStyleBold : 0) | (font.lfItalic ? FontStyleItalic : 0) |
         (font.lfUnderline ? FontStyleUnderline : 0) | (font.lfStrikeOut ? FontStyleStrikeout : 0);
}

void CDigitalClock::Draw(GpGraphics* graphics, int anchorX, int anchorY, int radius, const WCHAR* text,
                         int length) const {
  std::u16string v_fontname = FontRecordFaceName(m_font);
  if (v_fontname.empty()) v_fontname = kMeasureFamily;
  const int textSize = DigitalTextSize(radius, m_font.lfHeight);
  const int fontStyle = FontRecordStyle(m_font);

  const FontPtr v_font = MakeFont(v_fontname.c_str(), static_cast<float>(textSize), fontStyle);
  const FontPtr v_dummy_font = MakeFont(kMeasureFamily, static_cast<float>(textSize), fontStyle);
  GdipSetTextRenderingHint(graphics, TextRenderingHintClearTypeGridFit);

  const SolidFillPtr solidbrush = MakeSolidFill(m_textColor);
  const SolidFillPtr backbrush = MakeSolidFill(m_backColor);

  if (!text) {
    text = u"";
    length = 0;
  }

  // Measured with the "Arial" stand-in whichever font draws, from the anchor as origin.
  RectF boundRect{0, 0, 0, 0};
  const RectF origin{static_cast<REAL>(anchorX), static_cast<REAL>(anchorY), 0, 0};
  GdipMeasureString(graphics, text, length, v_dummy_font.get(), &origin, nullptr, &boundRect, nullptr, nullptr);
  const float w = boundRect.Width;
  const float h = boundRect.Height;

  GpStringFormat* madeFormat = nullptr;
  GdipCreateStringFormat(0, 0, &madeFormat);
  const StringFormatPtr v_stringFormat(madeFormat);

  int x = anchorX;
  int y = anchorY;
  switch (m_alignment) {
    case kDigitalAlignRight:
      GdipSetStringFormatAlign(v_stringFormat.get(), StringAlignmentFar);
      GdipSetStringFormatLineAlign(v_stringFormat.get(), StringAlignmentCenter);
      x = static_cast<int>(x - w * kBoxWidthFactor);
      y = static_cast<int>(static_cast<float>(y) - h / 2);
      break;
    case kDigitalAlignCenter:
      GdipSetStringFormatAlign(v_stringFormat.get(), StringAlignmentCenter);
      GdipSetStringFormatLineAlign(v_stringFormat.get(), StringAlignmentCenter);
      x = static_cast<int>(x - w * kBoxWidthFactor / 2);
      y = static_cast<int>(static_cast<float>(y) - h / 2);
      break;
    case kDigitalAlignLeft:
      GdipSetStringFormatAlign(v_stringFormat.get(), StringAlignmentNear);
      GdipSetStringFormatLineAlign(v_stringFormat.get(), StringAlignmentCenter);
      y = static_cast<int>(static_cast<float>(y) - h / 2);
      break;
    default:
      break;
  }

  if (m_showBox)
    GdipFillRectangleI(graphics, backbrush.get(), x, y, static_cast<int>(w * kBoxWidthFactor), static_cast<int>(h));

  const RectF layout{static_cast<REAL>(x), static_cast<REAL>(y),
                     static_cast<REAL>(static_cast<int>(w) * kBoxWidthFactor), static_cast<REAL>(static_cast<int>(h))};
  GdipDrawString(graphics, text, length, v_font.get(), &layout, v_stringFormat.get(), solidbrush.get());
}
