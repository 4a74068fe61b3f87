// Button indicators on the backbuffer: each code of each transducer, the cursor's readings that
// depend on the code shown before, and that a code already shown draws nothing. Screen 1024 x 768,
// so a design point is its pixel offset from the anchor.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "PictureRig.h"

namespace {

using pictest::kBlack;
using pictest::kDarkGrey;
using pictest::kGrey;
using pictest::kSentinel;
using pictest::kWhite;
using pictest::Rig;

constexpr int kNotShown = 99;  // a code no packet carries: the next call always draws

// A fresh picture with nothing pressed, and the indicator ready to draw any code.
void FreshPicture(Rig& rig, int transducer) {
  rig.White();
  rig->m_transducer = vellum::Transducer(transducer);
  rig->DrawTransducerPicture();
  rig->m_shownButtons = kNotShown;
}

void FillDesign(Rig& rig, int l, int t, int r, int b, gdi::COLORREF colour) {
  const gdi::POINT a = rig.At(l, t), z = rig.At(r, b);
  rig.Fill({a.x, a.y, z.x, z.y}, colour);
}

TEST(Indicators, TheSameCodeTwiceDrawsOnce) {
  struct Row {
    int model, transducer;
    std::function<void(TestView&, int)> show;
    int code;
  } rows[] = {
      {7, 4, [](TestView& v, int c) { v.ShowStylusButtons(c); }, 3},
      {5, 2, [](TestView& v, int c) { v.ShowTwoButtonStylusButtons(c); }, 1},
      {5, 3, [](TestView& v, int c) { v.ShowThreeButtonStylusButtons(c); }, 5},
      {5, 4, [](TestView& v, int c) { v.ShowCursorButtons(c); }, 4},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.model * 10 + r.transducer);
    Rig rig(r.model);
    FreshPicture(rig, r.transducer);
    r.show(*rig, r.code);
    EXPECT_EQ(rig->m_shownButtons.load(), r.code);
    // Whatever the panel shows now, a held button must leave it alone.
    const gdi::RECT panel{rig->ClientRect().right - 145, 135, rig->ClientRect().right, 600};
    rig.Fill(panel, kSentinel);
    r.show(*rig, r.code);
    r.show(*rig, r.code);
    EXPECT_EQ(pictest::Count(*rig, panel, kSentinel), (panel.right - panel.left) * (600 - 135));
    r.show(*rig, 0);  // a change draws again
    EXPECT_LT(pictest::Count(*rig, panel, kSentinel), (panel.right - panel.left) * (600 - 135));
    EXPECT_EQ(rig->m_shownButtons.load(), 0);
  }
}

TEST(Indicators, PressureStylusByCode) {
  enum Tip { kReleased, kPressed, kErased };
  struct Row {
    int code;
    Tip tip;
    bool lower, upper;  // rocker half dark grey
  } rows[] = {
      {0, kReleased, false, false}, {1, kPressed, false, false}, {2, kReleased, true, false},
      {3, kPressed, true, false},   {4, kReleased, false, true}, {5, kPressed, false, true},
      {6, kErased, false, false},   {7, kErased, false, false},
  };
  Rig rig(7);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    FreshPicture(rig, 4);
    // Stray colour in the tip area and on the rocker proves what the indicator repaints.
    FillDesign(rig, -3, 346, 4, 361, kSentinel);
    rig->ShowStylusButtons(r.code);
    EXPECT_EQ(rig->m_shownButtons.load(), r.code);
    EXPECT_EQ(rig.PxAt(0, 345), kBlack) << "the tip's top edge stays";
    switch (r.tip) {
      case kReleased:
        EXPECT_EQ(rig.PxAt(0, 355), kGrey);
        EXPECT_EQ(rig.PxAt(0, 360), kBlack);
        break;
      case kPressed:  // three units shorter, dark grey
        EXPECT_EQ(rig.PxAt(0, 352), kDarkGrey);
        EXPECT_EQ(rig.PxAt(0, 357), kBlack);
        EXPECT_EQ(rig.PxAt(0, 359), kWhite);
        break;
      case kErased:
        EXPECT_EQ(rig.PxAt(0, 348), kWhite);
        EXPECT_EQ(rig.PxAt(0, 355), kWhite);
        break;
    }
    EXPECT_EQ(rig.PxAt(0, 247), r.lower ? kDarkGrey : kGrey) << "lower rocker half";
    EXPECT_EQ(rig.PxAt(0, 214), r.upper ? kDarkGrey : kGrey) << "upper rocker half";
    EXPECT_EQ(rig.PxAt(0, 236), r.lower ? kDarkGrey : kGrey) << "between the lower lines";
    EXPECT_EQ(rig.PxAt(0, 232), r.upper ? kDarkGrey : kGrey) << "between the upper lines";
    // The lower pie covers the middle line; the pressed half's outer line is drawn again.
    EXPECT_EQ(rig.PxAt(0, 230), kBlack) << "upper rocker line";
    EXPECT_EQ(rig.PxAt(0, 234), r.lower ? kDarkGrey : kBlack) << "middle rocker line";
    EXPECT_EQ(rig.PxAt(0, 238), kBlack) << "lower rocker line";
    EXPECT_EQ(pictest::Count(*rig, {0, 0, 1024, 768}, kSentinel), 0);
  }
}

