#include "gdi/Raster.h"

#include <cmath>
#include <utility>

namespace gdi::raster {

bool EllipseBox::From(int left, int top, int right, int bottom, EllipseBox* out) {
  int32_t l = ClampCoord(left), t = ClampCoord(top), r = ClampCoord(right), b = ClampCoord(bottom);
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (l == r || t == b) return false;
  *out = EllipseBox{l, t, r - l - 1, b - t - 1};
  return true;
}

namespace {

// Boundary pixels count as inside; this keeps exact cases (a pixel centre at exactly the pen's
// radius) from depending on the last bit of a square root.
constexpr double kEps = 1e-7;

// Narrows [*lo, *hi] to the x where lo2 <= k * x + m <= hi2; false when nothing is left.
bool Narrow(double k, double m, double lo2, double hi2, double* lo, double* hi) {
  if (k == 0) return m >= lo2 - kEps && m <= hi2 + kEps;
  double a = (lo2 - m) / k, b = (hi2 - m) / k;
  if (a > b) std::swap(a, b);
  *lo = std::max(*lo, a - kEps);
  *hi = std::min(*hi, b + kEps);
  return *lo <= *hi;
}

// Counter-clockwise on screen is counter-clockwise in the y-up frame (x, -y).
int64_t ScreenCcwCross(int64_t ax, int64_t ay, int64_t bx, int64_t by) {
  return ay * bx - ax * by;
}
}  // namespace

Capsule::Capsule(POINT a, POINT b, int width) {
  const double half = (width % 2) ? 0.5 : 0.0;
  ax_ = ClampCoord(a.x) + half;
  ay_ = ClampCoord(a.y) + half;
  bx_ = ClampCoord(b.x) + half;
  by_ = ClampCoord(b.y) + half;
  r_ = width / 2.0;
  firstRow_ = int(std::floor(std::min(ay_, by_) - r_));
  lastRow_ = int(std::ceil(std::max(ay_, by_) + r_));
}

bool Capsule::Row(int y, int* first, int* last) const {
  const double yc = y + 0.5;
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  // The two end discs.
  for (auto [cx, cy] : {std::pair{ax_, ay_}, std::pair{bx_, by_}}) {
    const double dy = yc - cy, rest = r_ * r_ - dy * dy;
    if (rest < -kEps) continue;
    const double w = std::sqrt(std::max(rest, 0.0));
    lo = std::min(lo, cx - w - kEps);
    hi = std::max(hi, cx + w + kEps);
  }
  // The band between them: projection within the segment, distance within the radius.
  const double dx = bx_ - ax_, dy = by_ - ay_, len2 = dx * dx + dy * dy;
  if (len2 > 0) {
    double bl = -HUGE_VAL, bh = HUGE_VAL;
    const double rl = r_ * std::sqrt(len2);
    if (Narrow(dx, dy * (yc - ay_) - dx * ax_, 0, len2, &bl, &bh) &&
        Narrow(-dy, dx * (yc - ay_) + dy * ax_, -rl, rl, &bl, &bh)) {
      lo = std::min(lo, bl);
      hi = std::max(hi, bh);
    }
  }
  if (lo > hi) return false;
  // Pixel x has its centre at x + 0.5.
  const double f = std::ceil(lo - 0.5), l = std::floor(hi - 0.5);
  if (f > l) return false;
  *first = int(std::max(f, double(-kCoordLimit * 2)));
  *last = int(std::min(l, double(kCoordLimit * 2)));
  return true;
}

Sweep::Sweep(int64_t sx, int64_t sy, int64_t ex, int64_t ey)
    : sx_(sx), sy_(sy), ex_(ex), ey_(ey), full_(false) {
  // A start point at the centre gives no ray; east is as good as any.
  if (sx_ == 0 && sy_ == 0) sx_ = 1;
  const bool endOnStartRay = ScreenCcwCross(sx_, sy_, ex_, ey_) == 0 && sx_ * ex_ + sy_ * ey_ >= 0;
  full_ = endOnStartRay;
}

int Sweep::Half(int64_t x, int64_t y) const {
  const int64_t c = ScreenCcwCross(sx_, sy_, x, y);
  if (c > 0) return 0;
  if (c == 0 && sx_ * x + sy_ * y > 0) return 0;
  return 1;
}

bool Sweep::Contains(int64_t x, int64_t y) const {
  if (full_ || (x == 0 && y == 0)) return true;
  const int hp = Half(x, y), he = Half(ex_, ey_);
  if (hp != he) return hp < he;
  return ScreenCcwCross(x, y, ex_, ey_) >= 0;
}

}  // namespace gdi::raster
