#pragma once
// Small drawing helpers the pictures, the indicators and the selector share: shapes given in
// design units are converted at the time of the call, stored shapes are used as stored.

#include <array>
#include <cstddef>
#include <memory>

#include "view/PictureGeometry.h"
#include "view/VellumView.h"

namespace pictures {

inline std::unique_ptr<gdi::Region> MakeRegion(const gdi::RECT& b) {
  return std::make_unique<gdi::Region>(b.left, b.top, b.right, b.bottom);
}

inline gdi::RECT DesignRect(const CVellumView& v, picture::DesignPoint topLeft,
                            picture::DesignPoint bottomRight) {
  const gdi::POINT a = v.DesignToClient(topLeft.dx, topLeft.dy);
  const gdi::POINT b = v.DesignToClient(bottomRight.dx, bottomRight.dy);
  return {a.x, a.y, b.x, b.y};
}

inline std::unique_ptr<gdi::Region> MakeRegion(const CVellumView& v, picture::DesignPoint topLeft,
                                               picture::DesignPoint bottomRight) {
  const gdi::RECT r = DesignRect(v, topLeft, bottomRight);
  return std::make_unique<gdi::Region>(r.left, r.top, r.right, r.bottom);
}

// A line a -> b in design units: MoveTo a, LineTo b.
inline void DesignLine(gdi::DC& dc, const CVellumView& v, int ax, int ay, int bx, int by) {
  dc.MoveTo(v.DesignToClient(ax, ay));
  dc.LineTo(v.DesignToClient(bx, by));
}

template <std::size_t N>
std::array<gdi::POINT, N> DesignPoints(const CVellumView& v,
                                       const std::array<picture::DesignPoint, N>& points) {
  std::array<gdi::POINT, N> pixels{};
  for (std::size_t i = 0; i < N; ++i) pixels[i] = v.DesignToClient(points[i].dx, points[i].dy);
  return pixels;
}

template <std::size_t N>
void DesignPolylineTo(gdi::DC& dc, const CVellumView& v,
                      const std::array<picture::DesignPoint, N>& points) {
  const std::array<gdi::POINT, N> pixels = DesignPoints(v, points);
  dc.PolylineTo(pixels.data(), int(N));
}

template <std::size_t N>
void DesignPolygon(gdi::DC& dc, const CVellumView& v,
                   const std::array<picture::DesignPoint, N>& points) {
  const std::array<gdi::POINT, N> pixels = DesignPoints(v, points);
  dc.Polygon(pixels.data(), int(N));
}

// Arc with box, start and end in design units.
inline void DesignArc(gdi::DC& dc, const CVellumView& v, picture::DesignPoint boxTopLeft,
                      picture::DesignPoint boxBottomRight, picture::DesignPoint start,
                      picture::DesignPoint end) {
  const gdi::RECT box = DesignRect(v, boxTopLeft, boxBottomRight);
  const gdi::POINT s = v.DesignToClient(start.dx, start.dy);
  const gdi::POINT e = v.DesignToClient(end.dx, end.dy);
  dc.Arc(box.left, box.top, box.right, box.bottom, s.x, s.y, e.x, e.y);
}

// The 2-button stylus's side button in the DC's brush: an ellipse, and a rectangle in the same
// colour over its upper half, so it is square at the top with no outline there.
inline void DrawTwoButtonSideButton(const CVellumView& v, gdi::DC& dc, const gdi::Brush* brush) {
  dc.Ellipse(DesignRect(v, {8, 210}, {22, 225}));
  const std::unique_ptr<gdi::Region> square = MakeRegion(v, {8, 203}, {22, 218});
  if (brush) dc.FillRgn(*square, *brush);
}

}  // namespace pictures
