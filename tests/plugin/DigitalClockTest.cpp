// The digital clock: box placement by alignment, the text inside its box, the font record's face
// name and height.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "drawing/DigitalClock.h"
#include "DrawingTestUtil.h"
#include "drawing/GdiplusHandles.h"

using zeltest::Frame;

namespace {

constexpr ARGB kText = 0xFFFFFF00;
constexpr ARGB kBox = 0xFF000080;

LOGFONTW Record(const char16_t* face, LONG height = -32) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::u16string name(face);
  std::memcpy(lf.lfFaceName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  return lf;
}

/// What one drawing of the digital clock is made from.
struct DigitalClockArgs {
  int x = 0, y = 0, radius = 0;
  const WCHAR* text = nullptr;
  int length = 0;
  const LOGFONTW* font = nullptr;
  int alignment = kDigitalAlignLeft;
  ARGB textColor = 0xFFFFFFFF;
  ARGB backColor = 0xFF000000;
  bool showBox = true;
};

/// Draws the clock as the render does: settings first, then a draw on a graphics object of the DC.
void DrawDigitalClock(HDC dc, const DigitalClockArgs& a) {
  CDigitalClock clock;
  clock.SetTextColor(a.textColor);
  clock.SetBackColor(a.backColor);
  clock.SetShowBox(a.showBox);
  if (a.font) clock.SetFont(*a.font);
  clock.SetAlignment(a.alignment);
  const zel2clock::GraphicsPtr graphics = zel2clock::MakeGraphics(dc);
  clock.Draw(graphics.get(), a.x, a.y, a.radius, a.text, a.length);
}

DigitalClockArgs Args(const LOGFONTW& lf, int alignment, int x = 960, int y = 540) {
  DigitalClockArgs a;
  a.x = x;
  a.y = y;
  a.radius = 270;
  a.text = u"01:23:45.678";
  a.length = 12;
  a.font = &lf;
  a.alignment = alignment;
  a.textColor = kText;
  a.backColor = kBox;
  return a;
}

// Extent of the box's own colour, and of pixels that are neither box nor transparent (text).
struct Extents {
  RECT box{INT_MAX, INT_MAX, -1, -1};
  RECT text{INT_MAX, INT_MAX, -1, -1};
};
void Grow(RECT& r, int x, int y) {
  r.left = std::min<LONG>(r.left, x);
  r.top = std::min<LONG>(r.top, y);
  r.right = std::max<LONG>(r.right, x + 1);
  r.bottom = std::max<LONG>(r.bottom, y + 1);
}
Extents Measure(const Frame& f) {
  Extents e;
  for (int y = 0; y < f.height(); ++y)
    for (int x = 0; x < f.width(); ++x) {
      std::uint32_t p = f.Pixel(x, y);
      if (!(p >> 24)) continue;
      if (p == kBox) Grow(e.box, x, y);
      // Text: yellowish pixels (red and green over the box's blue).
      if (((p >> 16) & 0xFF) > 0x40) Grow(e.text, x, y);
    }
  return e;
}

struct AlignCase {
  const char* name;
  int alignment;
  int expectLeft, expectRight;  ///< box columns relative to the anchor; INT_MIN: not checked
  bool centred;
};

TEST(DigitalClock, BoxPlacedOnTheAnchorByAlignment) {
  const int x = 960, y = 300;
  const AlignCase cases[] = {
      {"0 right: ends at the anchor", kDigitalAlignRight, INT_MIN, 0, false},
      {"2 left: begins at the anchor", kDigitalAlignLeft, 0, INT_MIN, false},
      {"1 centre: centred on it", kDigitalAlignCenter, INT_MIN, INT_MIN, true},
      {"3: anchor unmoved", 3, 0, INT_MIN, false},
  };
  const LOGFONTW lf = Record(u"");
  for (const AlignCase& c : cases) {
    SCOPED_TRACE(c.name);
    Frame frame(1920, 600);
    DrawDigitalClock(frame.dc(), Args(lf, c.alignment, x, y));
    RECT ink = frame.Ink();
    ASSERT_GE(ink.left, 0);
    // The box's first and last columns are half covered: edges on pixel centres.
    if (c.expectLeft != INT_MIN) {
      EXPECT_EQ(x + c.expectLeft, ink.left);
    }
    if (c.expectRight != INT_MIN) {
      EXPECT_NEAR(x + c.expectRight, ink.right - 1, 1);
    }
    if (c.centred) {
      EXPECT_NEAR(x, (ink.left + ink.right - 1) / 2.0, 1.5);
    }
    if (c.alignment == 3) {
      EXPECT_EQ(y, ink.top);  // top-left corner on the anchor
    } else {
      EXPECT_NEAR(y, (ink.top + ink.bottom - 1) / 2.0, 1.5);  // vertically centred on clock y
    }
    Extents e = Measure(frame);
    // The text lies inside its box, set against the edge the alignment names.
    EXPECT_GE(e.text.left, e.box.left);
    EXPECT_LE(e.text.right, e.box.right);
    EXPECT_GE(e.text.top, e.box.top);
    EXPECT_LE(e.text.bottom, e.box.bottom);
    const double em = 86 * 96.0 / 72;
    if (c.alignment == kDigitalAlignRight) {
      EXPECT_LT(e.box.right - e.text.right, em / 6 + 8);
    }
    if (c.alignment == kDigitalAlignLeft || c.alignment == 3) {
      EXPECT_LT(e.text.left - e.box.left, em / 6 + 8);
    }
    if (c.alignment == kDigitalAlignCenter) {
      EXPECT_NEAR((e.box.left + e.box.right) / 2.0, (e.text.left + e.text.right) / 2.0, 8);
    }
    // The box is 10 % wider than the measured text: wider than the ink by more than the margins.
    EXPECT_GT(e.box.right - e.box.left, (e.text.right - e.text.left) * 1.1);
  }
}

struct FaceCase {
  const char* name;
  const char16_t* face;
  const char16_t* sameAs;  ///< draws exactly like this family
};

TEST(DigitalClock, FaceNameFallsBackToTheStandInFamilies) {
  const FaceCase cases[] = {
      {"empty: Arial's stand-in", u"", u"Liberation Sans"},
      {"Arial", u"Arial", u"Liberation Sans"},
      {"unknown: the generic sans-serif", u"NoSuchFontAtAll", u"Liberation Sans"},
      {"a real other family", u"Liberation Serif", u"Liberation Serif"},
  };
  Frame reference(1920, 1080);
  DrawDigitalClock(reference.dc(), Args(Record(u"Liberation Sans"), kDigitalAlignCenter));
  const auto sans = reference.Bytes();
  for (const FaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Frame a(1920, 1080), b(1920, 1080);
    const LOGFONTW lf = Record(c.face), same = Record(c.sameAs);
    DrawDigitalClock(a.dc(), Args(lf, kDigitalAlignCenter));
    DrawDigitalClock(b.dc(), Args(same, kDigitalAlignCenter));
    EXPECT_TRUE(a.Bytes() == b.Bytes());
    EXPECT_EQ(std::u16string(c.sameAs) == u"Liberation Sans", a.Bytes() == sans);
  }
}

struct SizeCase {
  int radius;
  LONG height;
  int points;
};

TEST(DigitalClock, TextSizeIsAPercentageOfTheRadius) {
  const SizeCase cases[] = {
      {270, -32, 86},  // 86.4 truncated
      {270, 32, 86},
      {100, -100, 100},
      {0, -32, 0},
      {1080, -1000, 10800},
      {270, INT_MIN, kMaxDigitalTextSize},  // |height| does not fit 32 bits: clamped, not wrapped
      {INT_MAX, -100, kMaxDigitalTextSize},  // the product overflows 32 bits
      {-50, -32, 0},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(c.points, DigitalTextSize(c.radius, c.height)) << c.radius << " " << c.height;
}

TEST(DigitalClock, TextSize86PointsForTheDefaultRecordAt1080p) {
  // The measured box is one line spacing of the "Arial" stand-in at 86 pt high.
  Frame frame(1920, 1080);
  DrawDigitalClock(frame.dc(), Args(Record(u""), kDigitalAlignCenter));
  Extents e = Measure(frame);
  const double em = 86 * 96.0 / 72;
  // Rows fully inside a box of integer height h: h - 1 (its edges half-cover two more).
  EXPECT_EQ(static_cast<int>(em * 2355 / 2048) - 1, e.box.bottom - e.box.top);
  frame.MaybeWritePng("digital centre");
}

TEST(DigitalClock, HugeHeightDrawsAClampedSizeOverTheWholeFrame) {
  // A record height of INT_MIN: |height| overflows 32 bits. The size is clamped, and text far
  // larger than the frame is drawn clipped to it.
  Frame frame(640, 360);
  LOGFONTW lf = Record(u"", INT_MIN);
  DigitalClockArgs a = Args(lf, kDigitalAlignCenter, 320, 180);
  a.radius = 180;
  DrawDigitalClock(frame.dc(), a);
  RECT ink = frame.Ink();
  EXPECT_EQ(0, ink.left);
  EXPECT_EQ(640, ink.right);
  EXPECT_EQ(255, frame.Alpha(0, 0));  // box and glyphs larger than the frame
}

TEST(DigitalClock, FaceNameWithoutTerminatorReadsAtMost32Units) {
  struct {
    LOGFONTW lf;
    WCHAR after[8];
  } block;
  std::memset(&block, 0, sizeof block);
  for (WCHAR& c : block.lf.lfFaceName) c = u'Q';
  for (WCHAR& c : block.after) c = u'Z';
  block.lf.lfHeight = -32;
  EXPECT_EQ(std::u16string(32, u'Q'), FontRecordFaceName(block.lf));
  Frame frame(800, 300);
  DrawDigitalClock(frame.dc(), Args(block.lf, kDigitalAlignLeft, 10, 150));  // an unknown family: sans-serif
  EXPECT_GE(frame.Ink().left, 0);
}

TEST(DigitalClock, StyleBitsFromTheRecord) {
  struct Case {
    LONG weight;
    BYTE italic, underline, strike;
    int style;
  } cases[] = {{400, 0, 0, 0, 0}, {401, 0, 0, 0, FontStyleBold}, {700, 1, 0, 0, FontStyleBoldItalic},
               {0, 0, 1, 1, FontStyleUnderline | FontStyleStrikeout}, {900, 2, 3, 0, 7}};
  for (const Case& c : cases) {
    LOGFONTW lf{};
    lf.lfWeight = c.weight;
    lf.lfItalic = c.italic;
    lf.lfUnderline = c.underline;
    lf.lfStrikeOut = c.strike;
    EXPECT_EQ(c.style, FontRecordStyle(lf));
  }
}

TEST(DigitalClock, NoBoxAndNoTextSizeDrawNoBox) {
  Frame frame(800, 300);
  LOGFONTW lf = Record(u"");
  DigitalClockArgs a = Args(lf, kDigitalAlignLeft, 10, 150);
  a.showBox = false;
  DrawDigitalClock(frame.dc(), a);
  EXPECT_EQ(INT_MAX, Measure(frame).box.left);
  EXPECT_GE(Measure(frame).text.left, 0);
  Frame empty(800, 300);
  a.showBox = true;
  a.radius = 0;  // text size 0: no font, nothing measured, a zero box
  DrawDigitalClock(empty.dc(), a);
  EXPECT_EQ(-1, empty.Ink().left);
}

}  // namespace

namespace {

TEST(DigitalClockTest, FontRecordStyleBits) {
  struct Row {
    LONG weight;
    BYTE italic, underline, strikeOut;
    int bits;
  };
  const Row rows[] = {
      {0, 0, 0, 0, 0}, {400, 0, 0, 0, 0}, {401, 0, 0, 0, 1}, {700, 1, 0, 0, 3},
      {0, 0, 1, 0, 4}, {0, 0, 0, 1, 8},   {900, 255, 2, 3, 15}, {INT_MIN, 0, 0, 0, 0},
  };
  for (const Row& r : rows) {
    LOGFONTW lf{};
    lf.lfWeight = r.weight;
    lf.lfItalic = r.italic;
    lf.lfUnderline = r.underline;
    lf.lfStrikeOut = r.strikeOut;
    EXPECT_EQ(FontRecordStyle(lf), r.bits) << r.weight;
  }
}

}  // namespace
