// Regions, clipping and the dirty rectangle, over every primitive.
#include <gtest/gtest.h>

#include <functional>

#include "Pixels.h"

namespace gdi::test {
namespace {

TEST(FillRgn, RightAndBottomEdgesLeftOut) {
  Surface s(40, 40);
  DC dc(s);
  Brush grey(kGrey);
  Region r(10, 12, 20, 15);
  dc.FillRgn(r, grey);
  EXPECT_EQ(InkBounds(s), (RECT{10, 12, 20, 15}));
  EXPECT_EQ(Count(s, kGrey), 30);
  EXPECT_EQ(dc.DirtyRect(), (RECT{10, 12, 20, 15}));
}

TEST(FillRgn, UsesItsOwnBrushNotTheSelectedOne) {
  Surface s(20, 20);
  DC dc(s);
  Brush grey(kGrey), red(kRed);
  dc.SelectObject(&red);
  dc.FillRgn(Region(2, 2, 5, 5), grey);
  EXPECT_EQ(Count(s, kGrey), 9);
  EXPECT_EQ(Count(s, kRed), 0);
}

TEST(Region, ReversedCornersAreTurnedRound) {
  EXPECT_EQ(Region(20, 15, 10, 12).Rect(), (RECT{10, 12, 20, 15}));
}

// Every primitive, drawn big enough to cover the clip rectangle entirely or in part.
struct Primitive {
  const char* name;
  std::function<void(DC&)> draw;
};

const Pen kWide(30, kRed);
const Brush kGreyBrush(kGrey);

const Primitive kPrimitives[] = {
    {"LineTo",
     [](DC& dc) {
       dc.MoveTo(0, 30);
       dc.LineTo(79, 31);
     }},
    {"WideLineTo",
     [](DC& dc) {
       dc.SelectObject(&kWide);
       dc.MoveTo(0, 30);
       dc.LineTo(79, 31);
     }},
    {"PolylineTo",
     [](DC& dc) {
       const POINT p[] = {{70, 70}, {0, 60}, {40, 0}};
       dc.PolylineTo(p, 3);
     }},
    {"Ellipse",
     [](DC& dc) {
       dc.SelectObject(&kGreyBrush);
       dc.Ellipse(-20, -20, 100, 100);
     }},
    {"Arc", [](DC& dc) { dc.Arc(0, 32, 80, 100, 80, 32, 0, 32); }},
    {"Pie",
     [](DC& dc) {
       dc.SelectObject(&kGreyBrush);
       dc.Pie(-40, -40, 120, 120, 0, 0, 80, 0);
     }},
    {"Polygon",
     [](DC& dc) {
       dc.SelectObject(&kGreyBrush);
       const POINT p[] = {{0, 0}, {80, 0}, {80, 80}, {0, 80}};
       dc.Polygon(p, 4);
     }},
    {"FillRgn", [](DC& dc) { dc.FillRgn(Region(0, 0, 80, 80), kGreyBrush); }},
    {"TextOut",
     [](DC& dc) {
       dc.SetBkColor(kGrey);
       dc.TextOut(0, 22, "WWWWWWWWWWWWWW");
     }},
};

class Clipped : public testing::TestWithParam<Primitive> {};

TEST_P(Clipped, NothingOutsideTheClipAndItsEdgesExclusive) {
  Surface s(80, 80);
  DC dc(s);
  {
    // The DC keeps its own copy: the region may go away.
    Region clip(20, 25, 50, 40);
    dc.SelectClipRgn(&clip);
  }
  GetParam().draw(dc);
  const RECT ink = InkBounds(s);
  EXPECT_FALSE(ink.IsEmpty());
  EXPECT_GE(ink.left, 20);
  EXPECT_GE(ink.top, 25);
  EXPECT_LE(ink.right, 50);
  EXPECT_LE(ink.bottom, 40);
  const RECT dirty = dc.DirtyRect();
  EXPECT_EQ(UnionRect(dirty, ink), dirty) << "dirty rectangle misses drawn pixels";
  EXPECT_GE(dirty.left, 20);
  EXPECT_GE(dirty.top, 25);
  EXPECT_LE(dirty.right, 50);
  EXPECT_LE(dirty.bottom, 40);
}

TEST_P(Clipped, ClearingTheClipDrawsEverywhereAgain) {
  Surface clipped(80, 80), free(80, 80);
  DC a(clipped), b(free);
  Region clip(20, 25, 50, 40);
  a.SelectClipRgn(&clip);
  a.SelectClipRgn(nullptr);
  GetParam().draw(a);
  GetParam().draw(b);
  EXPECT_EQ(Art(clipped, {0, 0, 80, 80}), Art(free, {0, 0, 80, 80}));
  const RECT dirty = b.DirtyRect();
  EXPECT_EQ(UnionRect(dirty, InkBounds(free)), dirty);
}

INSTANTIATE_TEST_SUITE_P(All, Clipped, testing::ValuesIn(kPrimitives),
                         [](const auto& info) { return info.param.name; });

TEST(Clip, FullyCoveredClipIsFilledToItsEdges) {
  Surface s(80, 80);
  DC dc(s);
  Region clip(20, 25, 50, 40);
  dc.SelectClipRgn(&clip);
  dc.FillRgn(Region(0, 0, 80, 80), kGreyBrush);
  EXPECT_EQ(InkBounds(s), (RECT{20, 25, 50, 40}));
  EXPECT_EQ(Count(s, kGrey), 30 * 15);
}

TEST(DirtyRect, UnionOfEverythingDrawnAndNothingOffTheSurface) {
  Surface s(50, 50);
  DC dc(s);
  EXPECT_TRUE(dc.DirtyRect().IsEmpty());
  dc.MoveTo(5, 5);
  dc.LineTo(10, 5);
  EXPECT_EQ(dc.DirtyRect(), (RECT{5, 5, 10, 6}));
  dc.Ellipse(30, 30, 80, 80);
  EXPECT_EQ(dc.DirtyRect(), (RECT{5, 5, 50, 50}));
  DC other(s);
  other.MoveTo(-100, -100);
  other.LineTo(-50, -20);
  EXPECT_TRUE(other.DirtyRect().IsEmpty());
}

}  // namespace
}  // namespace gdi::test
