#pragma once
// Pixel rules of the original platform, without Qt: which pixels a one-pixel line, an ellipse
// outline, an arc and a pie wedge cover. Callers get pixels through a callback and clip there;
// lines are clipped here already so a far-away end point never costs a long loop.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "gdi/Gdi.h"

namespace gdi::raster {

// The platform keeps coordinates within 27 bits; so do we, which keeps every product below in
// 64 bits (and the ellipse equation in 128).
constexpr int32_t kCoordLimit = 1 << 27;
inline int32_t ClampCoord(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, -kCoordLimit, kCoordLimit));
}

// One-pixel line from a to b, b itself left out. Bresenham in closed form: step i along the
// major axis puts the minor axis at round(i * dminor / dmajor), halves away from a. Only the
// steps whose major coordinate lies inside clip are visited; plot still gets pixels whose minor
// coordinate is outside clip.
template <class Plot>
void Line(POINT a, POINT b, const RECT& clip, Plot&& plot) {
  const int64_t ax = ClampCoord(a.x), ay = ClampCoord(a.y);
  const int64_t dx = ClampCoord(b.x) - ax, dy = ClampCoord(b.y) - ay;
  const int64_t adx = std::llabs(dx), ady = std::llabs(dy);
  const bool xMajor = adx >= ady;
  const int64_t n = xMajor ? adx : ady;
  if (n == 0) return;
  const int64_t dMinor = xMajor ? ady : adx;
  const int64_t sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t major0 = xMajor ? ax : ay;
  const int64_t minor0 = xMajor ? ay : ax;
  const int64_t lo = xMajor ? clip.left : clip.top;
  const int64_t hi = xMajor ? clip.right : clip.bottom;
  // major0 + sMajor * i in [lo, hi)
  int64_t iLo = sMajor > 0 ? lo - major0 : major0 - hi + 1;
  int64_t iHi = sMajor > 0 ? hi - major0 : major0 - lo + 1;
  iLo = std::max<int64_t>(iLo, 0);
  iHi = std::min<int64_t>(iHi, n);
  for (int64_t i = iLo; i < iHi; ++i) {
    const int64_t major = major0 + sMajor * i;
    const int64_t minor = minor0 + sMinor * ((2 * i * dMinor + n) / (2 * n));
    if (xMajor) {
      plot(int(major), int(minor));
    } else {
      plot(int(minor), int(major));
    }
  }
}

// A pen wider than one pixel: every pixel whose centre lies within width / 2 of the segment, which
// gives round caps and, segment after segment, round joins. Odd widths centre on pixel centres;
// even widths on the pixel's top-left corner, so a width-w dot is w pixels across either way.
class Capsule {
 public:
  Capsule(POINT a, POINT b, int width);
  int FirstRow() const { return firstRow_; }
  int LastRow() const { return lastRow_; }
  // The pixels of row y as [*first, *last]; false when the row misses the shape.
  bool Row(int y, int* first, int* last) const;

 private:
  double ax_, ay_, bx_, by_, r_;
  int firstRow_, lastRow_;
};

template <class Span>
void WideLine(POINT a, POINT b, int width, const RECT& clip, Span&& span) {
  const Capsule c(a, b, width);
  const int y0 = std::max(c.FirstRow(), clip.top), y1 = std::min(c.LastRow(), clip.bottom - 1);
  for (int y = y0; y <= y1; ++y) {
    int first, last;
    if (c.Row(y, &first, &last)) span(y, first, last);
  }
}

// An ellipse inscribed in a box whose right and bottom edges are excluded, seen from its centre.
// Pixel centres are used throughout, in doubled units so that boxes of even size stay integral.
struct EllipseBox {
  int32_t x0, y0;  // top-left pixel
  int32_t w, h;    // pixel count minus one (>= 0)

  // Returns false for an empty box. Left/right and top/bottom are swapped when given reversed.
  static bool From(int left, int top, int right, int bottom, EllipseBox* out);

