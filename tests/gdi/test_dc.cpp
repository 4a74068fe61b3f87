// A fresh DC's state and the selection rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "Pixels.h"

namespace gdi::test {
namespace {

TEST(FreshDc, StockObjectsAndColours) {
  Surface s(10, 10);
  DC dc(s);
  Pen pen(3, kRed);
  Brush brush(kGrey);
  EXPECT_EQ(dc.SelectObject(&pen), &StockBlackPen());
  EXPECT_EQ(dc.SelectObject(&brush), &StockWhiteBrush());
  EXPECT_EQ(StockBlackPen().Colour(), kBlack);
  EXPECT_LE(StockBlackPen().Width(), 1);
  EXPECT_EQ(StockWhiteBrush().Colour(), kWhite);
  EXPECT_EQ(dc.SetTextColor(kRed), kBlack);
  EXPECT_EQ(dc.SetBkColor(kBlack), kWhite);
  EXPECT_EQ(dc.SetTextColor(kBlue), kRed);
  EXPECT_EQ(dc.SetBkColor(kGrey), kBlack);
}

TEST(SelectObject, ReturnsThePreviousAndNullptrChangesNothing) {
  Surface s(20, 20);
  DC dc(s);
  Pen red(1, kRed), blue(1, kBlue);
  EXPECT_EQ(dc.SelectObject(&red), &StockBlackPen());
  EXPECT_EQ(dc.SelectObject(static_cast<const Pen*>(nullptr)), nullptr);
  EXPECT_EQ(dc.SelectObject(static_cast<const Brush*>(nullptr)), nullptr);
  EXPECT_EQ(dc.SelectObject(static_cast<const Font*>(nullptr)), nullptr);
  dc.MoveTo(0, 5);
  dc.LineTo(10, 5);
  EXPECT_EQ(Count(s, kRed), 10);  // still the red pen
  EXPECT_EQ(dc.SelectObject(&blue), &red);
  EXPECT_EQ(dc.SelectObject(&red), &blue);
  {
    Brush grey(kGrey);
    const SelectionGuard keep(dc);
    dc.SelectObject(&blue);
    dc.SelectObject(&grey);
  }
  EXPECT_EQ(dc.SelectObject(&blue), &red) << "the guard selected the red pen again";
  EXPECT_EQ(dc.SelectObject(&StockWhiteBrush()), &StockWhiteBrush());
}

TEST(SelectObject, EachDcHasItsOwnState) {
  Surface s(20, 20);
  DC a(s), b(s);
  Pen red(1, kRed);
  a.SelectObject(&red);
  a.MoveTo(0, 1);
  b.MoveTo(0, 2);
  a.LineTo(10, 1);
  b.LineTo(10, 2);
  EXPECT_EQ(Count(s, kRed), 10);
  EXPECT_EQ(Count(s, kBlack), 10);
  EXPECT_TRUE(UnionRect(a.DirtyRect(), b.DirtyRect()) == (RECT{0, 1, 10, 3}));
}

TEST(UnionRect, EmptySidesAreIgnored) {
  const RECT a{1, 2, 3, 4}, empty{5, 5, 5, 9};
  EXPECT_EQ(UnionRect(a, empty), a);
  EXPECT_EQ(UnionRect(empty, a), a);
  EXPECT_TRUE(UnionRect(empty, empty).IsEmpty());
  EXPECT_EQ(UnionRect(a, RECT{0, 3, 2, 9}), (RECT{0, 2, 3, 9}));
}

TEST(Surface, PixelOutsideIsAllOnes) {
  Surface s(4, 3, kGrey);
  EXPECT_EQ(s.Pixel(3, 2), kGrey);
  EXPECT_EQ(s.Pixel(4, 0), 0xFFFFFFFFu);
  EXPECT_EQ(s.Pixel(0, -1), 0xFFFFFFFFu);
}

// A DC made before the surface grew draws on the larger image: nothing is left pointing at the
// old one (the view's reader keeps its DC while the window grows).
TEST(Surface, GrowsInPlaceKeepingItsPixelsAndItsDcs) {
  Surface s(4, 3, kGrey);
  DC dc(s);
  const Brush red(kRed);
  dc.FillRect({0, 0, 2, 2}, red);
  EXPECT_TRUE(s.Grow(6, 5, kWhite));
  EXPECT_EQ(s.Width(), 6);
  EXPECT_EQ(s.Height(), 5);
  EXPECT_EQ(s.Pixel(1, 1), kRed);
  EXPECT_EQ(s.Pixel(3, 2), kGrey);
  EXPECT_EQ(s.Pixel(4, 2), kWhite);
  EXPECT_EQ(s.Pixel(0, 4), kWhite);
  dc.FillRect({4, 3, 6, 5}, red);
  EXPECT_EQ(s.Pixel(5, 4), kRed);
  EXPECT_FALSE(s.Grow(5, 5)) << "a surface never shrinks";
  EXPECT_EQ(s.Width(), 6);
}

// What a presentation copies: separate rectangles stay apart, overlapping or abutting ones
// become one, and a full set folds where it grows least.
TEST(DirtyArea, KeepsAFewRectanglesNotTheirBounds) {
  std::vector<RECT> eight;
  for (int i = 0; i < 8; ++i) eight.push_back({i * 100, 0, i * 100 + 10, 10});
  std::vector<RECT> ninth = eight, folded = eight;
  ninth.push_back({712, 0, 720, 10});  // nearest the last one
  folded.back() = {700, 0, 720, 10};
  const struct {
    const char* name;
    std::vector<RECT> added, kept;  // kept in any order
  } cases[] = {
      {"Empty", {{5, 5, 5, 9}, {3, 3, 1, 1}}, {}},
      {"SegmentAndReadoutStayTwo",
       {{100, 100, 140, 130}, {1775, 900, 1900, 916}},
       {{100, 100, 140, 130}, {1775, 900, 1900, 916}}},
      {"OverlappingMerge", {{0, 0, 10, 10}, {5, 5, 20, 20}}, {{0, 0, 20, 20}}},
      {"AbuttingMerge", {{0, 0, 10, 10}, {10, 0, 20, 10}}, {{0, 0, 20, 10}}},
      {"ContainedVanishes", {{0, 0, 50, 50}, {10, 10, 20, 20}}, {{0, 0, 50, 50}}},
      // The third bridges the first two: the union swallows both.
      {"BridgeJoinsTwo", {{0, 0, 10, 10}, {30, 0, 40, 10}, {5, 2, 35, 8}}, {{0, 0, 40, 10}}},
      {"EightFit", eight, eight},
      {"NinthFoldsIntoTheNearest", ninth, folded},
  };
  auto sorted = [](std::vector<RECT> v) {
    std::ranges::sort(v, {},
                      [](const RECT& r) { return std::tie(r.left, r.top, r.right, r.bottom); });
    return v;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DirtyArea area;
    RECT bounds{};
    for (const RECT& r : c.added) {
      area.Add(r);
      bounds = UnionRect(bounds, r);
    }
    EXPECT_EQ(sorted({area.begin(), area.end()}), sorted(c.kept));
    EXPECT_EQ(area.IsEmpty(), c.kept.empty());
    EXPECT_EQ(area.Bounds(), bounds) << "nothing drawn is lost";
  }
  // A DC drawing at two far places (a readout's two lines) reports them apart.
  Surface s(400, 300);
  DC dc(s);
  dc.FillRect({10, 10, 20, 20}, StockWhiteBrush());
  dc.FillRect({300, 250, 320, 260}, StockWhiteBrush());
  EXPECT_EQ(dc.Dirty().Size(), 2u);
  EXPECT_EQ(dc.DirtyRect(), (RECT{10, 10, 320, 260}));
}

}  // namespace
}  // namespace gdi::test
