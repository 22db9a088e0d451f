#include "drawing/AnalogClock.h"

#include <algorithm>
#include <cmath>

#include "drawing/GdiplusHandles.h"

namespace {
// The dial's own approximation of pi: the hands' and marks' pixel positions follow from it.
constexpr double kDialPi = 3.14159;
constexpr int kMinMarkSize = 2;
constexpr double kMarkRadius = 0.9;
constexpr double kHourHandLength = 0.5;
constexpr double kMinuteHandLength = 0.7;
constexpr double kSecondHandLength = 0.8;
constexpr double kTailLength = 0.1;
constexpr double kSideLength = 0.05;
// Radii are kept where doubling them and adding a centre coordinate stays within int.
constexpr float kMaxRadius = 1 << 28;

int TruncatedRadius(float r) {
  if (std::isnan(r)) return 0;
  return static_cast<int>(std::clamp(r, -kMaxRadius, kMaxRadius));
}

}  // namespace

CAnalogClock::CAnalogClock() = default;

GpPointF CAnalogClock::DialPoint(int k, double f) const {
  const double theta = (static_cast<double>(k) - 15) * kDialPi / 30;
  // + 0.5 then truncation: rounds positive offsets, moves negative ones toward zero.
  const int dy = static_cast<int>(m_ry * f * std::sin(theta) + 0.5);
  const int dx = static_cast<int>(m_rx * f * std::cos(theta) + 0.5);
  return {m_center.X + static_cast<float>(dx), m_center.Y + static_cast<float>(dy)};
}

void CAnalogClock::DrawHand(GpGraphics* graphics, GpBrush* brush, int a, double length) const {
  // Tail, one side, tip, other side.
  const GpPointF handPOINTs[4] = {DialPoint(a + 30, kTailLength), DialPoint(a + 15, kSideLength),
                                  DialPoint(a, length), DialPoint(a - 15, kSideLength)};
  GdipFillPolygon(graphics, brush, handPOINTs, 4, FillModeAlternate);
}

void CAnalogClock::Draw(GpGraphics* graphics, int x, int y, int radius, float horizontalScale, int hours, int minutes,
                        int seconds) {
  m_hours = hours;
  m_minutes = minutes;
  m_seconds = seconds;

  m_center = {static_cast<float>(x), static_cast<float>(y)};
  m_rx = TruncatedRadius(static_cast<float>(radius) / horizontalScale);
  m_ry = TruncatedRadius(static_cast<float>(radius));
  m_markSize = std::max(std::min(m_rx, m_ry) / 20, kMinMarkSize);

  if (m_showFace) {
    const zel2clock::SolidFillPtr face = zel2clock::MakeSolidFill(m_faceColor);
    GdipFillEllipseI(graphics, face.get(), x - m_rx, y - m_ry, 2 * m_rx, 2 * m_ry);
  }

  if (m_showMarks) {
    const zel2clock::SolidFillPtr mark = zel2clock::MakeSolidFill(m_markColor);
    const float q = static_cast<float>(m_markSize / 2 + 1);
    for (int i = 0; i < 60; i += 5) {
      // The square's top-left corner, not its centre, sits on the dial point.
      const GpPointF p = DialPoint(i, kMarkRadius);
      GdipFillRectangle(graphics, mark.get(), p.X, p.Y, q, q);
    }
  }

  const zel2clock::SolidFillPtr hand = zel2clock::MakeSolidFill(m_handColor);
  if (m_showHourHand) {
    const int h = m_hours <= 12 ? m_hours : m_hours % 12;
    DrawHand(graphics, hand.get(), h * 5 + m_minutes / 12, kHourHandLength);
  }
  if (m_showMinuteHand) DrawHand(graphics, hand.get(), m_minutes, kMinuteHandLength);
  if (m_showSecondHand) {
    const GpPointF line[2] = {m_center, DialPoint(m_seconds, kSecondHandLength)};
    const zel2clock::PenPtr pen = zel2clock::MakePen(m_handColor, 1.0f);
    GdipDrawPolygon(graphics, pen.get(), line, 2);
  }
}
