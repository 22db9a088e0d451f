// The analog clock: face extents, hour-mark corners on the dial points, hand tips, and the
// geometry under horizontal scaling and tiny radii.
#include <gtest/gtest.h>

#include <cmath>

#include "drawing/AnalogClock.h"
#include "DrawingTestUtil.h"

using zeltest::Frame;

namespace {

constexpr ARGB kHand = 0xFFFFFFFF;
constexpr ARGB kFace = 0xFF204080;

// The dial point by its published formula: angle (k - 15) x 3.14159 / 30, offsets rounded by
// adding 0.5 and truncating.
GpPointF Dial(int cx, int cy, int rx, int ry, int k, double f) {
  const double theta = (k - 15) * 3.14159 / 30;
  return {static_cast<float>(cx + static_cast<int>(rx * f * std::cos(theta) + 0.5)),
          static_cast<float>(cy + static_cast<int>(ry * f * std::sin(theta) + 0.5))};
}

enum Parts : unsigned { kFacePart = 1, kMarks = 2, kHourHand = 4, kMinuteHand = 8, kSecondHand = 16, kAll = 31 };

void DrawClock(Frame& frame, unsigned parts, int x, int y, int radius, float hs, int h, int m, int s) {
  CAnalogClock clock;
  clock.SetHandColor(kHand);
  clock.SetFaceColor(kFace);
  clock.SetShowFace(parts & kFacePart);
  clock.SetShowMarks(parts & kMarks);
  clock.SetShowHourHand(parts & kHourHand);
  clock.SetShowMinuteHand(parts & kMinuteHand);
  clock.SetShowSecondHand(parts & kSecondHand);
  frame.WithGraphics([&](GpGraphics* g) { clock.Draw(g, x, y, radius, hs, h, m, s); });
}

struct FaceCase {
  const char* name;
  int radius;
  float horizontalScale;
  int rx;  ///< expected horizontal radius
};

TEST(AnalogClock, FaceSpansTheRadiiAroundTheCentre) {
  const FaceCase cases[] = {
      {"square pixels", 100, 1.0f, 100},
      {"scale 0.5: twice as wide", 100, 0.5f, 200},
      {"scale 1.5", 90, 1.5f, 60},
  };
  for (const FaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Frame frame(600, 300);
    DrawClock(frame, kFacePart, 300, 150, c.radius, c.horizontalScale, 0, 0, 0);
    // Edges through pixel centres: the extreme pixels are about half covered.
    RECT ink = frame.Ink();
    EXPECT_EQ(300 - c.rx, ink.left);
    EXPECT_EQ(300 + c.rx + 1, ink.right);
    EXPECT_EQ(150 - c.radius, ink.top);
    EXPECT_EQ(150 + c.radius + 1, ink.bottom);
    EXPECT_NEAR(128, frame.Alpha(300 - c.rx, 150), 12);
    EXPECT_EQ(kFace, frame.Pixel(300, 150));
    EXPECT_EQ(kFace, frame.Pixel(300 - c.rx + 2, 150));
  }
}

struct MarkCase {
  const char* name;
  int radius;
  float horizontalScale;
  int markSquare;  ///< q = mark size / 2 + 1
};

TEST(AnalogClock, HourMarkTopLeftCornersOnTheDialPoints) {
  const MarkCase cases[] = {
      {"radius 100", 100, 1.0f, 3},      // mark size 5
      {"radius 270", 270, 1.0f, 7},      // 13
      {"scale 0.5", 100, 0.5f, 3},       // min(200, 100) / 20 = 5
      {"radius 30: size 2", 30, 1.0f, 2},
  };
  for (const MarkCase& c : cases) {
    SCOPED_TRACE(c.name);
    Frame frame(800, 700);
    const int cx = 400, cy = 350;
    DrawClock(frame, kMarks, cx, cy, c.radius, c.horizontalScale, 0, 0, 0);
    const int rx = static_cast<int>(c.radius / c.horizontalScale);
    int marks = 0;
    for (int i = 0; i < 60; i += 5) {
      GpPointF p = Dial(cx, cy, rx, c.radius, i, 0.9);
      const int x = static_cast<int>(p.X), y = static_cast<int>(p.Y);
      // Covered fully from x + 1 to x + q - 1; the pixels before the corner stay empty.
      for (int dy = 1; dy < c.markSquare; ++dy)
        for (int dx = 1; dx < c.markSquare; ++dx) EXPECT_EQ(kHand, frame.Pixel(x + dx, y + dy)) << "mark " << i;
      EXPECT_EQ(0, frame.Alpha(x - 1, y + 1)) << "mark " << i;
      EXPECT_EQ(0, frame.Alpha(x + 1, y - 1)) << "mark " << i;
      EXPECT_EQ(0, frame.Alpha(x + c.markSquare + 1, y + 1)) << "mark " << i;
      ++marks;
    }
    EXPECT_EQ(12, marks);
  }
  // The published formula's own corner values for radius 100 at (200, 150).
  const std::pair<int, GpPointF> corners[] = {{0, {200, 61}}, {15, {290, 150}}, {30, {200, 240}}, {45, {111, 150}}};
  for (auto [k, want] : corners) {
    GpPointF p = Dial(200, 150, 100, 100, k, 0.9);
    EXPECT_EQ(want.X, p.X) << k;
    EXPECT_EQ(want.Y, p.Y) << k;
  }
}

TEST(AnalogClock, HandTipsAtThreeOClock) {
  const int cx = 200, cy = 150;
  {
    SCOPED_TRACE("hour hand: dial position 15, half the radius");
    Frame frame(400, 300);
    DrawClock(frame, kHourHand, cx, cy, 100, 1.0f, 3, 0, 0);
    RECT ink = frame.Ink();
    EXPECT_NEAR(250, ink.right - 1, 1);  // tip at (250, 150)
    EXPECT_NEAR(cx - 10, ink.left, 1);   // tail at a tenth of the radius
    EXPECT_GT(frame.Alpha(245, 150), 200);
  }
  {
    SCOPED_TRACE("minute hand: straight up, 0.7 of the radius");
    Frame frame(400, 300);
    DrawClock(frame, kMinuteHand, cx, cy, 100, 1.0f, 3, 0, 0);
    RECT ink = frame.Ink();
    EXPECT_NEAR(cy - 69, ink.top, 1);
    EXPECT_GT(frame.Alpha(cx, cy - 60), 200);
  }
  {
    SCOPED_TRACE("second hand: one pixel up to 0.8 of the radius");
    Frame frame(400, 300);
    DrawClock(frame, kSecondHand, cx, cy, 100, 1.0f, 3, 0, 0);
    for (int y = cy - 78; y < cy; ++y) EXPECT_EQ(kHand, frame.Pixel(cx, y)) << y;
    EXPECT_EQ(0, frame.Alpha(cx, cy - 81));
    EXPECT_EQ(0, frame.Alpha(cx - 1, cy - 40));
    EXPECT_EQ(0, frame.Alpha(cx + 1, cy - 40));
  }
}

struct SameHourCase {
  int hoursA, minutesA, hoursB, minutesB;
};

TEST(AnalogClock, HourHandPositionsThatCoincide) {
  const SameHourCase cases[] = {
      {0, 0, 12, 0},    // 0 and 12
      {13, 20, 1, 20},  // 13..23 as 1..11
      {23, 45, 11, 45},
      {12, 59, 0, 59},  // 12:59 is dial position 64, the same point as 4: just past twelve
  };
  for (const SameHourCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hoursA << ":" << c.minutesA);
    Frame a(300, 300), b(300, 300);
    DrawClock(a, kHourHand, 150, 150, 120, 1.0f, c.hoursA, c.minutesA, 0);
    DrawClock(b, kHourHand, 150, 150, 120, 1.0f, c.hoursB, c.minutesB, 0);
    EXPECT_TRUE(a.Bytes() == b.Bytes());
  }
  Frame f(300, 300);
  DrawClock(f, kHourHand, 150, 150, 120, 1.0f, 12, 59, 0);
  GpPointF tip = Dial(150, 150, 120, 120, 64, 0.5);
  EXPECT_GT(tip.X, 150);  // right of twelve
  EXPECT_GT(f.Alpha(static_cast<int>(tip.X) - 1, static_cast<int>(tip.Y) + 3), 0);
  EXPECT_EQ(0, f.Alpha(150 - 20, 150 - 50));
}

