// Lines through a DC: which pixels the platform's lines cover.
#include <gtest/gtest.h>

#include "Pixels.h"

namespace gdi::test {
namespace {

struct LineCase {
  const char* name;
  POINT from, to;
};

class OnePixelLine : public testing::TestWithParam<LineCase> {};

TEST_P(OnePixelLine, StartDrawnEndLeftOut) {
  const LineCase& c = GetParam();
  Surface s(64, 64);
  DC dc(s);
  dc.MoveTo(c.from);
  dc.LineTo(c.to);
  EXPECT_EQ(s.Pixel(c.from.x, c.from.y), kBlack);
  EXPECT_EQ(s.Pixel(c.to.x, c.to.y), kWhite);
  EXPECT_EQ(Count(s, kBlack), std::max(std::abs(c.to.x - c.from.x), std::abs(c.to.y - c.from.y)));
  EXPECT_EQ(dc.CurrentPosition(), c.to);
  EXPECT_EQ(dc.DirtyRect(), InkBounds(s));
}

INSTANTIATE_TEST_SUITE_P(Directions, OnePixelLine,
                         testing::Values(LineCase{"LeftToRight", {10, 20}, {40, 27}},
                                         LineCase{"RightToLeft", {40, 27}, {10, 20}},
                                         LineCase{"BottomToTop", {20, 50}, {25, 5}},
                                         LineCase{"RightToLeftBottomToTop", {50, 50}, {11, 13}},
                                         LineCase{"Vertical", {30, 40}, {30, 10}},
                                         LineCase{"Horizontal", {40, 30}, {10, 30}},
                                         LineCase{"Diagonal", {40, 40}, {20, 20}}),
                         [](const auto& info) { return info.param.name; });

TEST(PolylineTo, CornerDrawnFinalPointLeftOut) {
  Surface s(40, 40);
  DC dc(s);
  dc.MoveTo(5, 5);
  const POINT pts[] = {{20, 5}, {20, 25}, {8, 25}};
  dc.PolylineTo(pts, 3);
  EXPECT_EQ(s.Pixel(5, 5), kBlack);
  EXPECT_EQ(s.Pixel(20, 5), kBlack);   // first corner
  EXPECT_EQ(s.Pixel(20, 25), kBlack);  // second corner
  EXPECT_EQ(s.Pixel(8, 25), kWhite);   // the final point
  EXPECT_EQ(Count(s, kBlack), 15 + 20 + 12);
  EXPECT_EQ(dc.CurrentPosition(), (POINT{8, 25}));
}

TEST(ZeroLengthLine, OnePixelPenDrawsNothingWidePenDrawsARoundDot) {
  for (int width : {0, 1, 2, 5, 8}) {
    SCOPED_TRACE(width);
    Surface s(40, 40);
    DC dc(s);
    Pen pen(width, kRed);
    dc.SelectObject(&pen);
    dc.MoveTo(20, 20);
    dc.LineTo(20, 20);
    const RECT ink = InkBounds(s);
    if (width <= 1) {
      EXPECT_TRUE(ink.IsEmpty());
      EXPECT_TRUE(dc.DirtyRect().IsEmpty());
      continue;
    }
    EXPECT_EQ(ink.right - ink.left, width);
    EXPECT_EQ(ink.bottom - ink.top, width);
    EXPECT_EQ(s.Pixel(20, 20), kRed);
    EXPECT_EQ(dc.DirtyRect(), ink);
  }
}

// The 5-pixel dot that every packet of a 5-byte tablet leaves.
TEST(ZeroLengthLine, FivePixelDotShape) {
  Surface s(11, 11);
  DC dc(s);
  Pen pen(5, kBlack);
  dc.SelectObject(&pen);
  dc.MoveTo(5, 5);
  dc.LineTo(5, 5);
  EXPECT_EQ(Art(s, {3, 3, 8, 8}),
            (std::vector<std::string>{".###.", "#####", "#####", "#####", ".###."}));
}

TEST(WideLine, RoundCapsCoverTheEndPoints) {
  for (int width : {3, 4, 9, 10, 50}) {
    SCOPED_TRACE(width);
    Surface s(200, 200);
    DC dc(s);
    Pen pen(width, kBlue);
    dc.SelectObject(&pen);
    dc.MoveTo(60, 100);
    dc.LineTo(140, 100);
    const int r = width / 2;
    // Caps reach half the width beyond each end and are round, not square.
    EXPECT_EQ(s.Pixel(60, 100), kBlue);
    EXPECT_EQ(s.Pixel(140, 100), kBlue);
    const RECT ink = InkBounds(s);
    EXPECT_EQ(ink.right - ink.left, 80 + width);
    EXPECT_EQ(ink.bottom - ink.top, width);
    if (width >= 4) {  // round, not square (up to 3 pixels the two agree)
      EXPECT_EQ(s.Pixel(ink.left, ink.top), kWhite);
      EXPECT_EQ(s.Pixel(ink.right - 1, ink.bottom - 1), kWhite);
    }
    EXPECT_EQ(s.Pixel(140 + r - (width % 2 ? 0 : 1), 100), kBlue);
    EXPECT_EQ(dc.DirtyRect(), ink);
  }
}

TEST(WideLine, DiagonalCoversBothEnds) {
  Surface s(100, 100);
  DC dc(s);
  Pen pen(7, kBlack);
  dc.SelectObject(&pen);
  dc.MoveTo(80, 70);
  dc.LineTo(15, 20);
  for (POINT p : {POINT{80, 70}, POINT{15, 20}, POINT{83, 70}, POINT{12, 20}, POINT{47, 45}}) {
    EXPECT_EQ(s.Pixel(p.x, p.y), kBlack) << p.x << "," << p.y;
  }
  EXPECT_EQ(s.Pixel(84, 70), kWhite);
  EXPECT_EQ(s.Pixel(11, 20), kWhite);
}

}  // namespace
}  // namespace gdi::test
