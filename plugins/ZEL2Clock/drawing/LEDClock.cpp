#include "drawing/LEDClock.h"

#include <algorithm>
#include <cmath>

#include "drawing/GdiplusHandles.h"

namespace {

// Seven segments, in drawing order. A rectangle is (x, y, width, height) in unit lengths from the
// character cell's origin; `digits` has bit d set when digit d lights the segment.
struct Segment {
  int x, y, width, height;  ///< horizontal or vertical unit names, signed for x: -5 is -H(5)
  unsigned digits;
};
constexpr unsigned Digits(std::initializer_list<int> ds) {
  unsigned bits = 0;
  for (int d : ds) bits |= 1u << d;
  return bits;
}
constexpr Segment kSegments[7] = {
    {0, 0, 25, 5, Digits({0, 2, 3, 5, 6, 7, 8, 9})},          // top
    {-5, 5, 5, 20, Digits({0, 4, 5, 6, 8, 9})},               // upper left
    {25, 5, 5, 20, Digits({0, 1, 2, 3, 4, 7, 8, 9})},         // upper right
    {0, 25, 25, 5, Digits({2, 3, 4, 5, 6, 8, 9})},            // middle
    {0, 50, 25, 5, Digits({0, 2, 3, 5, 6, 8, 9})},            // bottom
    {-5, 30, 5, 20, Digits({0, 2, 6, 8})},                    // lower left
    {25, 30, 5, 20, Digits({0, 1, 3, 4, 5, 6, 7, 8, 9})},     // lower right
};

// Truncation to int of a length that may be absurd for a degenerate scale (0, NaN, infinite).
int ToLength(double v) {
  if (std::isnan(v)) return 0;
  constexpr double kMax = 1 << 24;
  return static_cast<int>(std::clamp(v, -kMax, kMax));
}


}  // namespace

CLEDClock::CLEDClock() = default;

int CLEDClock::H(int k) const {
  for (std::size_t i = 0; i < kHorizontalUnits.size(); ++i)
    if (kHorizontalUnits[i] == k) return m_h[i];
  return 0;
}

int CLEDClock::V(int k) const {
  for (std::size_t i = 0; i < kVerticalUnits.size(); ++i)
    if (kVerticalUnits[i] == k) return m_v[i];
  return 0;
}

void CLEDClock::DrawCharacter(GpGraphics* g, GpBrush* brush, WCHAR c, int X, int Y) const {
  auto fill = [&](int x, int y, int w, int h) { GdipFillRectangleI(g, brush, x, y, w, h); };
  switch (c) {
    case u'A':
      fill(X + H(5), Y + V(15), H(15), V(5));
      fill(X, Y + V(20), H(5), V(30));
      fill(X + H(20), Y + V(20), H(5), V(30));
      fill(X + H(5), Y + V(32), H(15), V(5));
      return;
    case u'P':
      fill(X + H(5), Y + V(15), H(15), V(5));
      fill(X, Y + V(20), H(5), V(30));
      fill(X + H(20), Y + V(20), H(5), V(12));
      fill(X + H(5), Y + V(32), H(15), V(5));
      return;
    case u'M':
      fill(X, Y + V(15), H(15), V(5));
      fill(X - H(5), Y + V(20), H(5), V(30));
      fill(X + H(15), Y + V(20), H(5), V(30));
      // Its height is the horizontal H(15), as the letter has always been drawn.
      fill(X + H(5), Y + V(15), H(5), H(15));
      return;
    case u':':
      fill(X + H(12), Y + V(12), H(7), V(7));
      fill(X + H(12), Y + V(40), H(7), V(7));
      return;
    case u'.':
      fill(X + H(12), Y + V(40), H(7), V(7));
      return;
    default:
      break;
  }
  if (c < u'0' || c > u'9') return;  // any other character only takes its cell
  const unsigned digit = 1u << (c - u'0');
  for (const Segment& s : kSegments) {
    if (!(s.digits & digit)) continue;
    const int x = s.x < 0 ? -H(-s.x) : H(s.x);
    fill(X + x, Y + V(s.y), H(s.width), V(s.height));
  }
}

void CLEDClock::Draw(GpGraphics* graphics, int x, int y, int size, float horizontalScale, const WCHAR* text, int length) {
  m_scale = size / 100.0;
  const float u = static_cast<float>(m_scale / horizontalScale);
  for (std::size_t i = 0; i < kHorizontalUnits.size(); ++i)
    m_h[i] = ToLength(static_cast<float>(kHorizontalUnits[i]) * u);
  for (std::size_t i = 0; i < kVerticalUnits.size(); ++i) m_v[i] = ToLength(kVerticalUnits[i] * m_scale);

  if (!text || length < 0) length = 0;
  const long long cells = static_cast<long long>(H(45)) * length;
  m_top = y - V(25);
  m_left = ToLength(x - static_cast<double>(cells) / 2.0 + H(10));

  if (m_showBox) {
    const zel2clock::SolidFillPtr box = zel2clock::MakeSolidFill(m_boxColor);
    GdipFillRectangleI(graphics, box.get(), m_left - H(10), m_top - V(5), ToLength(static_cast<double>(cells)), V(65));
  }
  const zel2clock::SolidFillPtr digit = zel2clock::MakeSolidFill(m_digitColor);
  for (int i = 0; i < length; ++i) {
    const long long X = m_left + static_cast<long long>(i) * H(45);
    // Far outside any frame: stop before cell origins plus segment offsets could overflow.
    if (X > (1 << 30) || X < -(1 << 30)) break;
    DrawCharacter(graphics, digit.get(), text[i], static_cast<int>(X), m_top);
  }
}
