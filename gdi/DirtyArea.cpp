#include "gdi/DirtyArea.h"

#include <cstdint>

#include "gdi/Gdi.h"  // UnionRect

namespace gdi {
namespace {

using vellum::Rect;

// Sharing an edge counts: two abutting copies cost more than one.
bool OverlapOrTouch(const Rect& a, const Rect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

int64_t Area(const Rect& r) {
  return int64_t{r.right - r.left} * int64_t{r.bottom - r.top};
}

}  // namespace

void DirtyArea::Add(const Rect& rect) {
  if (rect.IsEmpty()) return;
  Rect r = rect;
  for (;;) {
    size_t merge = count_;
    for (size_t i = 0; i < count_; ++i) {
      if (OverlapOrTouch(rects_[i], r)) {
        merge = i;
        break;
      }
    }
    if (merge == count_ && count_ == kMaxRects) {
      // Full: fold into the rectangle whose union with this one adds the least area.
      int64_t best = INT64_MAX;
      for (size_t i = 0; i < count_; ++i) {
        const int64_t growth = Area(UnionRect(rects_[i], r)) - Area(rects_[i]);
        if (growth < best) {
          best = growth;
          merge = i;
        }
      }
    }
    if (merge == count_) break;
    // The union may now reach others: take it out and look again.
    r = UnionRect(rects_[merge], r);
    rects_[merge] = rects_[--count_];
  }
  rects_[count_++] = r;
}

void DirtyArea::Add(const DirtyArea& other) {
  for (const Rect& r : other) Add(r);
}

Rect DirtyArea::Bounds() const {
  if (count_ == 0) return {};
  Rect b = rects_[0];
  for (size_t i = 1; i < count_; ++i) b = UnionRect(b, rects_[i]);
  return b;
}

}  // namespace gdi
