#pragma once
// Where the transducer pictures lie, without Qt: design units are offsets from the picture anchor,
// scaled by the view's single-precision scale factors and truncated after the anchor is added
// (never rounded on their own), so a picture sits on the same pixels on every run.

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/Geometry.h"

namespace picture {

struct DesignPoint {
  int dx = 0;
  int dy = 0;
};

using vellum::Point;
using vellum::Rect;

// trunc(origin + design * scale) in double precision, kept within the drawing layer's limits.
int32_t Place(int32_t origin, int design, float scale);

struct Placement {
  Point origin;
  float scaleX = 1.0f;
  float scaleY = 1.0f;

  Point operator()(DesignPoint d) const {
    return {Place(origin.x, d.dx, scaleX), Place(origin.y, d.dy, scaleY)};
  }
  Point operator()(int dx, int dy) const { return (*this)({dx, dy}); }
  Rect operator()(DesignPoint topLeft, DesignPoint bottomRight) const {
    const Point a = (*this)(topLeft), b = (*this)(bottomRight);
    return {a.x, a.y, b.x, b.y};
  }
  template <std::size_t N>
  std::array<Point, N> All(const std::array<DesignPoint, N>& points) const {
    std::array<Point, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = (*this)(points[i]);
    return out;
  }
};

// The anchor: a fixed distance from the right edge, so the shapes grow leftward only from it.
Point PictureOrigin(int32_t packetLength, int32_t clientRight, int32_t clientBottom);

// ---- stored shapes, design units ----
// 7-byte pressure stylus.
inline constexpr DesignPoint kRockerTopLeft{-9, 202}, kRockerBottomRight{9, 265};
inline constexpr DesignPoint kStylusTipRegionTopLeft{-3, 346}, kStylusTipRegionBottomRight{4, 361};
// Both tips run twice along the line that joins the cone to the rectangle, so it gets drawn too.
inline constexpr std::array<DesignPoint, 7> kStylusTipReleased{
    {{-3, 345}, {-3, 350}, {0, 360}, {3, 350}, {-3, 350}, {3, 350}, {3, 345}}};
inline constexpr std::array<DesignPoint, 7> kStylusTipPressed{
    {{-3, 345}, {-3, 347}, {0, 357}, {3, 347}, {-3, 347}, {3, 347}, {3, 345}}};
// Three segments, first point to second.
inline constexpr std::array<DesignPoint, 6> kRockerLines{
    {{5, 230}, {-7, 230}, {5, 234}, {-7, 234}, {5, 238}, {-7, 238}}};

// 5-byte transducers.
inline constexpr DesignPoint kButtonTipRegionTopLeft{5, 286}, kButtonTipRegionBottomRight{25, 305};
inline constexpr std::array<DesignPoint, 5> kTip2Pressed{
    {{13, 285}, {13, 293}, {15, 295}, {17, 293}, {17, 285}}};
inline constexpr std::array<DesignPoint, 5> kTip2Released{
    {{12, 285}, {12, 298}, {15, 300}, {17, 298}, {17, 285}}};
inline constexpr std::array<DesignPoint, 3> kTip3Pressed{{{12, 285}, {15, 295}, {18, 285}}};
inline constexpr std::array<DesignPoint, 5> kTip3Released{
    {{12, 285}, {12, 290}, {15, 300}, {18, 290}, {18, 285}}};
inline constexpr std::array<DesignPoint, 4> kLowerButton3{
    {{10, 215}, {10, 225}, {20, 225}, {20, 215}}};
inline constexpr std::array<DesignPoint, 4> kUpperButton3{
    {{10, 185}, {10, 210}, {20, 210}, {20, 185}}};
inline constexpr std::array<DesignPoint, 4> kCursorButton1{
    {{-27, 55}, {-30, 80}, {5, 80}, {5, 55}}};
inline constexpr std::array<DesignPoint, 4> kCursorButton2{
    {{45, 55}, {45, 80}, {79, 80}, {76, 55}}};
inline constexpr std::array<DesignPoint, 4> kCursorButton3{
    {{10, 80}, {10, 100}, {40, 100}, {40, 80}}};
inline constexpr std::array<DesignPoint, 4> kCursorButton4{{{5, 55}, {5, 80}, {45, 80}, {45, 55}}};

// What the first paint stores for a 7-byte tablet. The point lists end in a (0, 0) pixel that is
// never converted and never drawn.
struct SevenByteShapes {
  Rect rockerRect;
  Rect stylusTipRegion;
  std::array<Point, 8> stylusTipReleased{};
  std::array<Point, 8> stylusTipPressed{};
  std::array<Point, 7> rockerLines{};
};

struct FiveByteShapes {
  Rect buttonStylusTipRegion;
  std::array<Point, 5> tip2Pressed{};
  std::array<Point, 5> tip2Released{};
  std::array<Point, 3> tip3Pressed{};
  std::array<Point, 5> tip3Released{};
  std::array<Point, 4> lowerButton3{};
  std::array<Point, 4> upperButton3{};
  std::array<Point, 4> cursorButton1{};
  std::array<Point, 4> cursorButton2{};
  std::array<Point, 4> cursorButton3{};
  std::array<Point, 4> cursorButton4{};
};

SevenByteShapes LayoutSevenByte(const Placement& at);
FiveByteShapes LayoutFiveByte(const Placement& at);

}  // namespace picture
