#pragma once
// Pen strokes shared by the DC's primitives. REQUIRES: the surface's lock is held.

#include "gdi/Canvas.h"
#include "gdi/Colour.h"
#include "gdi/Gdi.h"
#include "gdi/Raster.h"

namespace gdi {

inline bool IsWide(const Pen& pen) {
  return pen.Width() > 1;
}

// a to b with the pen. A one-pixel pen leaves b out (and draws nothing when a == b); a wide one
// covers both ends with round caps (a == b: a round dot of the pen's width).
inline void StrokeSegment(Canvas& cv, const Pen& pen, POINT a, POINT b) {
  const QRgb c = ToQRgb(pen.Colour());
  if (!IsWide(pen)) {
    raster::Line(a, b, cv.Clip(), [&](int x, int y) { cv.Plot(x, y, c); });
  } else {
    raster::WideLine(a, b, pen.Width(), cv.Clip(),
                     [&](int y, int x0, int x1) { cv.Span(y, x0, x1, c); });
  }
}

// One pixel of an outline (ellipse, arc) with the pen: a wide pen puts its dot there.
inline void StrokePixel(Canvas& cv, const Pen& pen, int x, int y) {
  if (!IsWide(pen)) {
    cv.Plot(x, y, ToQRgb(pen.Colour()));
  } else {
    StrokeSegment(cv, pen, {x, y}, {x, y});
  }
}

}  // namespace gdi
