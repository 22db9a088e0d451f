// The LED clock: the clock text as seven-segment digits (and A, P, M, colon and point) made of
// filled rectangles, on a filled box.
#pragma once

#include <array>

#include "GdiPlusFlat.h"

class CLEDClock {
 public:
  CLEDClock();

  void SetDigitColor(ARGB color) { m_digitColor = color; }
  void SetBoxColor(ARGB color) { m_boxColor = color; }
  void SetShowBox(BOOL show) { m_showBox = show; }

  /// Draws `length` characters of `text` centred horizontally on x, the digits' top V(25) above y.
  /// `size` is the percentage the unit lengths are scaled by (the caller passes the clock radius
  /// x 68 / 100); `horizontalScale` narrows or widens them for non-square pixels.
  void Draw(GpGraphics* graphics, int x, int y, int size, float horizontalScale, const WCHAR* text, int length);

  /// The scaled lengths of the last Draw() (k itself before any): horizontal H(k) for k in
  /// 5, 10, 15, 20, 25, 30, 32, 12, 7, 40, 45, 50, 60 and vertical V(k) for those and 65.
  int H(int k) const;
  int V(int k) const;
  int Top() const { return m_top; }
  int Left() const { return m_left; }

 private:
  static constexpr std::array<int, 13> kHorizontalUnits{5, 10, 15, 20, 25, 30, 32, 12, 7, 40, 45, 50, 60};
  static constexpr std::array<int, 14> kVerticalUnits{5, 10, 15, 20, 25, 30, 32, 12, 7, 40, 45, 50, 60, 65};

  void DrawCharacter(GpGraphics* graphics, GpBrush* brush, WCHAR c, int X, int Y) const;

  ARGB m_digitColor = 0xFFFFFFFF;
  ARGB m_boxColor = 0xFF000000;
  int m_top = 0;
  int m_left = 0;
  double m_scale = 1.0;
  BOOL m_showBox = TRUE;
  std::array<int, 13> m_h = kHorizontalUnits;
  std::array<int, 14> m_v = kVerticalUnits;
};