TEST(AnalogClock, HandsFollowTheEllipseUnderHorizontalScale) {
  Frame frame(600, 300);
  DrawClock(frame, kHourHand, 300, 150, 100, 0.5f, 3, 0, 0);
  RECT ink = frame.Ink();
  EXPECT_NEAR(300 + 100, ink.right - 1, 1);  // half of rx = 200
}

TEST(AnalogClock, RadiusZeroDrawsOnlyTheMarksOnTheCentre) {
  Frame frame(100, 100);
  DrawClock(frame, kAll, 50, 50, 0, 1.0f, 10, 10, 30);
  RECT ink = frame.Ink();
  // All twelve 2 x 2 marks have their corner on the centre; face and hands have no extent.
  EXPECT_EQ(50, ink.left);
  EXPECT_EQ(50, ink.top);
  EXPECT_LE(ink.right, 53);
  EXPECT_LE(ink.bottom, 53);
  EXPECT_EQ(kHand, frame.Pixel(51, 51));
}

TEST(AnalogClock, MarkSizeAndRadiiOfTheLastDraw) {
  struct Case {
    int radius;
    float hs;
    int rx, markSize;
  } cases[] = {{100, 1.0f, 100, 5}, {39, 1.0f, 39, 2}, {0, 1.0f, 0, 2}, {100, 0.5f, 200, 5}, {100, 3.0f, 33, 2},
               {100, 0.0f, 1 << 28, 5}};  // scale 0: clamped instead of an undefined conversion
  for (const Case& c : cases) {
    Frame frame(10, 10);
    CAnalogClock clock;
    frame.WithGraphics([&](GpGraphics* g) { clock.Draw(g, 5, 5, c.radius, c.hs, 0, 0, 0); });
    EXPECT_EQ(c.rx, clock.HorizontalRadius()) << c.radius << " " << c.hs;
    EXPECT_EQ(c.radius, clock.VerticalRadius());
    EXPECT_EQ(c.markSize, clock.MarkSize());
  }
}

TEST(AnalogClock, FullClockAt1080p) {
  Frame frame(1920, 1080);
  DrawClock(frame, kAll, 960, 540, 270, 1.0f, 10, 8, 42);
  RECT drawn = frame.dib().GetDrawnRect();
  RECT ink = frame.Ink();
  EXPECT_LE(drawn.left, ink.left);
  EXPECT_GE(drawn.right, ink.right);
  EXPECT_EQ(960 - 270, ink.left);
  EXPECT_EQ(kHand, frame.Pixel(960, 540));
  frame.MaybeWritePng("analog 10-08-42");
}

}  // namespace
