#include <algorithm>
#include <mutex>
#include <utility>

#include "gdi/Colour.h"
#include "gdi/Gdi.h"

namespace gdi {

RECT UnionRect(const RECT& a, const RECT& b) {
  if (a.IsEmpty()) return b.IsEmpty() ? RECT{} : b;
  if (b.IsEmpty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

Surface::Surface(int width, int height, COLORREF fill)
    : image_(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32) {
  image_.fill(ToQRgb(fill));
}

int Surface::Width() const {
  std::lock_guard lock(mutex_);
  return image_.width();
}
int Surface::Height() const {
  std::lock_guard lock(mutex_);
  return image_.height();
}

bool Surface::Grow(int width, int height, COLORREF fill) {
  std::lock_guard lock(mutex_);
  const int w = std::max(width, image_.width());
  const int h = std::max(height, image_.height());
  if (w == image_.width() && h == image_.height()) return false;
  QImage larger(w, h, QImage::Format_RGB32);
  larger.fill(ToQRgb(fill));
  for (int y = 0; y < image_.height(); ++y) {
    std::copy_n(image_.constScanLine(y), image_.bytesPerLine(), larger.scanLine(y));
  }
  image_ = std::move(larger);
  return true;
}

COLORREF Surface::Pixel(int x, int y) const {
  std::lock_guard lock(mutex_);
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return 0xFFFFFFFF;
  return FromQRgb(reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]);
}

Pen::Pen(int width, COLORREF colour) : width_(width), colour_(colour & 0xFFFFFF) {}

Brush::Brush(COLORREF colour) : colour_(colour & 0xFFFFFF) {}

Region::Region(int left, int top, int right, int bottom) {
  // Like the platform, a rectangle given the wrong way round is turned the right way.
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  rect_ = {left, top, right, bottom};
}

const Pen& StockBlackPen() {
  static const Pen pen(1, 0x000000);
  return pen;
}

const Brush& StockWhiteBrush() {
  static const Brush brush(0xFFFFFF);
  return brush;
}

}  // namespace gdi
