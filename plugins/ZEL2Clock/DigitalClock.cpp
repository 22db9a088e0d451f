#include "DigitalClock.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "GdiplusHandles.h"

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

void DrawDigitalClock(HDC memDC, const DigitalClockArgs& args) {
  std::u16string v_fontname = args.font ? FontRecordFaceName(*args.font) : std::u16string();
  if (v_fontname.empty()) v_fontname = kMeasureFamily;
  const int textSize = DigitalTextSize(args.radius, args.font ? args.font->lfHeight : 0);

  const FontPtr v_font = MakeFont(v_fontname.c_str(), static_cast<float>(textSize), args.fontStyle);
  const FontPtr v_dummy_font = MakeFont(kMeasureFamily, static_cast<float>(textSize), args.fontStyle);

  GpGraphics* madeGraphics = nullptr;
  GdipCreateFromHDC(memDC, &madeGraphics);
  const GraphicsPtr graphics(madeGraphics);
  GdipSetTextRenderingHint(graphics.get(), TextRenderingHintClearTypeGridFit);
  GdipSetSmoothingMode(graphics.get(), SmoothingModeHighQuality);

  const SolidFillPtr solidbrush = MakeSolidFill(args.textColor);
  const SolidFillPtr backbrush = MakeSolidFill(args.backColor);

  const WCHAR* text = args.text ? args.text : u"";
  const int length = args.text ? args.length : 0;

  // Measured with the "Arial" stand-in whichever font draws, from the anchor as origin.
  RectF boundRect{0, 0, 0, 0};
  const RectF origin{static_cast<REAL>(args.x), static_cast<REAL>(args.y), 0, 0};
  GdipMeasureString(graphics.get(), text, length, v_dummy_font.get(), &origin, nullptr, &boundRect, nullptr, nullptr);
  const float w = boundRect.Width;
  const float h = boundRect.Height;

  GpStringFormat* madeFormat = nullptr;
  GdipCreateStringFormat(0, 0, &madeFormat);
  const StringFormatPtr v_stringFormat(madeFormat);

  int x = args.x;
  int y = args.y;
  switch (args.alignment) {
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

  if (args.showBox)
    GdipFillRectangleI(graphics.get(), backbrush.get(), x, y, static_cast<int>(w * kBoxWidthFactor), static_cast<int>(h));

  const RectF layout{static_cast<REAL>(x), static_cast<REAL>(y),
                     static_cast<REAL>(static_cast<int>(w) * kBoxWidthFactor), static_cast<REAL>(static_cast<int>(h))};
  GdipDrawString(graphics.get(), text, length, v_font.get(), &layout, v_stringFormat.get(), solidbrush.get());
}
