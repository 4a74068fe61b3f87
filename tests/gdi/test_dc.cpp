// A fresh DC's state and the selection rules.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace gdi::test
