#pragma once
// Direct pixel writes into a surface's image for one primitive, clipped, remembering the
// rectangle they touched. REQUIRES: the surface's lock is held for the Canvas's whole life.

#include <QImage>
#include <algorithm>
#include <climits>

#include "gdi/Gdi.h"

namespace gdi {

class Canvas {
 public:
  // clip: the DC's clip rectangle, or nullptr for none; always narrowed to the image.
  Canvas(QImage& image, const RECT* clip) : image_(image) {
    clip_ = {0, 0, image.width(), image.height()};
    if (clip != nullptr) {
      clip_ = {std::max(clip_.left, clip->left), std::max(clip_.top, clip->top),
               std::min(clip_.right, clip->right), std::min(clip_.bottom, clip->bottom)};
    }
    if (!clip_.IsEmpty()) {
      bits_ = image.bits();  // detaches the image if a caller kept a shallow copy
      stride_ = image.bytesPerLine();
    }
  }

  const RECT& Clip() const { return clip_; }
  bool Empty() const { return clip_.IsEmpty(); }
  QImage& Image() { return image_; }

  void Plot(int x, int y, QRgb c) {
    if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
    Row(y)[x] = c;
    Touch(x, y, x);
  }

  // Pixels xFirst..xLast (both included) of row y.
  void Span(int y, int xFirst, int xLast, QRgb c) {
    if (y < clip_.top || y >= clip_.bottom) return;
    xFirst = std::max(xFirst, clip_.left);
    xLast = std::min(xLast, clip_.right - 1);
    if (xFirst > xLast) return;
    std::fill(Row(y) + xFirst, Row(y) + xLast + 1, c);
    Touch(xFirst, y, xLast);
  }

  void Fill(const RECT& r, QRgb c) {
    const int top = std::max(r.top, clip_.top), bottom = std::min(r.bottom, clip_.bottom);
    for (int y = top; y < bottom; ++y) Span(y, r.left, r.right - 1, c);
  }

  // For drawing done by other means (QPainter): count r, clipped, as touched.
  void TouchRect(const RECT& r) {
    const int l = std::max(r.left, clip_.left), t = std::max(r.top, clip_.top);
    const int rr = std::min(r.right, clip_.right), b = std::min(r.bottom, clip_.bottom);
    if (l >= rr || t >= b) return;
    Touch(l, t, rr - 1);
    Touch(l, b - 1, rr - 1);
  }

  RECT Touched() const {
    if (maxX_ < minX_) return {};
    return {minX_, minY_, maxX_ + 1, maxY_ + 1};
  }

 private:
  QRgb* Row(int y) { return reinterpret_cast<QRgb*>(bits_ + qsizetype(y) * stride_); }
  void Touch(int x0, int y, int x1) {
    minX_ = std::min(minX_, x0);
    maxX_ = std::max(maxX_, x1);
    minY_ = std::min(minY_, y);
    maxY_ = std::max(maxY_, y);
  }

  QImage& image_;
  RECT clip_;
  uchar* bits_ = nullptr;
  qsizetype stride_ = 0;
  int minX_ = INT_MAX, minY_ = INT_MAX, maxX_ = INT_MIN, maxY_ = INT_MIN;
};

}  // namespace gdi
