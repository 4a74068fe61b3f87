// The test screens at 1024x768: titles, Linear arrows, the Shake numbers and the Keystroke
// circles, with the tones counted through the view's tone.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ScreenChecks.h"

namespace {

using screens::Px;

using screens::Rig;

// Bounding box of the pixels of `colour` inside `area`; empty when there are none.
gdi::RECT Bounds(TestView& view, const gdi::RECT& area, gdi::COLORREF colour) {
  gdi::RECT box{area.right, area.bottom, area.left, area.top};
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (Px(view, x, y) != colour) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

struct TitleCase {
  int model, port, maxX, maxY;
  uint32_t mode;
  const char* title;
};

// clang-format off
const TitleCase kTitles[] = {
  {7, 1, 5000, 3750, 1, "Tablet Size : 5''x3.75'',  Resolution : 1000LPI,  Installed on : COM1"
                        "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Linear"},
  {7, 1, 5000, 3750, 2, "Tablet Size : 5''x3.75'',  Resolution : 1000LPI,  Installed on : COM1"
                        "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Pressur"},
  {7, 1, 5000, 3750, 3, "Tablet Size : 5''x3.75'',  Resolution : 1000LPI,  Installed on : COM1"
                        "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Shake"},
  {7, 1, 5000, 3750, 4, "Tablet Size : 5''x3.75'',  Resolution : 1000LPI,  Installed on : COM1"
                        "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Keystroke"},
  {5, 2, 2500, 2250, 3, "Tablet Size : 5''x4.50'',  Resolution : 500LPI,  Installed on : COM2"
                        "  << F1:Model, F5:Next, F3:Clear, F4:Exit, Event:Shake"},
};
// clang-format on

TEST(ModeScreens, TitlesAreExact) {
  for (const TitleCase& c : kTitles) {
    Rig rig(c.model, c.port, c.maxX, c.maxY);
    rig.EnterMode(c.mode);
    EXPECT_EQ(rig.harness().frame.title_, c.title);
  }
}

TEST(ModeScreens, LinearArrowsAreCyanAndScaleWithTheClient) {
  Rig rig(7);
  rig.EnterMode(1);
  TestView& view = rig.view();
  const std::vector<std::pair<int, int>> onArrows = {
      {34, 30},   {204, 30}, {34, 192}, {204, 192},  // start and the three tips
      {120, 30},  {34, 110},                         // the shafts
      {199, 25},  {199, 35}, {39, 187}, {29, 187},   // barbs
      {204, 187}, {199, 192}};
  for (auto [x, y] : onArrows) EXPECT_EQ(Px(view, x, y), screens::kCyan) << x << ", " << y;
  EXPECT_GT(screens::CountInColumn(view, 119, 100, 122, screens::kCyan), 0) << "diagonal";
  const gdi::RECT box = Bounds(view, {0, 0, 1024, 768}, screens::kCyan);
  EXPECT_EQ(box, (gdi::RECT{25, 21, 205, 193}));  // each line leaves out its last pixel
}

TEST(ModeScreens, ShakeShowsZerosThenEachNewPositionInTheBand) {
  Rig rig(7);
  rig.EnterMode(3);
  TestView& view = rig.view();
  const gdi::RECT middle{0, 300, 1024, 460};
  // "0, 0": four characters, two cells (2 x 34) left of x 512, top on y 384.
  gdi::RECT zeros = Bounds(view, middle, screens::kWhite);
  EXPECT_GE(zeros.left, 444);
  EXPECT_LT(zeros.left, 444 + 34);
  EXPECT_GE(zeros.top, 384);
  EXPECT_LT(zeros.bottom, 384 + 34);

  // (0, 0) right after start is what is shown already: nothing drawn, no tone.
  const QImage before = screens::Snapshot(view);
  view.ShowShake(0, 0);
  EXPECT_EQ(screens::ChangedInside(before, screens::Snapshot(view), {0, 0, 1024, 768}), 0);
  EXPECT_EQ(rig.Beeps(), 0);

  screens::Fill(view, {0, 0, 1024, 768}, 0x808080);
  view.ShowShake(12345, 6789);  // eleven characters: five cells left of the middle
  EXPECT_EQ(Px(view, 5, 255), 0x808080u);
  EXPECT_EQ(Px(view, 5, 256), screens::kBlack) << "band from a third of the height";
  EXPECT_EQ(Px(view, 1023, 511), screens::kBlack) << "to two thirds, full width";
  EXPECT_EQ(Px(view, 5, 512), 0x808080u);
  const gdi::RECT text = Bounds(view, middle, screens::kWhite);
  EXPECT_GE(text.left, 342);
  EXPECT_LT(text.left, 342 + 34);
  EXPECT_GE(text.top, 384);
  EXPECT_EQ(rig.harness().tone.Beeps(), (std::vector<std::pair<int, int>>{{200, 5}}));

  view.ShowShake(12345, 6789);
  EXPECT_EQ(rig.Beeps(), 1) << "same position, no tone";
  view.ShowShake(12345, 6790);
  EXPECT_EQ(rig.Beeps(), 2);
  EXPECT_EQ(view.m_shakeShown, (gdi::POINT{12345, 6790}));
}

// Circle i of the keypad at 1024x768: cell 34, x from (4i + 2) * 34, y from 350 to 418.
enum class Circle { kPlain, kLit, kOther };
Circle CircleLook(TestView& view, int i) {
  const int left = (4 * i + 2) * 34;
  gdi::COLORREF outline = 0x808080;
  for (int x = left - 2; x < left + 4; ++x) {
    if (Px(view, x, 384) != screens::kBlack) {
      outline = Px(view, x, 384);
      break;
    }
  }
  const gdi::COLORREF inside = Px(view, left + 6, 384);
  const gdi::RECT digit{left + 14, 367, left + 48, 401};
  const bool whiteDigit = !Bounds(view, digit, screens::kWhite).IsEmpty();
  const bool blackDigit = !Bounds(view, digit, screens::kBlack).IsEmpty();
  if (outline == screens::kWhite && inside == screens::kBlack && whiteDigit) return Circle::kPlain;
  if (outline == screens::kRed && inside == screens::kWhite && blackDigit) return Circle::kLit;
  return Circle::kOther;
}

struct KeystrokeStep {
  enum Kind { kPacket, kClear, kReenter } kind;
  int code;   // packet code
  int lit;    // circle number lit afterwards, 0 none
  int beeps;  // tones so far
};

TEST(ModeScreens, KeystrokeHighlightFollowsChangesOfTheCode) {
  Rig rig(7);
  rig.EnterMode(4);
  TestView& view = rig.view();
  using S = KeystrokeStep;
  const KeystrokeStep steps[] = {
      {S::kPacket, 0, 0, 0},                         // nothing shown yet: no change
      {S::kPacket, 3, 3, 1},                         // press: lit, one tone
      {S::kPacket, 3, 3, 1},                         // held: no tone
      {S::kPacket, 0, 0, 1},                         // release: plain, no tone
      {S::kPacket, 3, 3, 2}, {S::kPacket, 5, 5, 3},  // 3 to 5 directly
      {S::kClear, 0, 0, 3},                          // F3 draws the plain keypad...
      {S::kPacket, 5, 0, 3},  // ...and the shown code survives it: 5 stays plain
      {S::kPacket, 2, 2, 4}, {S::kReenter, 0, 0, 4},  // leaving and coming back does not reset it
                                                      // either
      {S::kPacket, 2, 0, 4}, {S::kPacket, 7, 7, 5},  {S::kPacket, 1, 1, 6},
  };
  for (size_t n = 0; n < std::size(steps); ++n) {
    const KeystrokeStep& s = steps[n];
    SCOPED_TRACE(testing::Message() << "step " << n);
    if (s.kind == S::kPacket) view.ShowKeystroke(s.code);
    if (s.kind == S::kClear) view.OnKeyDown(kVkF3, 1, 0);
    if (s.kind == S::kReenter) {
      view.OnKeyDown(kVkF1, 1, 0);
      rig.EnterMode(4);
    }
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(CircleLook(view, i), i + 1 == s.lit ? Circle::kLit : Circle::kPlain)
          << "circle " << i + 1;
    }
    EXPECT_EQ(rig.Beeps(), s.beeps);
  }
  for (const auto& beep : rig.harness().tone.Beeps())
    EXPECT_EQ(beep, (std::pair<int, int>{200, 30}));
}

}  // namespace
