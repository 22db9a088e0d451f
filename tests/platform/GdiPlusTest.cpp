// The 2-D library: straight alpha in the bitmap, the drawn rectangle, pixel geometry, start-up,
// and re-entrant drawing from several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "PlatformTestUtil.h"

using zeltest::Brush;
using zeltest::Dib;
using zeltest::GdiplusScope;
using zeltest::Graphics;

namespace {

// Largest error of drawing premultiplied then converting back, by alpha (measured bounds).
int StraightTolerance(int alpha) {
  if (alpha == 255) return 0;
  if (alpha >= 128) return 2;
  if (alpha >= 64) return 4;
  return 15;
}

TEST(GdiplusAlpha, BitmapHoldsStraightColourWithCoverageAlpha) {
  GdiplusScope gdiplus;
  // One 1x1 aliased square per (alpha, channel value); alpha 16..255 over every channel value.
  Dib dib(256, 240);
  {
    Graphics g(dib.dc(), SmoothingModeNone);
    for (int a = 16; a < 256; ++a)
      for (int c = 0; c < 256; ++c) {
        ARGB color = static_cast<ARGB>(a) << 24 | static_cast<ARGB>(c) << 16 | static_cast<ARGB>(255 - c) << 8 |
                     static_cast<ARGB>(c / 2);
        Brush brush(color);
        GdipFillRectangleI(g, brush, c, a - 16, 1, 1);
      }
  }
  int worst = 0;
  for (int a = 16; a < 256; ++a)
    for (int c = 0; c < 256; ++c) {
      const std::uint8_t* p = dib.At(c, a - 16);
      ASSERT_EQ(a, p[3]);
      int err = std::max({std::abs(p[2] - c), std::abs(p[1] - (255 - c)), std::abs(p[0] - c / 2)});
      EXPECT_LE(err, StraightTolerance(a)) << "alpha " << a << " value " << c;
      worst = std::max(worst, err);
    }
  EXPECT_LE(worst, 15);
}

TEST(GdiplusAlpha, ConversionRoundTripIsExactForEveryAlphaAndValue) {
  // Straight pixels written by the caller are premultiplied back when drawing starts again and
  // converted once more when it is handed over: both conversions, every alpha and value, in runs
  // of eight equal pixels (even rows) as well as alone (odd rows).
  GdiplusScope gdiplus;
  constexpr int kRun = 8;
  Dib dib(256 * kRun, 257);
  for (int a = 0; a < 256; ++a)
    for (int x = 0; x < 256 * kRun; ++x) {
      std::uint8_t* p = dib.bits() + (static_cast<std::size_t>(a) * 256 * kRun + x) * 4;
      const int c = x / kRun;
      p[0] = static_cast<std::uint8_t>(c);
      p[1] = static_cast<std::uint8_t>(255 - c);
      p[2] = static_cast<std::uint8_t>(a % 2 && x % 2 ? 128 : c);  // odd rows: no runs
      p[3] = static_cast<std::uint8_t>(a);
    }
  const RECT written{0, 0, 256 * kRun, 256};
  ASSERT_TRUE(ZelMarkDibDrawn(dib.bitmap(), &written));
  {
    Graphics g(dib.dc(), SmoothingModeNone);
    Brush brush(0xFFFFFFFF);
    GdipFillRectangleI(g, brush, 0, 256, 1, 1);  // the last row, away from the written pixels
  }
  auto roundTrip = [](int c, int a) {
    if (a == 0 || a == 255) return c;
    const int x = c * a + 128;
    const int premultiplied = (x + (x >> 8)) >> 8;
    return std::min(255, (premultiplied * 255 + a / 2) / a);
  };
  int wrong = 0;
  for (int a = 0; a < 256; ++a)
    for (int x = 0; x < 256 * kRun; ++x) {
      const std::uint8_t* p = dib.At(x, a);
      const int c = x / kRun;
      const int want[4] = {roundTrip(c, a), roundTrip(255 - c, a), roundTrip(a % 2 && x % 2 ? 128 : c, a), a};
      for (int k = 0; k < 4; ++k)
        if (p[k] != want[k] && ++wrong <= 5) ADD_FAILURE() << "alpha " << a << " x " << x << " byte " << k;
    }
  EXPECT_EQ(0, wrong);
}

TEST(GdiplusAlpha, DrawingAgainOverHandedOverPixelsKeepsThemStraight) {
  GdiplusScope gdiplus;
  Dib dib(8, 4);
  {
    Graphics g(dib.dc(), SmoothingModeNone);
    Brush brush(0x80FF8040);
    GdipFillRectangleI(g, brush, 0, 0, 2, 2);
  }
  const std::uint32_t first = dib.Pixel(0, 0);
  {
    Graphics g(dib.dc(), SmoothingModeNone);
    Brush brush(0xFF00FF00);
    GdipFillRectangleI(g, brush, 4, 0, 2, 2);
  }
  // Converted once, premultiplied back for the second drawing and converted again: not twice.
  EXPECT_NEAR(static_cast<int>((first >> 16) & 0xFF), static_cast<int>((dib.Pixel(0, 0) >> 16) & 0xFF), 2);
  EXPECT_NEAR(0xFF, static_cast<int>((dib.Pixel(0, 0) >> 16) & 0xFF), 2);
  EXPECT_EQ(0x80u, dib.Pixel(0, 0) >> 24);
  EXPECT_EQ(0xFF00FF00u, dib.Pixel(4, 0));
}

TEST(GdiplusAlpha, ShutdownHandsOverWhatLiveGraphicsDrew) {
  Dib dib(4, 4);
  ULONG_PTR token = 0;
  GdiplusStartupInput input;
  ASSERT_EQ(Ok, GdiplusStartup(&token, &input, nullptr));
  GpGraphics* g = nullptr;
  ASSERT_EQ(Ok, GdipCreateFromHDC(dib.dc(), &g));
  {
    Brush brush(0x40FFFFFF);
    GdipFillRectangleI(g, brush, 0, 0, 4, 4);
  }
  GdiplusShutdown(token);
  EXPECT_EQ(0x40FFFFFFu, dib.Pixel(1, 1));  // straight, not 0x40404040
  GdipDeleteGraphics(g);
  EXPECT_EQ(0x40FFFFFFu, dib.Pixel(1, 1));
}

TEST(GdiplusStartup, VersionAndTokens) {
  ULONG_PTR a = 0, b = 0;
  GdiplusStartupInput input;
  input.GdiplusVersion = 2;
  EXPECT_EQ(UnsupportedGdiplusVersion, GdiplusStartup(&a, &input, nullptr));
  input.GdiplusVersion = 1;
  input.SuppressBackgroundThread = TRUE;
  EXPECT_EQ(InvalidParameter, GdiplusStartup(&a, &input, nullptr));
  GdiplusStartupOutput output{};
  ASSERT_EQ(Ok, GdiplusStartup(&a, &input, &output));
  EXPECT_NE(nullptr, output.NotificationHook);
  input.SuppressBackgroundThread = FALSE;
  ASSERT_EQ(Ok, GdiplusStartup(&b, &input, nullptr));
  EXPECT_NE(a, b);
  GdiplusShutdown(b);
  GdiplusShutdown(a);
  // Fonts found under an earlier start stay usable after a new one.
  ASSERT_EQ(Ok, GdiplusStartup(&a, &input, nullptr));
  GpFontFamily* family = nullptr;
  EXPECT_EQ(Ok, GdipCreateFontFamilyFromName(u"Liberation Sans", nullptr, &family));
  GdipDeleteFontFamily(family);
  GdiplusShutdown(a);
}

TEST(GdiplusDrawnRect, CoversEverythingDrawnAndNothingOutsideIsSet) {
  GdiplusScope gdiplus;
  Dib dib(200, 120);
  EXPECT_EQ(0, dib.Drawn().right);
  {
    Graphics g(dib.dc());
    Brush brush(0xFFFFFFFF);
    GdipFillRectangleI(g, brush, 100, 50, 20, 10);
    GdipFillEllipseI(g, brush, 10, 70, 31, 21);
  }
  RECT r = dib.Drawn();
  EXPECT_LE(r.left, 10);
  EXPECT_LE(r.top, 50);
  EXPECT_GE(r.right, 121);
  EXPECT_GE(r.bottom, 92);
  // Rounded out by a pixel or two, not the whole bitmap.
  EXPECT_GE(r.left, 6);
  EXPECT_LE(r.right, 125);
  EXPECT_EQ(0, dib.NonZeroOutside(r));
}

TEST(GdiplusDrawnRect, ClippedToTheDcAndEmptyWhenNothingLands) {
  GdiplusScope gdiplus;
  Dib dib(50, 50);
  IntersectClipRect(dib.dc(), 0, 0, 20, 20);
  {
    Graphics g(dib.dc());
    Brush brush(0xFFFF0000);
    GdipFillRectangleI(g, brush, 30, 30, 10, 10);  // outside the clip
    GdipFillRectangleI(g, brush, -100, 5, 50, 5);  // left of the bitmap
  }
  EXPECT_EQ(0, dib.Drawn().right);
  EXPECT_TRUE(dib.AllZero());
  {
    Graphics g(dib.dc());
    Brush brush(0xFFFF0000);
    GdipFillRectangleI(g, brush, 10, 10, 30, 30);
  }
  RECT r = dib.Drawn();
  EXPECT_LE(r.right, 20);
  EXPECT_LE(r.bottom, 20);
  EXPECT_EQ(255, dib.Alpha(19, 19));
  EXPECT_EQ(0, dib.NonZeroOutside({0, 0, 20, 20}));
}

// A measuring DC reports the rectangle a DIB section of its size reports after the same drawing:
// each primitive, text, clipped, at the edges and off the surface, in both row orders.
TEST(GdiplusDrawnRect, AMeasuringDcCoversWhatTheSameDrawingCoversOnABitmap) {
  GdiplusScope gdiplus;
  GpFontFamily* family = nullptr;
  GdipGetGenericFontFamilySansSerif(&family);
  GpFont* font = nullptr;
  GdipCreateFont(family, 30, FontStyleUnderline, UnitPoint, &font);
  const auto draw = [font](HDC dc, int which) {
    if (which == 5) IntersectClipRect(dc, 30, 20, 120, 90);
    Graphics g(dc);
    Brush brush(0x80FF8000);
    GpPen* pen = nullptr;
    GdipCreatePen1(0xFF00FF00, 1, UnitWorld, &pen);
    const GpPointF hand[4] = {{100, 60}, {104, 50}, {100, 10}, {96, 50}};
    const GpPointF line[2] = {{100, 60}, {150, 95}};
    const RectF layout{20, 30, 150, 50};
    switch (which) {
      case 0: GdipFillEllipseI(g, brush, 10, 7, 131, 91); break;
      case 1: GdipFillPolygon(g, brush, hand, 4, FillModeAlternate); break;
      case 2: GdipDrawPolygon(g, pen, line, 2); break;
      case 3: GdipDrawString(g, u"12:34", 5, font, &layout, nullptr, brush); break;
      case 4: GdipFillRectangle(g, brush, 180.5f, -20.25f, 50, 40); break;   // over the corner
      case 5: GdipFillEllipseI(g, brush, 0, 0, 200, 120); break;             // clipped
      case 6: GdipFillRectangleI(g, brush, 300, 300, 10, 10); break;         // off the surface
    }
    GdipDeletePen(pen);
  };
  for (int which = 0; which <= 6; ++which) {
    for (const bool topDown : {true, false}) {
      SCOPED_TRACE("drawing " + std::to_string(which) + (topDown ? ", top-down" : ", bottom-up"));
      Dib dib(200, 120, topDown);
      draw(dib.dc(), which);
      const HDC measure = ZelCreateMeasureDC(200, 120);
      ASSERT_NE(measure, nullptr);
      draw(measure, which);
      RECT measured{-1, -1, -1, -1};
      EXPECT_TRUE(ZelGetMeasuredRect(measure, &measured));
      const RECT drawn = dib.Drawn();
      EXPECT_EQ(std::tie(measured.left, measured.top, measured.right, measured.bottom),
                std::tie(drawn.left, drawn.top, drawn.right, drawn.bottom));
      EXPECT_EQ(which == 6, drawn.right == 0);
      DeleteDC(measure);
    }
  }
  GdipDeleteFont(font);
  GdipDeleteFontFamily(family);
  // A DC that does not measure, and sizes a bitmap could not have.
  Dib dib(10, 10);
  RECT r{};
  EXPECT_FALSE(ZelGetMeasuredRect(dib.dc(), &r));
  EXPECT_EQ(ZelCreateMeasureDC(0, 10), nullptr);
  EXPECT_EQ(ZelCreateMeasureDC(40000, 10), nullptr);
}

TEST(GdiplusMemory, ReusedSectionsStartAllZero) {
  GdiplusScope gdiplus;
  for (int round = 0; round < 3; ++round) {
    Dib dib(320, 200, round % 2 == 0);
    ASSERT_TRUE(dib.AllZero()) << "round " << round;
    Graphics g(dib.dc());
    Brush brush(0xC0123456);
    GdipFillEllipseI(g, brush, 20 * round, 10, 200, 150);
  }
  Dib dib(320, 200);
  {
    Graphics g(dib.dc());
    Brush brush(0xFFFFFFFF);
    GdipFillRectangleI(g, brush, 5, 5, 50, 50);
  }
  EXPECT_FALSE(dib.AllZero());
  EXPECT_TRUE(ZelClearDib(dib.bitmap()));
  EXPECT_TRUE(dib.AllZero());
  EXPECT_EQ(0, dib.Drawn().right);
}

TEST(GdiplusMemory, CallerWritesMarkedAsDrawnAreClearedOnReuse) {
  {
    Dib dib(64, 64);
    std::memset(dib.bits() + 64 * 4 * 10, 0xFF, 64 * 4);  // row 10, written directly
    RECT row{0, 10, 64, 11};
    EXPECT_TRUE(ZelMarkDibDrawn(dib.bitmap(), &row));
    EXPECT_EQ(10, dib.Drawn().top);
  }
  Dib again(64, 64);
  EXPECT_TRUE(again.AllZero());
}

struct EdgeCase {
  const char* name;
  SmoothingMode mode;
  int cornerAlpha, edgeAlpha, insideAlpha, pastEndAlpha;
};

TEST(GdiplusGeometry, PixelCentresLieOnIntegerCoordinates) {
  GdiplusScope gdiplus;
  // FillRectangleI(10, 10, 4, 4): antialiased, its edges cut pixels 10 and 14 in half.
  const EdgeCase cases[] = {
      {"antialiased", SmoothingModeHighQuality, 64, 128, 255, 64},
      {"aliased", SmoothingModeNone, 255, 255, 255, 0},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib(20, 20);
    {
      Graphics g(dib.dc(), c.mode);
      Brush brush(0xFFFFFFFF);
      GdipFillRectangleI(g, brush, 10, 10, 4, 4);
    }
    EXPECT_NEAR(c.cornerAlpha, dib.Alpha(10, 10), 1);
    EXPECT_NEAR(c.edgeAlpha, dib.Alpha(11, 10), 1);
    EXPECT_EQ(c.insideAlpha, dib.Alpha(12, 12));
    EXPECT_NEAR(c.pastEndAlpha, dib.Alpha(14, 14), 1);
    EXPECT_EQ(0, dib.Alpha(9, 12));
    EXPECT_EQ(0, dib.Alpha(15, 12));
  }
}

TEST(GdiplusGeometry, OnePixelPenAlongIntegerCoordinatesIsCrisp) {
  GdiplusScope gdiplus;
  Dib dib(20, 20);
  {
    Graphics g(dib.dc());
    GpPen* pen = nullptr;
    ASSERT_EQ(Ok, GdipCreatePen1(0xFFFFFFFF, 1.0f, UnitWorld, &pen));
    const GpPointF line[2] = {{5, 2}, {5, 15}};
    EXPECT_EQ(Ok, GdipDrawPolygon(g, pen, line, 2));
    GdipDeletePen(pen);
  }
  for (int y = 3; y <= 14; ++y) {
    EXPECT_EQ(255, dib.Alpha(5, y)) << y;
    EXPECT_EQ(0, dib.Alpha(4, y));
    EXPECT_EQ(0, dib.Alpha(6, y));
  }
}

TEST(GdiplusGeometry, AlternateFillLeavesTheStarsCentreEmpty) {
  GdiplusScope gdiplus;
  // A pentagram: its centre is wound twice.
  GpPointF star[5];
  for (int i = 0; i < 5; ++i) {
    double t = -M_PI / 2 + i * 4 * M_PI / 5;
    star[i] = {static_cast<REAL>(50 + 40 * std::cos(t)), static_cast<REAL>(50 + 40 * std::sin(t))};
  }
  const std::pair<GpFillMode, int> cases[] = {{FillModeAlternate, 0}, {FillModeWinding, 255}};
  for (auto [mode, centre] : cases) {
    Dib dib(100, 100);
    {
      Graphics g(dib.dc());
      Brush brush(0xFFFFFFFF);
      EXPECT_EQ(Ok, GdipFillPolygon(g, brush, star, 5, mode));
    }
    EXPECT_EQ(centre, dib.Alpha(50, 50));
    EXPECT_EQ(255, dib.Alpha(50, 15));  // the top point
  }
}

TEST(GdiplusGeometry, BadArgumentsAreRefused) {
  GdiplusScope gdiplus;
  Dib dib(10, 10);
  Graphics g(dib.dc());
  Brush brush(0xFFFFFFFF);
  const GpPointF two[2] = {{0, 0}, {5, 5}};
  EXPECT_EQ(InvalidParameter, GdipFillPolygon(g, brush, two, 2, FillModeAlternate));
  EXPECT_EQ(InvalidParameter, GdipFillRectangleI(nullptr, brush, 0, 0, 1, 1));
  EXPECT_EQ(InvalidParameter, GdipFillRectangleI(g, nullptr, 0, 0, 1, 1));
  EXPECT_EQ(InvalidParameter, GdipSetSmoothingMode(g, static_cast<SmoothingMode>(9)));
  GpGraphics* none = reinterpret_cast<GpGraphics*>(1);
  EXPECT_EQ(InvalidParameter, GdipCreateFromHDC(nullptr, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(Ok, GdipFillRectangleI(g, brush, 0, 0, 0, 5));  // empty: nothing, no failure
  g.Release();
  EXPECT_TRUE(dib.AllZero());
}

TEST(GdiplusGeometry, DisplayDcGivesAGraphicsThatDrawsNothing) {
  GdiplusScope gdiplus;
  HDC display = CreateDCW(u"DISPLAY", nullptr, nullptr, nullptr);
  GpGraphics* g = nullptr;
  ASSERT_EQ(Ok, GdipCreateFromHDC(display, &g));
  Brush brush(0xFFFFFFFF);
  EXPECT_EQ(Ok, GdipFillEllipseI(g, brush, 0, 0, 10, 10));
  EXPECT_EQ(Ok, GdipDeleteGraphics(g));
  DeleteDC(display);
}

// Draws shapes and text into a bitmap; the same bytes whichever thread draws, however many at once.
std::vector<std::uint8_t> DrawScene(int seed) {
  Dib dib(400, 200);
  GdiplusScope gdiplus;
  GpFontFamily* family = nullptr;
  GdipCreateFontFamilyFromName(seed % 2 ? u"Liberation Serif" : u"Liberation Sans", nullptr, &family);
  GpFont* font = nullptr;
  GdipCreateFont(family, 20.0f + seed, seed % 4, UnitPoint, &font);
  {
    Graphics g(dib.dc());
    GdipSetTextRenderingHint(g, TextRenderingHintClearTypeGridFit);
    Brush back(0x80102030), text(0xFFFFFF00);
    GdipFillEllipseI(g, back, 10 + seed, 10, 300, 150);
    RectF layout{20, 40, 360, 80};
    GdipDrawString(g, u"12:34:56.789", -1, font, &layout, nullptr, text);
  }
  GdipDeleteFont(font);
  GdipDeleteFontFamily(family);
  return dib.Bytes();
}

TEST(GdiplusThreads, ConcurrentDrawingGivesTheSameBytesAsSequential) {
  constexpr int kScenes = 4;
  std::vector<std::uint8_t> expected[kScenes];
  for (int i = 0; i < kScenes; ++i) expected[i] = DrawScene(i);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::uint8_t> got[kScenes];
    std::vector<std::thread> threads;
    for (int i = 0; i < kScenes; ++i) threads.emplace_back([&got, i] {
      for (int k = 0; k < 5; ++k) got[i] = DrawScene(i);
    });
    for (auto& t : threads) t.join();
    for (int i = 0; i < kScenes; ++i) EXPECT_TRUE(got[i] == expected[i]) << "scene " << i << " round " << round;
  }
}

}  // namespace
