#pragma once
// A point and a rectangle in pixels (client or screen) or tablet counts, signed 32-bit like the
// platform's. The drawing layer's POINT and RECT are these.
#include <cstdint>

namespace vellum {

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  bool IsEmpty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace vellum
