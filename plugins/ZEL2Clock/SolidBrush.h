// A solid brush of the 2-D library that is deleted when it goes out of scope, for the clocks that
// make one brush per shape.
#pragma once

#include "GdiPlusFlat.h"

struct SolidBrush {
  GpSolidFill* brush = nullptr;
  explicit SolidBrush(ARGB color) { GdipCreateSolidFill(color, &brush); }
  ~SolidBrush() {
    if (brush) GdipDeleteBrush(brush);
  }
  SolidBrush(const SolidBrush&) = delete;
  SolidBrush& operator=(const SolidBrush&) = delete;
};