TEST(Indicators, TwoButtonStylusByCode) {
  Rig rig(5);
  for (int code = 0; code <= 7; ++code) {
    SCOPED_TRACE(code);
    FreshPicture(rig, 2);
    FillDesign(rig, 8, 203, 22, 225, kSentinel);  // the side button
    rig->ShowTwoButtonStylusButtons(code);
    EXPECT_EQ(rig->m_shownButtons.load(), code);
    if (code >= 4) {  // no such buttons: the tip is erased and nothing else drawn
      EXPECT_EQ(rig.PxAt(15, 298), kWhite);
      EXPECT_EQ(rig.PxAt(13, 290), kWhite);
      EXPECT_EQ(rig.PxAt(15, 206), kSentinel);
      EXPECT_EQ(rig.PxAt(15, 222), kSentinel);
      continue;
    }
    const bool tip = code & 1, side = code & 2;
    EXPECT_EQ(rig.PxAt(15, 206), side ? kWhite : kBlack) << "square top of the side button";
    EXPECT_EQ(rig.PxAt(15, 222), side ? kWhite : kBlack) << "round bottom of the side button";
    EXPECT_EQ(rig.PxAt(15, 224), kBlack) << "side button outline";
    EXPECT_EQ(rig.PxAt(15, 298), tip ? kWhite : kBlack) << "long tip";
    EXPECT_EQ(rig.PxAt(15, 290), tip ? kWhite : kBlack) << "tip inside";
    EXPECT_EQ(rig.PxAt(13, 290), kBlack) << "tip outline";
  }
}

TEST(Indicators, ThreeButtonStylusByCode) {
  Rig rig(5);
  for (int code = 0; code <= 7; ++code) {
    SCOPED_TRACE(code);
    FreshPicture(rig, 3);
    rig->ShowThreeButtonStylusButtons(code);
    EXPECT_EQ(rig->m_shownButtons.load(), code);
    // A side button is black when released and white when pressed.
    const gdi::COLORREF upper = (code & 4) ? kWhite : kBlack;
    const gdi::COLORREF lower = (code & 2) ? kWhite : kBlack;
    EXPECT_EQ(rig.PxAt(15, 182), upper) << "upper ellipse";
    EXPECT_EQ(rig.PxAt(15, 197), upper) << "upper button";
    EXPECT_EQ(rig.PxAt(15, 217), lower) << "lower button";
    EXPECT_EQ(rig.PxAt(15, 227), lower) << "lower ellipse";
    EXPECT_EQ(rig.PxAt(15, 212), kWhite) << "between the buttons";
    if (code & 1) {  // the short white triangle
      EXPECT_EQ(rig.PxAt(15, 288), kWhite);
      EXPECT_EQ(rig.PxAt(15, 295), kBlack);
      EXPECT_EQ(rig.PxAt(15, 298), kWhite);
    } else {
      EXPECT_EQ(rig.PxAt(15, 288), kBlack);
      EXPECT_EQ(rig.PxAt(15, 296), kBlack);
      EXPECT_EQ(rig.PxAt(15, 300), kBlack);
    }
  }
}

TEST(Indicators, CursorButtonsDependOnTheCodeShownBefore) {
  // Inside points of buttons 1 to 4 (values 1, 2, 3, 4).
  const gdi::POINT inside[4] = {{-12, 67}, {60, 67}, {25, 90}, {25, 67}};
  struct Row {
    int code, previous;
    std::set<int> black;
  } rows[] = {
      {1, 0, {1}},       {2, 0, {2}},    {3, 0, {3}},    {3, 1, {1, 2}}, {3, 2, {1, 2}},
      {3, 4, {3}},       {4, 0, {4}},    {4, 1, {1, 3}}, {4, 3, {1, 3}}, {4, 2, {4}},
      {5, 0, {}},        {5, 1, {1, 4}}, {5, 4, {1, 4}}, {5, 2, {2, 3}}, {5, 3, {2, 3}},
      {5, 6, {}},        {6, 0, {}},     {6, 2, {2, 4}}, {6, 4, {2, 4}}, {6, 1, {1, 2, 3}},
      {6, 3, {1, 2, 3}}, {6, 5, {}},     {7, 0, {}},     {7, 3, {3, 4}}, {7, 1, {1, 2, 4}},
      {7, 2, {1, 2, 4}}, {7, 4, {}},     {7, 6, {}},     {0, 5, {}},  // all four grey again
  };
  Rig rig(5);
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "code " << r.code << " after " << r.previous);
    FreshPicture(rig, 4);
    for (const gdi::POINT& p : inside) FillDesign(rig, p.x, p.y, p.x + 1, p.y + 1, kSentinel);
    rig->m_shownButtons = r.previous;
    rig->ShowCursorButtons(r.code);
    EXPECT_EQ(rig->m_shownButtons.load(), r.code);
    for (int value = 1; value <= 4; ++value) {
      const gdi::POINT p = inside[value - 1];
      EXPECT_EQ(rig.PxAt(p.x, p.y), r.black.count(value) ? kBlack : kGrey) << "button " << value;
    }
  }
}

}  // namespace
