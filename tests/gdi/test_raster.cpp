// Rasterisation properties, checked over many shapes rather than one picture each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "gdi/Raster.h"

namespace gdi::raster {
namespace {

constexpr RECT kNoClip{-100000, -100000, 100000, 100000};

using PixelSet = std::set<std::pair<int, int>>;

PixelSet LinePixels(POINT a, POINT b, RECT clip = kNoClip) {
  PixelSet s;
  Line(a, b, clip, [&](int x, int y) { s.insert({x, y}); });
  return s;
}

TEST(RasterLine, OnePixelPerMajorStepStartInEndOut) {
  for (int dx = -9; dx <= 9; ++dx) {
    for (int dy = -9; dy <= 9; ++dy) {
      const POINT a{50, 50}, b{50 + dx, 50 + dy};
      const PixelSet s = LinePixels(a, b);
      SCOPED_TRACE(testing::Message() << "to " << b.x << "," << b.y);
      const size_t n = std::max(std::abs(dx), std::abs(dy));
      EXPECT_EQ(s.size(), n);
      if (n == 0) continue;
      EXPECT_TRUE(s.count({a.x, a.y}));
      EXPECT_FALSE(s.count({b.x, b.y}));
      // Every pixel but the first touches the previous one (8-connected, no gaps).
      for (auto [x, y] : s) {
        EXPECT_LE(std::abs(x - a.x), std::abs(dx));
        EXPECT_LE(std::abs(y - a.y), std::abs(dy));
        bool neighbour = x == a.x && y == a.y;
        for (int ox = -1; ox <= 1 && !neighbour; ++ox)
          for (int oy = -1; oy <= 1 && !neighbour; ++oy)
            neighbour = (ox || oy) && s.count({x + ox, y + oy});
        EXPECT_TRUE(neighbour) << x << "," << y;
      }
    }
  }
}

TEST(RasterLine, ClippingKeepsTheSamePixels) {
  const POINT a{-3000, 1234}, b{5000, -77};
  const RECT clip{10, -20, 400, 300};
  PixelSet inside;
  for (auto p : LinePixels(a, b)) {
    if (p.first >= clip.left && p.first < clip.right) inside.insert(p);
  }
  EXPECT_EQ(LinePixels(a, b, clip), inside);
  // Reversed direction and a steep line.
  const POINT c{200, -5000}, d{260, 9000};
  PixelSet inside2;
  for (auto p : LinePixels(c, d)) {
    if (p.second >= clip.top && p.second < clip.bottom) inside2.insert(p);
  }
  EXPECT_EQ(LinePixels(c, d, clip), inside2);
}

TEST(RasterLine, FarCoordinatesAreClampedNotOverflowed) {
  const PixelSet s = LinePixels({INT32_MIN, 5}, {INT32_MAX, 5}, {0, 0, 100, 10});
  EXPECT_EQ(s.size(), 100u);
}

PixelSet OutlinePixels(int l, int t, int r, int b) {
  PixelSet s;
  EllipseBox box;
  if (EllipseBox::From(l, t, r, b, &box))
    EllipseOutline(box, [&](int x, int y) { s.insert({x, y}); });
  return s;
}

TEST(RasterEllipse, FitsTheBoxTouchesEveryEdgeSymmetricAndClosed) {
  for (int w = 1; w <= 40; ++w) {
    for (int h = 1; h <= 40; h += (h < 6 ? 1 : 3)) {
      SCOPED_TRACE(testing::Message() << w << "x" << h);
      const int l = 7, t = 3, r = l + w, b = t + h;
      const PixelSet s = OutlinePixels(l, t, r, b);
      int minX = INT32_MAX, maxX = INT32_MIN, minY = INT32_MAX, maxY = INT32_MIN;
      for (auto [x, y] : s) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
        EXPECT_TRUE(s.count({l + r - 1 - x, y}));  // mirror left-right
        EXPECT_TRUE(s.count({x, t + b - 1 - y}));  // mirror top-bottom
        int neighbours = 0;
        for (int ox = -1; ox <= 1; ++ox)
          for (int oy = -1; oy <= 1; ++oy) neighbours += (ox || oy) && s.count({x + ox, y + oy});
        // Closed: two neighbours each, except at the pointed ends of a three-row ellipse.
        EXPECT_GE(neighbours, (w > 3 && h > 3) ? 2 : (w * h > 1)) << x << "," << y;
      }
      EXPECT_EQ(minX, l);
      EXPECT_EQ(maxX, r - 1);
      EXPECT_EQ(minY, t);
      EXPECT_EQ(maxY, b - 1);
    }
  }
}

TEST(RasterEllipse, EmptyAndReversedBoxes) {
  EXPECT_TRUE(OutlinePixels(5, 5, 5, 20).empty());
  EXPECT_TRUE(OutlinePixels(5, 5, 20, 5).empty());
  EXPECT_EQ(OutlinePixels(20, 30, 5, 10), OutlinePixels(5, 10, 20, 30));
  EXPECT_EQ(OutlinePixels(4, 4, 5, 5), (PixelSet{{4, 4}}));
}

TEST(RasterEllipse, RowsSpanTheOutline) {
  EllipseBox box;
  ASSERT_TRUE(EllipseBox::From(0, 0, 23, 14, &box));
  std::map<int, std::pair<int, int>> rows;
  EllipseRows(box, [&](int y, int x0, int x1) {
    EXPECT_FALSE(rows.count(y)) << "row " << y << " twice";
    rows[y] = {x0, x1};
  });
  ASSERT_EQ(rows.size(), 14u);
  for (auto [x, y] : OutlinePixels(0, 0, 23, 14)) {
    EXPECT_GE(x, rows[y].first);
    EXPECT_LE(x, rows[y].second);
  }
}

TEST(RasterSweep, CounterClockwiseOnScreen) {
  // From east to west counter-clockwise on the screen passes north (y < 0).
  const Sweep eastToWest(10, 0, -10, 0);
  EXPECT_TRUE(eastToWest.Contains(0, -5));
  EXPECT_FALSE(eastToWest.Contains(0, 5));
  EXPECT_TRUE(eastToWest.Contains(7, 0));   // on the start ray
  EXPECT_TRUE(eastToWest.Contains(-7, 0));  // on the end ray
  const Sweep westToEast(-10, 0, 10, 0);
  EXPECT_TRUE(westToEast.Contains(0, 5));
  EXPECT_FALSE(westToEast.Contains(0, -5));
  // More than half a turn: from north to east the long way round.
  const Sweep northToEast(0, -3, 3, 0);
  EXPECT_TRUE(northToEast.Contains(-1, 0));
  EXPECT_TRUE(northToEast.Contains(0, 1));
  EXPECT_FALSE(northToEast.Contains(1, -1));
  // One ray: the whole ellipse, whatever the lengths.
  EXPECT_TRUE(Sweep(4, 2, 8, 4).Full());
  EXPECT_FALSE(Sweep(4, 2, -8, -4).Full());
}

TEST(RasterCapsule, DotsAreRoundAndExactlyTheWidthAcross) {
  for (int w = 2; w <= 12; ++w) {
    SCOPED_TRACE(w);
    PixelSet s;
    WideLine({50, 50}, {50, 50}, w, kNoClip, [&](int y, int x0, int x1) {
      for (int x = x0; x <= x1; ++x) s.insert({x, y});
    });
    int minX = INT32_MAX, maxX = INT32_MIN, minY = INT32_MAX, maxY = INT32_MIN;
    for (auto [x, y] : s) {
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    EXPECT_EQ(maxX - minX + 1, w);
    EXPECT_EQ(maxY - minY + 1, w);
    EXPECT_TRUE(s.count({50, 50}));
    if (w >= 4) {  // up to 3 the corners lie within the radius
      EXPECT_FALSE(s.count({minX, minY})) << "square corner";
    }
  }
}

}  // namespace
}  // namespace gdi::raster
