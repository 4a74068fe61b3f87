#include <mutex>

#include "gdi/Canvas.h"
#include "gdi/Gdi.h"
#include "gdi/Stroke.h"

namespace gdi {

DC::DC(Surface& surface)
    : surface_(surface), pen_(&StockBlackPen()), brush_(&StockWhiteBrush()), font_(nullptr) {}

DC::~DC() = default;

// The system font is made on first use, so that DCs that never write text need no font database.
const Font* DC::SelectObject(const Font* font) {
  if (font == nullptr) return nullptr;
  const Font* previous = font_ != nullptr ? font_ : &Font::System();
  font_ = font;
  return previous;
}

const Pen* DC::SelectObject(const Pen* pen) {
  if (pen == nullptr) return nullptr;
  const Pen* previous = pen_;
  pen_ = pen;
  return previous;
}

const Brush* DC::SelectObject(const Brush* brush) {
  if (brush == nullptr) return nullptr;
  const Brush* previous = brush_;
  brush_ = brush;
  return previous;
}

void DC::SelectClipRgn(const Region* region) {
  hasClip_ = region != nullptr;
  clip_ = hasClip_ ? region->Rect() : RECT{};
}

COLORREF DC::SetTextColor(COLORREF colour) {
  const COLORREF previous = textColour_;
  textColour_ = colour & 0xFFFFFF;
  return previous;
}

COLORREF DC::SetBkColor(COLORREF colour) {
  const COLORREF previous = bkColour_;
  bkColour_ = colour & 0xFFFFFF;
  return previous;
}

void DC::MoveTo(int x, int y) {
  current_ = {x, y};
}

void DC::LineTo(int x, int y) {
  const POINT to{x, y};
  {
    std::lock_guard lock(surface_.Lock());
    Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
    StrokeSegment(cv, *pen_, current_, to);
    dirty_.Add(cv.Touched());
  }
  current_ = to;
}

void DC::PolylineTo(const POINT* points, int count) {
  if (points == nullptr || count <= 0) return;
  {
    std::lock_guard lock(surface_.Lock());
    Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
    POINT from = current_;
    for (int i = 0; i < count; ++i) {
      StrokeSegment(cv, *pen_, from, points[i]);
      from = points[i];
    }
    dirty_.Add(cv.Touched());
  }
  current_ = points[count - 1];
}

void DC::FillRgn(const Region& region, const Brush& brush) {
  FillRect(region.Rect(), brush);
}

void DC::FillRect(const RECT& rect, const Brush& brush) {
  std::lock_guard lock(surface_.Lock());
  Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
  cv.Fill(rect, ToQRgb(brush.Colour()));
  dirty_.Add(cv.Touched());
}

}  // namespace gdi
