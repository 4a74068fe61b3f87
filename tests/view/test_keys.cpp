// The function keys on a view laid out at 1024x768 on an emulated tablet.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <string>
#include <vector>

#include "ScreenChecks.h"
#include "res/Strings.h"

namespace {

using screens::Px;

using screens::Rig;

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const gdi::RECT kWhole{0, 0, 1024, 768};
const gdi::RECT kTraceArea{0, 0, 1024 - 150, 768 - 50};

struct WalkCase {
  int model;
  std::vector<uint32_t> modes;  // after F1, then after each F5
  std::vector<const char*> suffixes;
};

class KeyWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(KeyWalk, F1ThenF5VisitsTheTestScreensInOrder) {
  const WalkCase& c = GetParam();
  Rig rig(c.model);
  ASSERT_EQ(rig.Mode(), 0u);
  for (size_t i = 0; i < c.modes.size(); ++i) {
    rig.Key(i == 0 ? kVkF1 : kVkF5);
    EXPECT_EQ(rig.Mode(), c.modes[i]) << "after key " << i;
    EXPECT_TRUE(EndsWith(rig.Title(), c.suffixes[i])) << rig.Title();
    EXPECT_EQ(Px(rig.view(), 600, 100), screens::kBlack) << "test screens are black";
  }
}

INSTANTIATE_TEST_SUITE_P(Models, KeyWalk,
                         testing::Values(WalkCase{7,
                                                  {1, 2, 3, 4, 1},
                                                  {res::kSuffixLinear, res::kSuffixPressure,
                                                   res::kSuffixShake, res::kSuffixKeystroke,
                                                   res::kSuffixLinear}},
                                         WalkCase{5,
                                                  {1, 3, 4, 1},
                                                  {res::kSuffixLinear, res::kSuffixShake,
                                                   res::kSuffixKeystroke, res::kSuffixLinear}}),
                         [](const testing::TestParamInfo<WalkCase>& info) {
                           return "Model" + std::to_string(info.param.model);
                         });

TEST(Keys, F5OnTheInfoScreenDoesNothing) {
  Rig rig(7);
  const QImage before = screens::Snapshot(rig.view());
  const std::string title = rig.Title();
  rig.Key(kVkF5);
  EXPECT_EQ(rig.Mode(), 0u);
  EXPECT_EQ(rig.Title(), title);
  EXPECT_EQ(screens::ChangedInside(before, screens::Snapshot(rig.view()), kWhole), 0);
}

TEST(Keys, F1FromEveryTestScreenReturnsToInfoAndTheNextF1StartsAtLinear) {
  Rig rig(7);
  for (int steps = 0; steps < 4; ++steps) {
    rig.Key(kVkF1);
    for (int i = 0; i < steps; ++i) rig.Key(kVkF5);
    ASSERT_EQ(rig.Mode(), uint32_t(1 + steps));
    rig.Key(kVkF1);
    EXPECT_EQ(rig.Mode(), 0u) << "from mode " << 1 + steps;
    EXPECT_EQ(rig.Title(), res::kInfoTitle);
    EXPECT_EQ(Px(rig.view(), 600, 100), screens::kWhite) << "info screen repainted";
  }
  rig.Key(kVkF1);
  EXPECT_EQ(rig.Mode(), 1u);
}

TEST(Keys, F3OnTheInfoScreenRepaintsOnlyTheTraceArea) {
  Rig rig(7);
  TestView& view = rig.view();
  view.m_buttons = 3;
  view.m_penWidth = 1;
  view.DrawTraceSegment({100, 300});
  view.DrawTraceSegment({400, 300});
  view.ShowReadout(3, 1234, 2345, 321);
  ASSERT_EQ(Px(view, 250, 300), screens::kRed);
  const QImage before = screens::Snapshot(view);

  rig.Key(kVkF3);
  const QImage after = screens::Snapshot(view);
  EXPECT_EQ(rig.Mode(), 0u);
  EXPECT_EQ(Px(view, 250, 300), screens::kWhite) << "trace erased";
  // The readout lines, the panel texts and the separators keep what was last drawn there.
  EXPECT_EQ(screens::ChangedOutside(before, after, kTraceArea), 0);
}

TEST(Keys, F3OnATestScreenRepaintsEverything) {
  Rig rig(7);
  TestView& view = rig.view();
  rig.Key(kVkF1);
  view.m_buttons = 1;
  view.DrawTraceSegment({500, 400});
  view.DrawTraceSegment({1000, 740});  // across where the info screen's panel would be
  ASSERT_EQ(Px(view, 750, 570), screens::kWhite);
  ASSERT_EQ(Px(view, 990, 733), screens::kWhite);

  rig.Key(kVkF3);
  EXPECT_EQ(rig.Mode(), 1u);
  EXPECT_EQ(Px(view, 750, 570), screens::kBlack);
  EXPECT_EQ(Px(view, 990, 733), screens::kBlack);
  EXPECT_EQ(Px(view, 100, 30), screens::kCyan) << "arrows drawn again";
}

TEST(Keys, SelectorOfAFiveByteTabletShowsOnlyOnTheInfoScreen) {
  Rig rig(5);
  QComboBox* selector = rig.view().m_selector;
  ASSERT_NE(selector, nullptr);
  EXPECT_TRUE(selector->isVisible());
  rig.Key(kVkF1);
  EXPECT_FALSE(selector->isVisible());
  rig.Key(kVkF5);
  EXPECT_FALSE(selector->isVisible()) << "F5 does not bring it back";
  rig.Key(kVkF1);
  EXPECT_TRUE(selector->isVisible());
}

TEST(Keys, F4EndsWithStatusZeroOnEveryScreen) {
  for (int steps = -1; steps < 4; ++steps) {  // -1: the info screen
    Rig rig(7);
    if (steps >= 0) rig.Key(kVkF1);
    for (int i = 0; i < steps; ++i) rig.Key(kVkF5);
    rig.Key(kVkF4);
    EXPECT_EQ(rig.harness().exitCalls, 1) << "steps " << steps;
    EXPECT_EQ(rig.harness().exitStatus, 0);
    EXPECT_TRUE(rig.view().m_stop.load());
  }
}

// Through Qt's key events: each press, auto-repeats included, runs its command once.
TEST(Keys, QtKeyEventsRunOncePerKeyDown) {
  Rig rig(7);
  auto press = [&](int key, bool autoRepeat) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(&rig.view(), &event);
  };
  press(Qt::Key_F1, false);
  EXPECT_EQ(rig.Mode(), 1u);
  const std::vector<uint32_t> expected = {2, 3, 4, 1};
  for (uint32_t mode : expected) {
    press(Qt::Key_F5, true);
    EXPECT_EQ(rig.Mode(), mode);
  }
  press(Qt::Key_A, false);
  press(Qt::Key_F2, false);
  EXPECT_EQ(rig.Mode(), 1u) << "keys without a command change nothing";
  press(Qt::Key_F4, false);
  EXPECT_EQ(rig.harness().exitCalls, 1);
}

}  // namespace