  // Pixel of the quadrant offset (u, v) on each side of the centre.
  int32_t Left(int32_t u) const { return x0 + w / 2 - u; }
  int32_t Right(int32_t u) const { return x0 + (w + 1) / 2 + u; }
  int32_t Top(int32_t v) const { return y0 + h / 2 - v; }
  int32_t Bottom(int32_t v) const { return y0 + (h + 1) / 2 + v; }
  int32_t UMax() const { return w / 2; }
  int32_t VMax() const { return h / 2; }

  // Doubled vector from the centre to the centre of pixel (x, y), y growing downward.
  int64_t DX(int64_t x) const { return 2 * x - (2 * int64_t(x0) + w); }
  int64_t DY(int64_t y) const { return 2 * y - (2 * int64_t(y0) + h); }
};

// Walks one quadrant of the outline from (0, VMax) to (UMax, 0) as an 8-connected path with the
// midpoint rule, calling step(u, v) for each step (a step may repeat a row or column).
template <class Step>
void EllipseQuadrant(const EllipseBox& box, Step&& step) {
  using i128 = __int128;
  const i128 a = box.w, b = box.h;  // semi-axes, doubled
  const i128 a2 = a * a, b2 = b * b;
  const int64_t ox = box.w & 1, oy = box.h & 1;
  auto f = [&](i128 dx2, i128 dy2) { return b2 * dx2 * dx2 + a2 * dy2 * dy2 - a2 * b2; };
  int32_t u = 0, v = box.VMax();
  const int32_t uMax = box.UMax();
  // Shallow part: step along u while the outline is flatter than 45 degrees.
  while (u < uMax && b2 * (2 * u + ox) <= a2 * (2 * v + oy)) {
    step(u, v);
    if (v > 0 && f(2 * u + ox + 2, 2 * v + oy - 1) > 0) --v;
    ++u;
  }
  // Steep part: step along v.
  while (v > 0) {
    step(u, v);
    if (u < uMax && f(2 * u + ox + 1, 2 * v + oy - 2) < 0) ++u;
    --v;
  }
  for (; u <= uMax; ++u) step(u, 0);
}

// Calls plot(x, y) for every outline pixel (pixels may repeat).
template <class Plot>
void EllipseOutline(const EllipseBox& box, Plot&& plot) {
  EllipseQuadrant(box, [&](int32_t u, int32_t v) {
    plot(box.Right(u), box.Bottom(v));
    plot(box.Left(u), box.Bottom(v));
    plot(box.Right(u), box.Top(v));
    plot(box.Left(u), box.Top(v));
  });
}

// Calls span(y, xFirst, xLast) once per row with the row's full extent, outline included.
template <class Span>
void EllipseRows(const EllipseBox& box, Span&& span) {
  // The quadrant visits rows from VMax down to 0 with u never decreasing: the last u seen on a
  // row is its outermost pixel.
  int32_t rowV = -1, rowU = 0;
  auto flush = [&] {
    if (rowV < 0) return;
    span(box.Top(rowV), box.Left(rowU), box.Right(rowU));
    if (box.Bottom(rowV) != box.Top(rowV)) span(box.Bottom(rowV), box.Left(rowU), box.Right(rowU));
  };
  EllipseQuadrant(box, [&](int32_t u, int32_t v) {
    if (v != rowV) flush();
    rowV = v;
    rowU = u;
  });
  flush();
}

// Counter-clockwise as seen on the screen (y down) from the ray through a start point to the ray
// through an end point, both rays from the ellipse's centre. Vectors are doubled pixel-centre
// offsets as given by EllipseBox::DX/DY.
class Sweep {
 public:
  Sweep(int64_t sx, int64_t sy, int64_t ex, int64_t ey);
  // True when start and end lie on one ray: the whole ellipse.
  bool Full() const { return full_; }
  bool Contains(int64_t x, int64_t y) const;

 private:
  // 0 for angles in [0, pi) from the start ray, 1 for [pi, 2 pi).
  int Half(int64_t x, int64_t y) const;
  int64_t sx_, sy_, ex_, ey_;
  bool full_;
};

}  // namespace gdi::raster
