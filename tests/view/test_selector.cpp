// The transducer selector: the combo box and its mirrors, choices by mouse and by pen, the
// latch that makes a held press toggle the list once, F1, and the two threads never waiting for
// each other under a flood of packets.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <atomic>
#include <chrono>
#include <thread>

#include "PictureRig.h"
#include "base/MulDiv.h"
#include "tablet/Reader.h"

namespace {

using pictest::kBlack;
using pictest::kSentinel;
using pictest::Rig;

QWidget* Popup(TestView& v) {
  return v.m_selector->view()->window();
}

// The reader's own copy of the selector state is taken when it starts; the window has settled
// since, so take it again (the reader is idle on a quiet tablet).
void Settle(Rig& rig) {
  test::Pump(30);
  rig->MeasureSelector();
}

// The selector's panel, cleared by a change of transducer.
gdi::RECT ClearRect(TestView& v) {
  const int w = v.ClientRect().right, h = v.ClientRect().bottom;
  return {w - 145, 135, w, 5 * h / 6 - 5};
}

// One pen packet on the info screen, in the reader's order (the trace and readout left out).
void Pen(Rig& rig, int code, vellum::Point screen) {
  TestView& v = *rig;
  if (code != v.m_shownButtons.load()) v.m_selectorLatch = false;
  v.ShowCursorButtons(code);  // transducer 4 in these tests
  if (code > 0) v.PenSelectorStep(code, screen);
}

struct Targets {
  vellum::Point button, listEdge, item;
};

// Where the pen hits, in screen coordinates, from the dropped rect (W - 145 to W - 20).
Targets TargetsOf(TestView& v) {
  const gdi::RECT& d = v.m_selectorDroppedRect;
  return {
      {d.right - 7, d.top + 10}, {d.right - 10, d.top + 25 + 10}, {d.left + 45, d.top + 25 + 5}};
}

void Highlight(TestView& v, int row) {  // as the pointer hovering over a row does
  v.m_selector->view()->setCurrentIndex(v.m_selector->model()->index(row, 0));
}

TEST(Selector, BoxAndMirrors) {
  Rig rig(5);
  Settle(rig);
  QComboBox* box = rig->m_selector;
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->parentWidget(), &*rig);
  ASSERT_EQ(box->count(), 3);
  EXPECT_EQ(box->itemText(0).toStdString(), "2-Button Stylus");
  EXPECT_EQ(box->itemText(1).toStdString(), "3-Button Stylus");
  EXPECT_EQ(box->itemText(2).toStdString(), "4-Button Stylus");
  EXPECT_EQ(box->currentIndex(), 2);
  EXPECT_EQ(box->geometry().x(), 1024 - 145);
  EXPECT_EQ(box->geometry().y(), 105);
  EXPECT_EQ(box->geometry().width(), 125);
  EXPECT_EQ(box->geometry().height(), box->sizeHint().height());  // the natural height
  EXPECT_TRUE(box->isVisible());

  const QPoint origin = rig->mapToGlobal(QPoint(0, 0));
  EXPECT_EQ(rig->m_selectorDroppedRect, (gdi::RECT{origin.x() + 1024 - 145, origin.y() + 105,
                                                   origin.x() + 1024 - 20, origin.y() + 185}));
  EXPECT_EQ(rig->m_selectorWidth, 1024);
  EXPECT_GT(rig->m_selectorItemHeight.load(), 0);
  EXPECT_EQ(rig->m_selectorListHeight, 3 * rig->m_selectorItemHeight.load());
  EXPECT_EQ(rig->m_selectorCurSel.load(), 2);
  EXPECT_FALSE(rig->m_selectorDropped.load());

  // The list drops right below the field; the mirror follows it open and shut.
  box->showPopup();
  test::Pump(30);
  EXPECT_TRUE(rig->m_selectorDropped.load());
  EXPECT_EQ(Popup(*rig)->geometry().top(), box->mapToGlobal(QPoint(0, box->height())).y());
  Highlight(*rig, 1);
  EXPECT_EQ(rig->m_selectorCurSel.load(), 1);  // the row under the pointer while open
  box->hidePopup();
  test::Pump(30);
  EXPECT_FALSE(rig->m_selectorDropped.load());
  EXPECT_EQ(rig->m_selectorCurSel.load(), 2);  // closed without a choice
}

TEST(Selector, F4OnTheFocusedBoxStillEndsTheProgram) {
  // Regression: after re-picking the current item the focus stays on the box, and a combo box
  // takes F4 as "open the list"; the user could no longer leave with F4.
  Rig rig(5);
  Settle(rig);
  rig->m_selector->setFocus();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
  QApplication::sendEvent(rig->m_selector, &press);
  EXPECT_EQ(rig.vut.exitCalls, 1);
  EXPECT_EQ(rig.vut.exitStatus, 0);
  EXPECT_FALSE(rig->m_selectorDropped.load());
}

