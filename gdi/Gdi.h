#pragma once
// Device contexts with the original platform's drawing rules over a QImage surface.
// This layer is the only code that includes QPainter. Colours are 0x00BBGGRR.
//
// Threading: objects (pens, brushes, fonts, regions) are immutable once made and may be selected
// into DCs on several threads. A DC belongs to one thread. Each primitive holds the surface's
// lock only while it draws, so two threads may draw on one surface at once.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include <QImage>

#include "base/Geometry.h"
#include "gdi/DirtyArea.h"

class QPaintDevice;

namespace gdi {

using COLORREF = uint32_t;
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

using POINT = vellum::Point;
using RECT = vellum::Rect;  // right and bottom exclusive

RECT UnionRect(const RECT& a, const RECT& b);  // an empty side is ignored

// A QImage (RGB32) with the lock that every primitive takes.
class Surface {
 public:
  Surface(int width, int height, COLORREF fill = 0xFFFFFF);
  int Width() const;   // takes the lock: the size may change under another thread
  int Height() const;
  // Makes the surface at least width x height, keeping its pixels and filling the new area.
  // In place and under the lock, so a DC on another thread keeps drawing on it: its next
  // primitive sees the larger image. Returns whether it grew.
  bool Grow(int width, int height, COLORREF fill = 0xFFFFFF);
  // Reading the pixels (presentation, tests) must hold Lock().
  std::mutex& Lock() const { return mutex_; }
  const QImage& Image() const { return image_; }
  QImage& Image() { return image_; }
  COLORREF Pixel(int x, int y) const;  // takes the lock; 0xFFFFFFFF outside

 private:
  mutable std::mutex mutex_;
  QImage image_;
};

class Pen {
 public:
  // Solid pen. Widths 0 and 1 are the one-pixel pen.
  Pen(int width, COLORREF colour);
  int Width() const { return width_; }
  COLORREF Colour() const { return colour_; }

 private:
  int width_;
  COLORREF colour_;
};

class Brush {
 public:
  explicit Brush(COLORREF colour);
  COLORREF Colour() const { return colour_; }

 private:
  COLORREF colour_;
};

class Region {
 public:
  Region(int left, int top, int right, int bottom);  // covers left <= x < right, top <= y < bottom
  const RECT& Rect() const { return rect_; }

 private:
  RECT rect_;
};

class Font {
 public:
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // The platform's CreateFontA in the one form the program uses (normal weight, upright, plain):
  // a positive `height` is the cell (ascent + descent) in pixels, a negative one the character
  // height, 0 the system font's cell; `width` is the average character width (0: natural). Face
  // list: the given face, Liberation Sans, DejaVu Sans. Needs a QGuiApplication.
  static std::unique_ptr<Font> Create(int height, int width, const char* faceName);
  // DejaVu Sans Bold with a 16-pixel cell, stretched so that its printable ASCII characters
  // average 7 pixels in width.
  static const Font& System();

  int CellHeight() const;  // ascent + descent
  int Ascent() const;
  int AverageCharWidth() const;
  int TextWidth(std::string_view text) const;

  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  explicit Font(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Copies `areas` of the surface onto a paint device (a widget in its paint event), with one
// painter and one hold of the surface's lock.
void PresentSurface(QPaintDevice& target, const Surface& surface, std::span<const RECT> areas);

// Where a picture of w x h pixels goes on a page of pageW x pageH: as large as the page allows,
// its aspect kept, centred across the page and at its top. Empty when either size is.
RECT FitOnPage(int w, int h, int pageW, int pageH);

// Draws the picture on one page of `page`, a printer or an image, as FitOnPage places it;
// pixels stay sharp squares. False when nothing could be drawn: an empty picture, or a page
// that cannot be painted on (such as a PDF file that cannot be written).
bool PrintImage(QPaintDevice& page, const QImage& picture);

// The stock objects a fresh DC starts with.
const Pen& StockBlackPen();
const Brush& StockWhiteBrush();

// A client DC bound to a surface. Selected objects are borrowed: the caller keeps them alive
// while selected. Selecting nullptr fails like the platform (no change, returns nullptr).
class DC {
 public:
  explicit DC(Surface& surface);
  ~DC();
  DC(const DC&) = delete;
  DC& operator=(const DC&) = delete;

  const Pen* SelectObject(const Pen* pen);
  const Brush* SelectObject(const Brush* brush);
  const Font* SelectObject(const Font* font);
  void SelectClipRgn(const Region* region);  // copies the rectangle; nullptr clears the clip
  COLORREF SetTextColor(COLORREF colour);    // returns the previous
  COLORREF SetBkColor(COLORREF colour);

  void MoveTo(int x, int y);
  void MoveTo(POINT p) { MoveTo(p.x, p.y); }
  POINT CurrentPosition() const { return current_; }
  void LineTo(int x, int y);
  void LineTo(POINT p) { LineTo(p.x, p.y); }
  void PolylineTo(const POINT* points, int count);
  void Arc(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
  void Pie(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
  void Ellipse(int left, int top, int right, int bottom);
  void Ellipse(const RECT& r) { Ellipse(r.left, r.top, r.right, r.bottom); }
  void Polygon(const POINT* points, int count);  // even-odd fill with the brush, outline with the pen
  void FillRgn(const Region& region, const Brush& brush);
  void FillRect(const RECT& rect, const Brush& brush);  // convenience for erasing
  void TextOut(int x, int y, std::string_view text);

  // The union of every rectangle this DC has drawn into since it was made.
  RECT DirtyRect() const { return dirty_.Bounds(); }
  // The same as a few rectangles (for presentation).
  const DirtyArea& Dirty() const { return dirty_; }

 private:
  friend class SelectionGuard;
  Surface& surface_;
  const Pen* pen_;
  const Brush* brush_;
  const Font* font_;
  COLORREF textColour_ = 0x000000;
  COLORREF bkColour_ = 0xFFFFFF;
  bool hasClip_ = false;
  RECT clip_{};
  POINT current_{};
  DirtyArea dirty_;
};

// Selects again, when it goes out of scope, the pen, brush and font `dc` had when it was made:
// a drawing routine selects what it needs and leaves the DC as it found it. Declare it after
// any object of the routine's own that it selects, so the DC gives that back first.
class SelectionGuard {
 public:
  explicit SelectionGuard(DC& dc) : dc_(dc), pen_(dc.pen_), brush_(dc.brush_), font_(dc.font_) {}
  ~SelectionGuard() {
    dc_.pen_ = pen_;
    dc_.brush_ = brush_;
    dc_.font_ = font_;
  }
  SelectionGuard(const SelectionGuard&) = delete;
  SelectionGuard& operator=(const SelectionGuard&) = delete;

 private:
  DC& dc_;
  const Pen* pen_;
  const Brush* brush_;
  const Font* font_;
};

}  // namespace gdi
