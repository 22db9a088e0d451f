// The 2-D library's text: families by name through fontconfig, font units, the measuring rule,
// alignment in the layout rectangle, underline and strike-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "PlatformTestUtil.h"

using zeltest::Brush;
using zeltest::Dib;
using zeltest::GdiplusScope;
using zeltest::Graphics;

namespace {

// Liberation Sans: ascent 1854, descent 434, line gap 67 in 2048 units per em.
constexpr double kLineSpacingEm = 2355.0 / 2048.0;
constexpr double kAscentEm = 1854.0 / 2048.0;

struct FontOwner {
  GpFontFamily* family = nullptr;
  GpFont* font = nullptr;
  FontOwner(const char16_t* name, REAL size, INT style = FontStyleRegular, Unit unit = UnitPoint) {
    EXPECT_EQ(Ok, GdipCreateFontFamilyFromName(name, nullptr, &family));
    EXPECT_EQ(Ok, GdipCreateFont(family, size, style, unit, &font));
  }
  ~FontOwner() {
    if (font) GdipDeleteFont(font);
    if (family) GdipDeleteFontFamily(family);
  }
  FontOwner(const FontOwner&) = delete;
  FontOwner& operator=(const FontOwner&) = delete;
};

struct FamilyCase {
  const char16_t* name;
  GpStatus status;
};

TEST(GdiplusFontFamily, ExistsOnlyWhenFontconfigHasItOrAStrongAlias) {
  GdiplusScope gdiplus;
  const FamilyCase cases[] = {
      {u"Liberation Sans", Ok},   {u"liberation sans", Ok},  {u"Arial", Ok},
      {u"Times New Roman", Ok},   {u"Courier New", Ok},      {u"DejaVu Sans", Ok},
      {u"NoSuchFont", FontFamilyNotFound}, {u"Segoe UI Variable Zz", FontFamilyNotFound},
      {u"", FontFamilyNotFound},
  };
  for (const FamilyCase& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    GpFontFamily* family = reinterpret_cast<GpFontFamily*>(1);
    EXPECT_EQ(c.status, GdipCreateFontFamilyFromName(c.name, nullptr, &family));
    EXPECT_EQ(c.status == Ok, family != nullptr);
    if (family) GdipDeleteFontFamily(family);
  }
}

TEST(GdiplusFontFamily, GenericSansSerifIsLiberationSans) {
  GdiplusScope gdiplus;
  GpFontFamily* family = nullptr;
  ASSERT_EQ(Ok, GdipGetGenericFontFamilySansSerif(&family));
  WCHAR name[LF_FACESIZE];
  ASSERT_EQ(Ok, GdipGetFamilyName(family, name, 0));
  EXPECT_EQ(std::u16string(u"Liberation Sans"), std::u16string(name));
  GdipDeleteFontFamily(family);
}

struct UnitCase {
  Unit unit;
  REAL size;
  REAL pixels;  ///< < 0: refused
};

TEST(GdiplusFont, EmSizeInItsUnitAt96Dpi) {
  GdiplusScope gdiplus;
  const UnitCase cases[] = {
      {UnitPoint, 86, 86 * 96.0f / 72}, {UnitPixel, 20, 20}, {UnitWorld, 13, 13},
      {UnitInch, 1, 96},               {UnitDisplay, 10, -1}, {UnitPoint, 0, -1},
      {UnitPoint, -5, -1},
  };
  GpFontFamily* family = nullptr;
  ASSERT_EQ(Ok, GdipGetGenericFontFamilySansSerif(&family));
  for (const UnitCase& c : cases) {
    SCOPED_TRACE(c.unit);
    GpFont* font = nullptr;
    GpStatus status = GdipCreateFont(family, c.size, FontStyleRegular, c.unit, &font);
    if (c.pixels < 0) {
      EXPECT_EQ(InvalidParameter, status);
      EXPECT_EQ(nullptr, font);
      continue;
    }
    ASSERT_EQ(Ok, status);
    REAL px = 0;
    GdipGetFontSize(font, &px);
    EXPECT_NEAR(c.pixels, px, 1e-3);
    REAL height = 0;
    GdipGetFontHeight(font, nullptr, &height);
    EXPECT_NEAR(c.pixels * kLineSpacingEm, height, 1e-3);
    GdipDeleteFont(font);
  }
  GdipDeleteFontFamily(family);
}

TEST(GdiplusMeasure, AdvancePlusASixthEmEachSideByOneLineSpacing) {
  GdiplusScope gdiplus;
  Dib dib(16, 16);
  Graphics g(dib.dc());
  GdipSetTextRenderingHint(g, TextRenderingHintClearTypeGridFit);
  FontOwner f(u"Arial", 86);
  const double em = 86 * 96.0 / 72;
  const RectF origin{100, 50, 0, 0};
  RectF box{};
  INT fitted = -1, lines = -1;
  ASSERT_EQ(Ok, GdipMeasureString(g, u"01:23:45.678", -1, f.font, &origin, nullptr, &box, &fitted, &lines));
  EXPECT_FLOAT_EQ(100, box.X);
  EXPECT_FLOAT_EQ(50, box.Y);
  EXPECT_NEAR(669.5, box.Width - em / 3, 5.0);  // the advance, hinted to whole pixels per glyph
  EXPECT_NEAR(em * kLineSpacingEm, box.Height, 1e-3);
  EXPECT_EQ(12, fitted);
  EXPECT_EQ(1, lines);

  // Only `length` units count.
  RectF part{};
  GdipMeasureString(g, u"01:23:45.678", 2, f.font, &origin, nullptr, &part, nullptr, nullptr);
  EXPECT_LT(part.Width, box.Width / 4);
  // Empty text: only the margins.
  RectF empty{};
  GdipMeasureString(g, u"", 0, f.font, &origin, nullptr, &empty, nullptr, &lines);
  EXPECT_NEAR(em / 3, empty.Width, 1e-3);
  EXPECT_EQ(0, lines);
}

struct PlaceCase {
  const char* name;
  StringAlignment align, lineAlign;
  RectF layout;
  double expectX, expectY;  ///< the box's corner; in ems of width w and height h (see below)
};

TEST(GdiplusMeasure, AlignmentPlacesTheBoxInTheLayoutRectangle) {
  GdiplusScope gdiplus;
  Dib dib(16, 16);
  Graphics g(dib.dc());
  FontOwner f(u"Liberation Sans", 20, FontStyleRegular, UnitPixel);
  RectF natural{};
  const RectF origin{0, 0, 0, 0};
  GdipMeasureString(g, u"12:00", -1, f.font, &origin, nullptr, &natural, nullptr, nullptr);
  const double w = natural.Width, h = natural.Height;
  const PlaceCase cases[] = {
      {"near/near", StringAlignmentNear, StringAlignmentNear, {10, 20, 300, 100}, 10, 20},
      {"centre/centre", StringAlignmentCenter, StringAlignmentCenter, {10, 20, 300, 100}, 10 + (300 - w) / 2, 20 + (100 - h) / 2},
      {"far/far", StringAlignmentFar, StringAlignmentFar, {10, 20, 300, 100}, 310 - w, 120 - h},
      {"point, centred", StringAlignmentCenter, StringAlignmentCenter, {200, 100, 0, 0}, 200 - w / 2, 100 - h / 2},
      {"point, far", StringAlignmentFar, StringAlignmentNear, {200, 100, 0, 0}, 200 - w, 100},
  };
  for (const PlaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    GpStringFormat* format = nullptr;
    GdipCreateStringFormat(0, 0, &format);
    GdipSetStringFormatAlign(format, c.align);
    GdipSetStringFormatLineAlign(format, c.lineAlign);
    RectF box{};
    GdipMeasureString(g, u"12:00", -1, f.font, &c.layout, format, &box, nullptr, nullptr);
    EXPECT_NEAR(c.expectX, box.X, 1e-3);
    EXPECT_NEAR(c.expectY, box.Y, 1e-3);
    EXPECT_NEAR(w, box.Width, 1e-3);
    GdipDeleteStringFormat(format);
  }
}

// Columns and rows that hold ink.
RECT Ink(const Dib& dib) {
  RECT r{dib.width(), dib.height(), -1, -1};
  for (int y = 0; y < dib.height(); ++y)
    for (int x = 0; x < dib.width(); ++x)
      if (dib.Alpha(x, y)) {
        r.left = std::min<LONG>(r.left, x);
        r.top = std::min<LONG>(r.top, y);
        r.right = std::max<LONG>(r.right, x + 1);
        r.bottom = std::max<LONG>(r.bottom, y + 1);
      }
  return r;
}

struct DrawCase {
  const char* name;
  StringAlignment align;
};

TEST(GdiplusDrawString, InkLiesInTheMeasuredBoxAtItsAlignment) {
  GdiplusScope gdiplus;
  const DrawCase cases[] = {{"near", StringAlignmentNear}, {"centre", StringAlignmentCenter}, {"far", StringAlignmentFar}};
  for (const DrawCase& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib(600, 120);
    FontOwner f(u"Liberation Sans", 40, FontStyleRegular, UnitPixel);
    GpStringFormat* format = nullptr;
    GdipCreateStringFormat(0, 0, &format);
    GdipSetStringFormatAlign(format, c.align);
    GdipSetStringFormatLineAlign(format, StringAlignmentCenter);
    const RectF layout{20, 10, 560, 100};
    RectF box{};
    {
      Graphics g(dib.dc());
      GdipSetTextRenderingHint(g, TextRenderingHintClearTypeGridFit);
      Brush brush(0xFFFFFFFF);
      GdipMeasureString(g, u"10:08", -1, f.font, &layout, format, &box, nullptr, nullptr);
      EXPECT_EQ(Ok, GdipDrawString(g, u"10:08", -1, f.font, &layout, format, brush));
    }
    RECT ink = Ink(dib);
    ASSERT_GT(ink.right, ink.left);
    const double margin = 40 / 6.0;
    EXPECT_GE(ink.left, box.X + margin - 4);
    EXPECT_LE(ink.right, box.X + box.Width - margin + 4);
    EXPECT_GE(ink.top, box.Y);
    EXPECT_LE(ink.bottom, box.Y + box.Height);
    // The baseline one ascent below the box's top: digits stand on it.
    EXPECT_NEAR(box.Y + kAscentEm * 40, ink.bottom, 1.5);
    RECT drawn = dib.Drawn();
    EXPECT_EQ(0, dib.NonZeroOutside(drawn));
    GdipDeleteStringFormat(format);
  }
}

TEST(GdiplusDrawString, ClippedToTheLayoutRectangleUnlessNoClip) {
  GdiplusScope gdiplus;
  for (bool noClip : {false, true}) {
    Dib dib(300, 100);
    FontOwner f(u"Liberation Sans", 40, FontStyleRegular, UnitPixel);
    GpStringFormat* format = nullptr;
    GdipCreateStringFormat(noClip ? StringFormatFlagsNoClip : 0, 0, &format);
    const RectF layout{10, 10, 60, 80};  // narrower than the text
    {
      Graphics g(dib.dc());
      Brush brush(0xFFFFFFFF);
      GdipDrawString(g, u"888888", -1, f.font, &layout, format, brush);
    }
    RECT ink = Ink(dib);
    if (noClip)
      EXPECT_GT(ink.right, 100);
    else
      EXPECT_LE(ink.right, 70);
    GdipDeleteStringFormat(format);
  }
}

struct DecorationCase {
  const char* name;
  INT style;
  double top, bottom;  ///< expected rows of the bar, in ems below the baseline
};

TEST(GdiplusDrawString, UnderlineAndStrikeoutFromTheFacesMetrics) {
  GdiplusScope gdiplus;
  // Liberation Sans (2048 units): underline centred 142 units below the baseline, 150 thick;
  // strike-out top 530 units above it, 102 thick. Spaces have no ink, so only the bar shows.
  const DecorationCase cases[] = {
      {"plain", FontStyleRegular, 0, 0},
      {"underline", FontStyleUnderline, (142 - 75) / 2048.0, (142 + 75) / 2048.0},
      {"strike-out", FontStyleStrikeout, -530 / 2048.0, (-530 + 102) / 2048.0},
  };
  const double em = 100;
  for (const DecorationCase& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib(400, 200);
    FontOwner f(u"Liberation Sans", static_cast<REAL>(em), c.style, UnitPixel);
    const RectF origin{20, 20, 0, 0};
    {
      Graphics g(dib.dc());
      Brush brush(0xFFFFFFFF);
      GdipDrawString(g, u"    ", -1, f.font, &origin, nullptr, brush);
    }
    RECT ink = Ink(dib);
    if (c.style == FontStyleRegular) {
      EXPECT_TRUE(dib.AllZero());
      continue;
    }
    const double baseline = std::round(20 + kAscentEm * em);
    EXPECT_NEAR(baseline + c.top * em, ink.top, 1.5);
    EXPECT_NEAR(baseline + c.bottom * em, ink.bottom, 1.5);
    EXPECT_NEAR(20 + em / 6, ink.left, 1.0);
    EXPECT_EQ(255, dib.Alpha((ink.left + ink.right) / 2, (ink.top + ink.bottom) / 2));
  }
}

TEST(GdiplusDrawString, BoldAndItalicPickOtherFaces) {
  GdiplusScope gdiplus;
  auto draw = [](INT style) {
    Dib dib(300, 80);
    FontOwner f(u"Liberation Sans", 40, style, UnitPixel);
    const RectF origin{5, 5, 0, 0};
    {
      Graphics g(dib.dc());
      Brush brush(0xFFFFFFFF);
      GdipDrawString(g, u"Clock 12", -1, f.font, &origin, nullptr, brush);
    }
    long coverage = 0;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 300; ++x) coverage += dib.Alpha(x, y);
    return std::make_pair(dib.Bytes(), coverage);
  };
  auto regular = draw(FontStyleRegular), bold = draw(FontStyleBold), italic = draw(FontStyleItalic);
  EXPECT_GT(bold.second, regular.second * 6 / 5);  // heavier strokes
  EXPECT_TRUE(italic.first != regular.first);
}

}  // namespace