TEST(Selector, ChoosingTheCurrentItemChangesNothing) {
  Rig rig(5);
  Settle(rig);
  rig.Fill(ClearRect(*rig), kSentinel);
  const int area = (145) * (ClearRect(*rig).bottom - 135);
  rig->SelectTransducer(2);
  rig->OnSelectorChange();
  emit rig->m_selector->activated(2);
  test::Pump(10);
  EXPECT_EQ(rig->m_transducer.load(), vellum::Transducer::kFourButtonCursor);
  EXPECT_EQ(pictest::Count(*rig, ClearRect(*rig), kSentinel), area);
}

TEST(Selector, MouseChoiceRedrawsThePictureAndGivesTheFocusBack) {
  Rig rig(5);
  Settle(rig);
  rig.Fill(ClearRect(*rig), kSentinel);
  rig->m_selector->setFocus();
  rig->m_selector->setCurrentIndex(1);
  emit rig->m_selector->activated(1);  // what a click on the item sends
  test::Pump(10);
  EXPECT_EQ(rig->m_transducer.load(), vellum::Transducer::kThreeButtonStylus);
  EXPECT_EQ(pictest::Count(*rig, ClearRect(*rig), kSentinel), 0);
  EXPECT_EQ(rig.PxAt(15, -14), kBlack);  // the three-button stylus's dome
  EXPECT_EQ(rig->window()->focusWidget(), &*rig);
}

TEST(Selector, HeldPressOnTheButtonOpensTheListOnceAndTheNextPressClosesIt) {
  Rig rig(5);
  Settle(rig);
  const Targets at = TargetsOf(*rig);
  for (int i = 0; i < 10; ++i) {
    Pen(rig, 1, at.button);
    test::Pump(5);  // the list opens while the pen is still down
  }
  EXPECT_TRUE(Popup(*rig)->isVisible());
  EXPECT_TRUE(rig->m_selectorDropped.load());
  for (int i = 0; i < 3; ++i) Pen(rig, 0, at.button);
  for (int i = 0; i < 10; ++i) {
    Pen(rig, 1, at.button);
    test::Pump(5);
  }
  EXPECT_FALSE(Popup(*rig)->isVisible());
  EXPECT_FALSE(rig->m_selectorDropped.load());
  EXPECT_EQ(rig->m_transducer.load(), vellum::Transducer::kFourButtonCursor);
}

TEST(Selector, PressOnTheRightEdgeOfTheOpenListClosesItInsteadOfChoosing) {
  Rig rig(5);
  Settle(rig);
  const Targets at = TargetsOf(*rig);
  rig->m_selector->showPopup();
  test::Pump(30);
  Highlight(*rig, 0);
  Pen(rig, 1, at.listEdge);
  test::Pump(30);
  EXPECT_FALSE(Popup(*rig)->isVisible());
  EXPECT_EQ(rig->m_transducer.load(), vellum::Transducer::kFourButtonCursor);
  EXPECT_EQ(rig->m_selector->currentIndex(), 2);
}

TEST(Selector, PenChoiceClosesSelectsRedrawsAndGivesTheFocusBack) {
  Rig rig(5);
  Settle(rig);
  const Targets at = TargetsOf(*rig);
  rig->m_selector->showPopup();
  test::Pump(30);
  rig->m_selector->setFocus();
  Highlight(*rig, 0);
  rig.Fill(ClearRect(*rig), kSentinel);
  Pen(rig, 1, at.item);
  // Drawn on the pen's own thread at once; the box follows when the UI thread gets to it.
  EXPECT_EQ(rig->m_transducer.load(), vellum::Transducer::kTwoButtonStylus);
  EXPECT_EQ(pictest::Count(*rig, ClearRect(*rig), kSentinel), 0);
  EXPECT_EQ(rig.PxAt(15, 20), kBlack);  // a ring of the two-button stylus
  test::Pump(30);
  EXPECT_FALSE(Popup(*rig)->isVisible());
  EXPECT_EQ(rig->m_selector->currentIndex(), 0);
  EXPECT_EQ(rig->m_selectorCurSel.load(), 0);
  EXPECT_EQ(rig->window()->focusWidget(), &*rig);

  // The list is shut: the same press again chooses nothing.
  rig.Fill(ClearRect(*rig), kSentinel);
  Pen(rig, 0, at.item);
  Pen(rig, 1, at.item);
  test::Pump(10);
  EXPECT_GT(pictest::Count(*rig, ClearRect(*rig), kSentinel), 0);
}

