// The LED clock: every segment, dot and gap of the texts at their positions and colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DrawingTestUtil.h"
#include "drawing/LEDClock.h"

using zeltest::Frame;

namespace {

constexpr ARGB kDigit = 0xFFFF3020;
constexpr ARGB kBox = 0xFF102040;

// A rectangle in units: x and y from the cell origin, horizontal units scale x and width,
// vertical ones y and height.
struct UnitRect {
  int x, y, w, h;
};

// Seven segments by their usual letters: a top, b upper right, c lower right, d bottom,
// e lower left, f upper left, g middle.
const UnitRect kSegmentA{0, 0, 25, 5}, kSegmentB{25, 5, 5, 20}, kSegmentC{25, 30, 5, 20}, kSegmentD{0, 50, 25, 5},
    kSegmentE{-5, 30, 5, 20}, kSegmentF{-5, 5, 5, 20}, kSegmentG{0, 25, 25, 5};
const char* const kDigitSegments[10] = {"abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};

std::vector<UnitRect> CharacterRects(char16_t c) {
  if (c == u':') return {{12, 12, 7, 7}, {12, 40, 7, 7}};
  if (c == u'.') return {{12, 40, 7, 7}};
  if (c < u'0' || c > u'9') return {};
  std::vector<UnitRect> rects;
  for (const char* s = kDigitSegments[c - u'0']; *s; ++s) {
    switch (*s) {
      case 'a': rects.push_back(kSegmentA); break;
      case 'b': rects.push_back(kSegmentB); break;
      case 'c': rects.push_back(kSegmentC); break;
      case 'd': rects.push_back(kSegmentD); break;
      case 'e': rects.push_back(kSegmentE); break;
      case 'f': rects.push_back(kSegmentF); break;
      case 'g': rects.push_back(kSegmentG); break;
    }
  }
  return rects;
}

// Pixel rectangles (x, y, w, h) as FillRectangleI takes them.
struct PixelRect {
  int x, y, w, h;
  // Antialiased with pixel centres on integers, the edges half-cover pixels x and x + w.
  bool Covers(int px, int py) const { return px > x && px < x + w && py > y && py < y + h; }
  bool Touches(int px, int py) const { return px >= x && px <= x + w && py >= y && py <= y + h; }
};

struct Layout {
  PixelRect box;
  std::vector<PixelRect> lit;
};

// The expected picture from the clock's published geometry: unit lengths k x size / 100,
// horizontal ones divided by the pixel aspect scale and computed in float.
Layout Expected(int x, int y, int size, float horizontalScale, const std::u16string& text) {
  const double scale = size / 100.0;
  const float u = static_cast<float>(scale / horizontalScale);
  auto H = [u](int k) { return static_cast<int>(static_cast<float>(k) * u); };
  auto V = [scale](int k) { return static_cast<int>(k * scale); };
  const int n = static_cast<int>(text.size());
  const int top = y - V(25);
  const int left = static_cast<int>(x - (H(45) * n) / 2.0 + H(10));
  Layout l;
  l.box = {left - H(10), top - V(5), H(45) * n, V(65)};
  for (int i = 0; i < n; ++i) {
    const int X = left + i * H(45);
    for (const UnitRect& r : CharacterRects(text[static_cast<std::size_t>(i)])) {
      const int rx = r.x < 0 ? -H(-r.x) : H(r.x);
      l.lit.push_back({X + rx, top + V(r.y), H(r.w), V(r.h)});
    }
  }
  return l;
}

struct TextCase {
  const char* name;
  std::u16string text;
  int clockRadius;
  float horizontalScale;
};

TEST(LEDClock, EverySegmentDotAndGapAtItsPlace) {
  const TextCase cases[] = {
      {"12:30 radius 100", u"12:30", 100, 1.0f},
      {"12/31 radius 100", u"12/31", 100, 1.0f},
      {"00:00:01.500 radius 100", u"00:00:01.500", 100, 1.0f},
      {"12:30 radius 270", u"12:30", 270, 1.0f},
      {"00:00:01.500 radius 270", u"00:00:01.500", 270, 1.0f},
      {"88:88 wide pixels", u"88:88", 270, 0.75f},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int size = c.clockRadius * 68 / 100;
    const int x = 960, y = 540;
    Frame frame(1920, 1080);
    CLEDClock clock;
    clock.SetDigitColor(kDigit);
    clock.SetBoxColor(kBox);
    frame.WithGraphics([&](GpGraphics* g) {
      clock.Draw(g, x, y, size, c.horizontalScale, c.text.c_str(), static_cast<int>(c.text.size()));
    });
    const Layout l = Expected(x, y, size, c.horizontalScale, c.text);
    int digitPixels = 0, boxPixels = 0, mismatches = 0;
    for (int py = l.box.y - 2; py <= l.box.y + l.box.h + 2; ++py)
      for (int px = l.box.x - 2; px <= l.box.x + l.box.w + 2; ++px) {
        const std::uint32_t p = frame.Pixel(px, py);
        bool inside = false, touched = false;
        for (const PixelRect& r : l.lit) {
          inside |= r.Covers(px, py);
          touched |= r.Touches(px, py);
        }
        std::uint32_t want;
        if (inside) {
          want = kDigit;
          ++digitPixels;
        } else if (touched || (l.box.Touches(px, py) && !l.box.Covers(px, py))) {
          continue;  // an antialiased edge
        } else if (l.box.Covers(px, py)) {
          want = kBox;
          ++boxPixels;
        } else {
          want = 0;
        }
        if (p != want && ++mismatches <= 5) ADD_FAILURE() << "pixel " << px << "," << py << " is " << std::hex << p << " not " << want;
      }
    EXPECT_EQ(0, mismatches);
    EXPECT_GT(digitPixels, 0);
    EXPECT_GT(boxPixels, digitPixels);
    // Nothing beyond the box.
    RECT ink = frame.Ink();
    EXPECT_GE(ink.left, l.box.x);
    EXPECT_LE(ink.right, l.box.x + l.box.w + 1);
    EXPECT_GE(ink.top, l.box.y);
    EXPECT_LE(ink.bottom, l.box.y + l.box.h + 1);
    frame.MaybeWritePng(std::string("led ") + c.name);
  }
}

TEST(LEDClock, UnitLengthsOfTheSize68Example) {
  Frame frame(400, 200);
  CLEDClock clock;
  EXPECT_EQ(45, clock.H(45));  // before drawing, each length is its own unit count
  EXPECT_EQ(65, clock.V(65));
  frame.WithGraphics([&](GpGraphics* g) { clock.Draw(g, 200, 100, 68, 1.0f, u"12:30", 5); });
  EXPECT_EQ(30, clock.H(45));
  EXPECT_EQ(44, clock.V(65));
  EXPECT_EQ(17, clock.V(25));
  EXPECT_EQ(100 - 17, clock.Top());
  // Five cells of H(45) centred on x: the box starts H(10) left of the first cell origin.
  EXPECT_EQ(static_cast<int>(200 - 150 / 2.0 + clock.H(10)), clock.Left());
}

TEST(LEDClock, SlashLeavesTheMiddleCellEmptyAndTheColonSitsInIt) {
  for (const std::u16string& text : {std::u16string(u"12/31"), std::u16string(u"12:31")}) {
    Frame frame(400, 200);
    CLEDClock clock;
    clock.SetDigitColor(kDigit);
    clock.SetBoxColor(kBox);
    frame.WithGraphics([&](GpGraphics* g) { clock.Draw(g, 200, 100, 68, 1.0f, text.c_str(), 5); });
    // The middle cell, away from its neighbours' segments (they reach H(5) into the next cell).
    const int cellLeft = clock.Left() + 2 * clock.H(45) + clock.H(5) + 1;
    const int cellRight = clock.Left() + 3 * clock.H(45) - clock.H(5) - 1;
    int digitPixels = 0;
    for (int y = clock.Top(); y < clock.Top() + clock.V(60); ++y)
      for (int x = cellLeft; x <= cellRight; ++x) digitPixels += frame.Pixel(x, y) == kDigit;
    if (text[2] == u'/') {
      EXPECT_EQ(0, digitPixels);
    } else {
      EXPECT_EQ(2 * 3 * 3, digitPixels);  // two dots of H(7) x V(7) = 4 x 4, 3 x 3 fully covered
    }
    frame.MaybeWritePng(std::string("led middle ") + (text[2] == u'/' ? "slash" : "colon"));
  }
}

TEST(LEDClock, LettersAndOtherCharacters) {
  // A, P and M draw; a space and unknown letters only take their cell.
  Frame frame(600, 200);
  CLEDClock clock;
  clock.SetDigitColor(kDigit);
  clock.SetBoxColor(kBox);
  clock.SetShowBox(FALSE);
  frame.WithGraphics([&](GpGraphics* g) { clock.Draw(g, 300, 100, 100, 1.0f, u"AP M-x", 6); });
  auto cellHasInk = [&](int i) {
    for (int y = 0; y < 200; ++y)
      for (int x = clock.Left() + i * clock.H(45) - clock.H(5); x < clock.Left() + i * clock.H(45) + clock.H(30); ++x)
        if (frame.Alpha(x, y)) return true;
    return false;
  };
  EXPECT_TRUE(cellHasInk(0));
  EXPECT_TRUE(cellHasInk(1));
  EXPECT_FALSE(cellHasInk(2));
  EXPECT_TRUE(cellHasInk(3));
  EXPECT_FALSE(cellHasInk(4));
  EXPECT_FALSE(cellHasInk(5));
  // The P's right stem is short: V(12) below Y + V(20), where the A's reaches V(30).
  const int aStem = clock.Left() + clock.H(20) + clock.H(5) / 2;
  const int pStem = aStem + clock.H(45);
  const int below = clock.Top() + clock.V(20) + clock.V(12) + 3;
  EXPECT_EQ(kDigit, frame.Pixel(aStem, below));
  EXPECT_EQ(0u, frame.Pixel(pStem, below));
}

TEST(LEDClock, DegenerateScalesDrawNothingHarmful) {
  Frame frame(200, 100);
  CLEDClock clock;
  frame.WithGraphics([&](GpGraphics* g) {
    clock.Draw(g, 100, 50, 68, 0.0f, u"12", 2);
    clock.Draw(g, 100, 50, 0, 1.0f, u"12", 2);
    clock.Draw(g, 100, 50, 68, 1.0f, nullptr, 3);
  });
  SUCCEED();
}

}  // namespace
