#pragma once
// What a DC, or a run of DCs waiting to be shown, has drawn: a few rectangles rather than their
// bounding box. A trace segment at the left and a readout at the far right stay two small copies
// instead of one nearly the size of the window. No Qt here: plain arithmetic.
#include <array>
#include <cstddef>

#include "base/Geometry.h"

namespace gdi {

class DirtyArea {
 public:
  // Enough for what one turn of the event loop collects (a segment, two readouts, an indicator);
  // past it, the pair that grows least is merged.
  static constexpr size_t kMaxRects = 8;

  // Rectangles that overlap or touch are merged into one; an empty one is ignored.
  void Add(const vellum::Rect& rect);
  void Add(const DirtyArea& other);
  void Clear() { count_ = 0; }
  bool IsEmpty() const { return count_ == 0; }
  size_t Size() const { return count_; }
  vellum::Rect Bounds() const;
  const vellum::Rect* begin() const { return rects_.data(); }
  const vellum::Rect* end() const { return rects_.data() + count_; }

 private:
  std::array<vellum::Rect, kMaxRects> rects_{};
  size_t count_ = 0;
};

}  // namespace gdi