// Regression: the pen's screen x was compared with bounds from the client width, so with a
// panel on the left or the window on a right-hand monitor every press missed by the offset.
TEST(Selector, PenHitsTheSelectorWithTheClientAwayFromTheScreenOrigin) {
  Rig rig(5);
  rig->move(300, 200);
  Settle(rig);
  const QPoint origin = rig->mapToGlobal(QPoint(0, 0));
  ASSERT_GE(origin.x(), 300);  // the window frame may add its border
  const Targets at = TargetsOf(*rig);
  EXPECT_EQ(at.button.x, origin.x() + 1024 - 27);
  EXPECT_EQ(at.button.y, origin.y() + 105 + 10);

  Pen(rig, 1, at.button);
  test::Pump(30);
  EXPECT_TRUE(Popup(*rig)->isVisible()) << "the press on the drop-down button missed";
  Highlight(*rig, 1);
  Pen(rig, 0, at.item);
  Pen(rig, 1, at.item);
  test::Pump(30);
  EXPECT_EQ(rig->m_transducer.load(), vellum::Transducer::kThreeButtonStylus) << "the press on the list missed";
  EXPECT_FALSE(Popup(*rig)->isVisible());
  // Where the old bounds lay, at the client's x without the offset, nothing is hit.
  Pen(rig, 0, {1024 - 27, at.button.y});
  Pen(rig, 1, {1024 - 27, at.button.y});
  test::Pump(30);
  EXPECT_FALSE(Popup(*rig)->isVisible());
}

TEST(Selector, F1HidesItOnTheTestScreensAndShowsItOnReturn) {
  Rig rig(5);
  Settle(rig);
  rig->OnKeyDown(kVkF1, 1, 0);
  EXPECT_FALSE(rig->m_selector->isVisible());
  rig->OnKeyDown(kVkF5, 1, 0);
  EXPECT_FALSE(rig->m_selector->isVisible());
  rig->OnKeyDown(kVkF1, 1, 0);
  EXPECT_EQ(rig->m_mode.load(), vellum::TestMode::kInfo);
  EXPECT_TRUE(rig->m_selector->isVisible());
}

TEST(Selector, SevenByteTabletsHaveNone) {
  Rig rig(7);
  test::Pump(30);
  EXPECT_EQ(rig->m_selector, nullptr);
  EXPECT_EQ(rig->m_selectorListHeight, 0);  // the reader measured nothing
  EXPECT_EQ(rig->m_selectorDroppedRect, gdi::RECT{});
  EXPECT_EQ(rig->findChild<QComboBox*>(), nullptr);
  const QImage before = rig.Snapshot();
  rig->PenSelectorStep(1, {1024 - 27, 115});
  rig->SelectTransducer(0);
  EXPECT_EQ(rig.Snapshot(), before);
  rig->ShowSelector(true);  // F1's call is harmless without a selector
}

// Packets at a hundred times the line rate, pen presses on the selector among them, while F1
// flips the screens a thousand times; then the window closes. Nothing may wait for anything.
TEST(Selector, NoDeadlockUnderAFloodOfPacketsAndKeys) {
  auto rig = std::make_unique<Rig>(5);
  Settle(*rig);
  TestView& v = **rig;
  const Targets at = TargetsOf(v);
  const vellum::ReaderConfig config{v.ClientRect().right, v.ClientRect().bottom, 5000, 3750, 5};
  const QPoint origin = v.mapToGlobal(QPoint(0, 0));
  // A 5-byte packet whose point lands on `screen` (within a pixel).
  auto packet = [&](int code, vellum::Point screen) {
    const int32_t cx = screen.x - origin.x(), cy = screen.y - origin.y();
    const int32_t x = vellum::MulDiv(cx, config.maxX, config.width);
    const int32_t y = config.maxY - vellum::MulDiv(cy, config.maxY, config.height);
    return std::array<uint8_t, 5>{uint8_t(0x98 | code), uint8_t(x & 0x7F), uint8_t(x >> 7),
                                  uint8_t(y & 0x7F), uint8_t(y >> 7)};
  };
  const std::array<uint8_t, 5> script[] = {
      packet(0, at.button), packet(1, at.button),  packet(1, at.button),  packet(0, at.item),
      packet(1, at.item),   packet(0, {400, 300}), packet(1, {420, 320}), packet(1, at.listEdge),
  };

  std::atomic<bool> stop{false};
  std::atomic<long> handled{0};
  std::thread feeder([&] {
    // 9600 baud, 11 bits a byte, 5 bytes: about 174 packets a second; a hundred times that.
    const auto period = std::chrono::nanoseconds(1'000'000'000LL / (174 * 100));
    auto next = std::chrono::steady_clock::now();
    for (long i = 0; !stop.load(); ++i) {
      v.OnTabletEvent(vellum::DecodeEvent(script[i % std::size(script)].data(), config));
      handled.fetch_add(1);
      next += period;
      while (std::chrono::steady_clock::now() < next && !stop.load()) std::this_thread::yield();
    }
  });
  for (int i = 0; i < 1000; ++i) {
    v.OnKeyDown(kVkF1, 1, 0);
    QApplication::processEvents();
  }
  v.close();
  QApplication::processEvents();
  stop.store(true);
  feeder.join();
  EXPECT_GT(handled.load(), 1000);
  rig.reset();  // the view's own reader stops and the port closes
  QApplication::processEvents();
}

}  // namespace
