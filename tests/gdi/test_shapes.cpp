// Ellipses, arcs, pies and polygons: the geometry the transducer pictures depend on.
#include <gtest/gtest.h>

#include <algorithm>

#include "Pixels.h"

namespace gdi::test {
namespace {

TEST(Ellipse, StaysInsideTheBoxRightAndBottomLeftOut) {
  Surface s(40, 30);
  DC dc(s);
  Brush grey(kGrey);
  dc.SelectObject(&grey);
  dc.Ellipse(10, 10, 30, 20);
  EXPECT_EQ(InkBounds(s), (RECT{10, 10, 30, 20}));
  EXPECT_EQ(dc.DirtyRect(), (RECT{10, 10, 30, 20}));
  // Black outline, grey interior, white outside.
  EXPECT_EQ(s.Pixel(10, 14), kBlack);
  EXPECT_EQ(s.Pixel(29, 15), kBlack);
  EXPECT_EQ(s.Pixel(19, 10), kBlack);
  EXPECT_EQ(s.Pixel(20, 19), kBlack);
  EXPECT_EQ(s.Pixel(20, 15), kGrey);
  EXPECT_EQ(s.Pixel(10, 10), kWhite);
  EXPECT_EQ(s.Pixel(29, 19), kWhite);
}

TEST(Ellipse, FreshDcFillsWhiteInsideABlackOutline) {
  Surface s(40, 40, kBlue);
  DC dc(s);
  dc.Ellipse(5, 5, 35, 35);
  EXPECT_EQ(s.Pixel(20, 20), kWhite);
  EXPECT_EQ(s.Pixel(5, 20), kBlack);
  EXPECT_EQ(s.Pixel(34, 20), kBlack);
  EXPECT_EQ(s.Pixel(5, 5), kBlue);
}

// A box where the ray through a point differs from the ellipse's parametric angle: 61 x 21
// pixels, centre pixel (40, 20). The ray through (70, 10) has slope 1/3 and meets the ellipse at
// about (61, 13); taking atan2 of the point as the parametric angle would start at about (68, 17).
constexpr RECT kWideBox{10, 10, 71, 31};

TEST(Arc, StartsWhereTheRayThroughTheStartPointMeetsTheEllipse) {
  Surface s(90, 50);
  DC dc(s);
  dc.Arc(kWideBox.left, kWideBox.top, kWideBox.right, kWideBox.bottom, 70, 10, 10, 10);
  const RECT ink = InkBounds(s);
  EXPECT_GE(ink.right - 1, 59);
  EXPECT_LE(ink.right - 1, 62);
  EXPECT_GE(ink.left, 18);
  EXPECT_LE(ink.left, 21);
  EXPECT_EQ(ink.top, 10);
  EXPECT_LE(ink.bottom - 1, 14);
  EXPECT_EQ(s.Pixel(40, 10), kBlack);              // top of the ellipse
  EXPECT_EQ(dc.CurrentPosition(), (POINT{0, 0}));  // arcs leave the position alone
}

TEST(Arc, StartAndEndOnOneRayGiveTheWholeEllipse) {
  Surface whole(90, 50), arc(90, 50);
  {
    DC dc(whole);
    dc.Ellipse(kWideBox);
  }
  DC dc(arc);
  // (75, 25) and (110, 30) both lie 7 : 1 from the centre pixel (40, 20).
  dc.Arc(kWideBox.left, kWideBox.top, kWideBox.right, kWideBox.bottom, 75, 25, 110, 30);
  EXPECT_EQ(Art(arc, {0, 0, 90, 50}), Art(whole, {0, 0, 90, 50}));
}

TEST(Arc, BothDirectionsTogetherMakeTheWholeOutline) {
  Surface whole(90, 50), ab(90, 50);
  {
    DC dc(whole);
    dc.Ellipse(kWideBox);
  }
  DC dc(ab);
  dc.Arc(kWideBox.left, kWideBox.top, kWideBox.right, kWideBox.bottom, 70, 10, 12, 35);
  EXPECT_EQ(ab.Pixel(40, 10), kBlack);  // from the upper right over the top
  EXPECT_EQ(ab.Pixel(10, 20), kBlack);  // and down the left side
  EXPECT_EQ(ab.Pixel(40, 30), kWhite);  // not along the bottom
  EXPECT_EQ(ab.Pixel(70, 20), kWhite);  // nor up the right side
  dc.Arc(kWideBox.left, kWideBox.top, kWideBox.right, kWideBox.bottom, 12, 35, 70, 10);
  EXPECT_EQ(Art(ab, {0, 0, 90, 50}), Art(whole, {0, 0, 90, 50}));
}

TEST(Pie, FillsOnlyItsOwnSide) {
  // The rocker's lower half: from the left ray to the right ray, both just below the centre,
  // counter-clockwise passes below.
  Surface s(60, 60);
  DC dc(s);
  Brush grey(kGrey);
  dc.SelectObject(&grey);
  dc.Pie(10, 10, 51, 41, 10, 27, 50, 27);  // centre pixel (30, 25)
  EXPECT_EQ(s.Pixel(30, 35), kGrey);       // inside, below
  EXPECT_EQ(s.Pixel(30, 15), kWhite);      // inside, above: not this pie's side
  EXPECT_EQ(s.Pixel(30, 10), kWhite);      // the arc does not run over the top
  EXPECT_EQ(s.Pixel(30, 40), kBlack);      // it runs along the bottom
  EXPECT_EQ(s.Pixel(30, 25), kBlack);      // the radii meet in the centre
  const RECT ink = InkBounds(s);
  EXPECT_EQ(ink.left, 10);
  EXPECT_EQ(ink.right, 51);
  EXPECT_EQ(ink.bottom, 41);
  EXPECT_GE(ink.top, 24);
  EXPECT_EQ(dc.DirtyRect(), ink);

  // The other side is the upper half.
  Surface t(60, 60);
  DC dc2(t);
  dc2.SelectObject(&grey);
  dc2.Pie(10, 10, 51, 41, 50, 27, 10, 27);
  EXPECT_EQ(t.Pixel(30, 15), kGrey);
  EXPECT_EQ(t.Pixel(30, 35), kWhite);
}

TEST(Polygon, RectangleInteriorWithOutlineOnAllFourEdges) {
  Surface s(40, 40);
  DC dc(s);
  Brush grey(kGrey);
  dc.SelectObject(&grey);
  const POINT pts[] = {{10, 10}, {20, 10}, {20, 20}, {10, 20}};
  dc.Polygon(pts, 4);
  EXPECT_EQ(InkBounds(s), (RECT{10, 10, 21, 21}));
  EXPECT_EQ(Count(s, kGrey), 9 * 9);
  EXPECT_EQ(Count(s, kBlack), 40);
}

TEST(Polygon, EvenOddLeavesTheCrossedPartEmpty) {
  Surface s(60, 60);
  DC dc(s);
  Brush grey(kGrey);
  dc.SelectObject(&grey);
  // A pentagram: its middle is covered twice, so even-odd leaves it empty.
  const POINT star[] = {{30, 2}, {47, 55}, {2, 21}, {58, 21}, {13, 55}};
  dc.Polygon(star, 5);
  EXPECT_EQ(s.Pixel(30, 32), kWhite);  // centre
  EXPECT_EQ(s.Pixel(30, 12), kGrey);   // top point
  EXPECT_EQ(s.Pixel(10, 23), kGrey);   // left point
  EXPECT_EQ(s.Pixel(30, 55), kWhite);  // between the lower points
  // A bow-tie: both side lobes filled, nothing above or below the crossing.
  Surface t(60, 60);
  DC dc2(t);
  dc2.SelectObject(&grey);
  const POINT tie[] = {{5, 5}, {55, 45}, {55, 5}, {5, 45}};
  dc2.Polygon(tie, 4);
  EXPECT_EQ(t.Pixel(10, 25), kGrey);
  EXPECT_EQ(t.Pixel(50, 25), kGrey);
  EXPECT_EQ(t.Pixel(30, 10), kWhite);
  EXPECT_EQ(t.Pixel(30, 40), kWhite);
}

TEST(Polygon, RepeatedPointsDrawTheLineBetweenThem) {
  // The stylus tip runs twice along one line; that line must show.
  Surface s(40, 40);
  DC dc(s);
  Brush grey(kGrey);
  dc.SelectObject(&grey);
  const POINT tip[] = {{7, 5}, {7, 10}, {10, 20}, {13, 10}, {7, 10}, {13, 10}, {13, 5}};
  dc.Polygon(tip, 7);
  for (int x = 7; x <= 13; ++x) EXPECT_EQ(s.Pixel(x, 10), kBlack) << x;
  EXPECT_EQ(s.Pixel(10, 13), kGrey);
  EXPECT_EQ(s.Pixel(10, 7), kGrey);
}

TEST(Polygon, ThinSlantedShapeHasNoHoleBetweenItsOutlines) {
  // Regression: filled at pixel centres, the narrow cone of a stylus tip kept white pixels
  // between its black outline pixels. Every row of a black-on-black shape must be one run.
  Surface s(40, 40);
  DC dc(s);
  Brush black(kBlack);
  dc.SelectObject(&black);
  const POINT tip[] = {{12, 5}, {12, 10}, {15, 20}, {18, 10}, {18, 5}};
  dc.Polygon(tip, 5);
  for (int y = 5; y <= 20; ++y) {
    int first = -1, last = -1;
    for (int x = 0; x < 40; ++x) {
      if (s.Pixel(x, y) != kBlack) continue;
      if (first < 0) first = x;
      last = x;
    }
    ASSERT_GE(first, 0) << "row " << y;
    for (int x = first; x <= last; ++x) EXPECT_EQ(s.Pixel(x, y), kBlack) << x << "," << y;
  }
}

}  // namespace
}  // namespace gdi::test
