// A DC that measures instead of drawing (ZelCreateMeasureDC): the rectangle a drawing would cover
// on a bitmap of a frame's size, for the cost of the drawing's geometry.
#pragma once

#include "Gdi.h"
#include "ZelPlatformHost.h"

namespace zel2clock {

/// A measuring DC of width x height, deleted on every path; Get() is null when the platform would
/// not make a bitmap of that size either.
class MeasureDC {
 public:
  MeasureDC(int width, int height) : m_dc(ZelCreateMeasureDC(width, height)) {}
  ~MeasureDC() {
    if (m_dc != nullptr) DeleteDC(m_dc);
  }
  MeasureDC(const MeasureDC&) = delete;
  MeasureDC& operator=(const MeasureDC&) = delete;

  HDC Get() const { return m_dc; }
  /// What the drawing so far covers (image rows); false when nothing could be measured.
  bool Covered(RECT& covered) const { return m_dc != nullptr && ZelGetMeasuredRect(m_dc, &covered); }

 private:
  HDC m_dc;
};

}  // namespace zel2clock
