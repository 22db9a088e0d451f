// The analog clock: an elliptic face, twelve square hour marks, filled hour and minute hands and
// a one-pixel second hand, drawn with the 2-D library.
#pragma once

#include "GdiPlusFlat.h"

class CAnalogClock {
 public:
  CAnalogClock();

  void SetHandColor(ARGB color) { m_handColor = color; m_markColor = color; }  ///< hands and marks
  void SetFaceColor(ARGB color) { m_faceColor = color; }
  void SetShowFace(BOOL show) { m_showFace = show; }
  void SetShowHourHand(BOOL show) { m_showHourHand = show; }
  void SetShowMinuteHand(BOOL show) { m_showMinuteHand = show; }
  void SetShowSecondHand(BOOL show) { m_showSecondHand = show; }
  void SetShowMarks(BOOL show) { m_showMarks = show; }

  /// Draws the clock centred on (x, y): vertical radius `radius`, horizontal radius
  /// radius / horizontalScale (the frame's pixels may be non-square), showing the time.
  /// `graphics` should have its smoothing mode set; the drawing's statuses are not checked.
  void Draw(GpGraphics* graphics, int x, int y, int radius, float horizontalScale, int hours, int minutes,
            int seconds);

  /// The point at dial position k (minutes: 0 is twelve o'clock, 15 three o'clock; any integer)
  /// and fraction f of the radius, for the geometry of the last Draw().
  GpPointF DialPoint(int k, double f) const;
  int HorizontalRadius() const { return m_rx; }
  int VerticalRadius() const { return m_ry; }
  int MarkSize() const { return m_markSize; }

 private:
  void DrawHand(GpGraphics* graphics, GpBrush* brush, int position, double length) const;

  ARGB m_handColor = 0xFF000000;
  ARGB m_markColor = 0xFF000000;
  ARGB m_faceColor = 0xFFFFFFFF;
  GpPointF m_center{0, 0};
  int m_rx = 0;
  int m_ry = 0;
  int m_markSize = 2;
  int m_hours = 0;
  int m_minutes = 0;
  int m_seconds = 0;
  BOOL m_showHourHand = TRUE;
  BOOL m_showMinuteHand = TRUE;
  BOOL m_showSecondHand = TRUE;
  BOOL m_showMarks = TRUE;
  BOOL m_showFace = TRUE;
};
