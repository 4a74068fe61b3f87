#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <mutex>
#include <vector>

#include "gdi/Canvas.h"
#include "gdi/Gdi.h"
#include "gdi/Raster.h"
#include "gdi/Stroke.h"

namespace gdi {
namespace {

using raster::EllipseBox;
using raster::Sweep;

Sweep MakeSweep(const EllipseBox& box, int xStart, int yStart, int xEnd, int yEnd) {
  return Sweep(box.DX(raster::ClampCoord(xStart)), box.DY(raster::ClampCoord(yStart)),
               box.DX(raster::ClampCoord(xEnd)), box.DY(raster::ClampCoord(yEnd)));
}

void StrokeArc(Canvas& cv, const Pen& pen, const EllipseBox& box, const Sweep& sweep) {
  raster::EllipseOutline(box, [&](int x, int y) {
    if (sweep.Contains(box.DX(x), box.DY(y))) StrokePixel(cv, pen, x, y);
  });
}

// The pixel where the ray from the centre through (x, y) leaves the ellipse.
POINT RayEnd(const EllipseBox& box, int x, int y) {
  const double dx = double(box.DX(raster::ClampCoord(x)));
  const double dy = double(box.DY(raster::ClampCoord(y)));
  const double a = box.w, b = box.h;  // doubled semi-axes
  const double q = (a > 0 ? (dx / a) * (dx / a) : (dx != 0 ? HUGE_VAL : 0)) +
                   (b > 0 ? (dy / b) * (dy / b) : (dy != 0 ? HUGE_VAL : 0));
  const double k = (q > 0 && std::isfinite(q)) ? 1.0 / std::sqrt(q) : 0.0;
  // Doubled pixel centres are 2x + 1 from the box's doubled origin.
  const double cx = 2.0 * box.x0 + box.w + k * dx, cy = 2.0 * box.y0 + box.h + k * dy;
  return {int(std::floor(cx / 2)), int(std::floor(cy / 2))};
}

// False when nothing of the box, widened by the pen, can reach the clip: a far-away ellipse then
// costs nothing instead of a walk around its whole outline.
bool MayTouch(const EllipseBox& box, const Pen& pen, const Canvas& cv) {
  const int64_t grow = pen.Width() / 2 + 1;
  const RECT& c = cv.Clip();
  return !cv.Empty() && box.x0 - grow < c.right && int64_t(box.x0) + box.w + grow >= c.left &&
         box.y0 - grow < c.bottom && int64_t(box.y0) + box.h + grow >= c.top;
}

}  // namespace

void DC::Ellipse(int left, int top, int right, int bottom) {
  EllipseBox box;
  if (!EllipseBox::From(left, top, right, bottom, &box)) return;
  std::lock_guard lock(surface_.Lock());
  Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
  if (!MayTouch(box, *pen_, cv)) return;
  const QRgb fill = ToQRgb(brush_->Colour());
  raster::EllipseRows(box, [&](int y, int x0, int x1) { cv.Span(y, x0, x1, fill); });
  raster::EllipseOutline(box, [&](int x, int y) { StrokePixel(cv, *pen_, x, y); });
  dirty_.Add(cv.Touched());
}

void DC::Arc(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
  EllipseBox box;
  if (!EllipseBox::From(left, top, right, bottom, &box)) return;
  const Sweep sweep = MakeSweep(box, xStart, yStart, xEnd, yEnd);
  std::lock_guard lock(surface_.Lock());
  Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
  if (!MayTouch(box, *pen_, cv)) return;
  StrokeArc(cv, *pen_, box, sweep);
  dirty_.Add(cv.Touched());
}

void DC::Pie(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
  EllipseBox box;
  if (!EllipseBox::From(left, top, right, bottom, &box)) return;
  const Sweep sweep = MakeSweep(box, xStart, yStart, xEnd, yEnd);
  std::lock_guard lock(surface_.Lock());
  Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
  if (!MayTouch(box, *pen_, cv)) return;
  const QRgb fill = ToQRgb(brush_->Colour());
  raster::EllipseRows(box, [&](int y, int x0, int x1) {
    if (y < cv.Clip().top || y >= cv.Clip().bottom) return;
    x0 = std::max(x0, cv.Clip().left);
    x1 = std::min(x1, cv.Clip().right - 1);
    for (int x = x0; x <= x1; ++x) {
      if (sweep.Contains(box.DX(x), box.DY(y))) cv.Plot(x, y, fill);
    }
  });
  StrokeArc(cv, *pen_, box, sweep);
  // The two radii: arc end to centre, centre back to the arc's start.
  const POINT centre{box.Left(0), box.Top(0)};
  const POINT start = RayEnd(box, xStart, yStart);
  const POINT end = sweep.Full() ? start : RayEnd(box, xEnd, yEnd);
  StrokeSegment(cv, *pen_, end, centre);
  StrokeSegment(cv, *pen_, centre, start);
  StrokePixel(cv, *pen_, start.x, start.y);
  dirty_.Add(cv.Touched());
}

void DC::Polygon(const POINT* points, int count) {
  if (points == nullptr || count < 2) return;
  QPolygon poly(count);
  RECT bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int i = 0; i < count; ++i) {
    const int x = raster::ClampCoord(points[i].x), y = raster::ClampCoord(points[i].y);
    poly.setPoint(i, x, y);
    bounds = {std::min(bounds.left, x), std::min(bounds.top, y), std::max(bounds.right, x),
              std::max(bounds.bottom, y)};
  }
  std::lock_guard lock(surface_.Lock());
  Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
  if (cv.Empty()) return;
  {
    // The platform samples the interior at whole-pixel points, where its outlines are drawn too;
    // Qt samples at pixel centres. Shifting the polygon half a pixel makes the two agree, so thin
    // slanted shapes have no unfilled pixels between their outline pixels. Left and top edges
    // stay in, right and bottom edges stay out.
    QPainter p(&cv.Image());
    p.setRenderHint(QPainter::Antialiasing, false);
    const RECT& c = cv.Clip();
    p.setClipRect(QRect(c.left, c.top, c.right - c.left, c.bottom - c.top));
    p.translate(0.5, 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(ToQRgb(brush_->Colour())));
    p.drawPolygon(poly, Qt::OddEvenFill);
  }
  cv.TouchRect(bounds);  // fill pixels lie within [min, max) of the vertices
  for (int i = 0; i < count; ++i) {
    StrokeSegment(cv, *pen_, points[i], points[(i + 1) % count]);
  }
  dirty_.Add(cv.Touched());
}

}  // namespace gdi
