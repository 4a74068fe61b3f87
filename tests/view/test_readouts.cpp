// Readouts: the info screen's button and value lines (compared with the same text drawn on a
// scratch surface), and the status pane that follows mouse moves on Linear and Pressure.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <optional>
#include <string>

#include "ScreenChecks.h"

namespace {

using screens::Rig;

// 1024x768 client: the button line at (879, 640), the value line at (20, 728).
const gdi::RECT kPanelLine{874, 630, 1024, 670};
const gdi::RECT kStrip{0, 720, 1024, 768};

struct ReadoutCase {
  int buttons, x, y, pressure;
  const char* buttonLine;
  std::optional<const char*> valueLine;  // nullopt: the line keeps what it showed
};

// clang-format off
const ReadoutCase kReadoutCases[] = {
  {0, 1234, 2345, 321, "Button : 0",
   "Current  X:  1234          Current  Y:  2345          Pressed  Value:  0         "},
  {1, 1234, 2345, 321, "Button : 1",
   "Current  X:  1234          Current  Y:  2345          Pressed  Value:  321        "},
  {2, 1234, 2345, 321, "Button : 2",
   "Current  X:  1234          Current  Y:  2345          Pressed  Value:  0         "},
  {3, 16383, 1, 511, "Button : 3",
   "Current  X:  16383          Current  Y:  1          Pressed  Value:  511        "},
  {4, 9, 9, 9, "Button : 4",
   "Current  X:  9          Current  Y:  9          Pressed  Value:  0         "},
  {5, 1234, 2345, 0, "Button : 5",
   "Current  X:  1234          Current  Y:  2345          Pressed  Value:  0        "},
  {6, 1234, 2345, 321, "Button : 6",
   "Current  X:  1234          Current  Y:  2345          Pressed  Value:  0         "},
  {7, 1234, 2345, 321, "Button : 7",
   "Current  X:  1234          Current  Y:  2345          Pressed  Value:  0         "},
  // A zero coordinate: codes 1, 3 and 5 still show the line, the others leave it.
  {1, 0, 2345, 100, "Button : 1",
   "Current  X:  0          Current  Y:  2345          Pressed  Value:  100        "},
  {3, 1234, 0, 100, "Button : 3",
   "Current  X:  1234          Current  Y:  0          Pressed  Value:  100        "},
  {5, 0, 0, 0, "Button : 5",
   "Current  X:  0          Current  Y:  0          Pressed  Value:  0        "},
  {0, 0, 2345, 100, "Button : 0", std::nullopt},
  {0, 1234, 0, 100, "Button : 0", std::nullopt},
  {2, 0, 0, 100, "Button : 2", std::nullopt},
  {4, 0, 5, 100, "Button : 4", std::nullopt},
  {6, 5, 0, 100, "Button : 6", std::nullopt},
  {7, 0, 0, 100, "Button : 7", std::nullopt},
};
// clang-format on

TEST(Readouts, InfoScreenLinesForEveryCode) {
  Rig rig(7);
  TestView& view = rig.view();
  for (const ReadoutCase& c : kReadoutCases) {
    SCOPED_TRACE(testing::Message() << "code " << c.buttons << " at " << c.x << ", " << c.y);
    // Black behind the lines, so the opaque text boxes show their exact extent.
    screens::Fill(view, kPanelLine, screens::kBlack);
    screens::Fill(view, kStrip, screens::kBlack);
    view.ShowReadout(c.buttons, c.x, c.y, c.pressure);

    gdi::Surface expected(view.Backbuffer().Width(), view.Backbuffer().Height(), 0x000000);
    {
      gdi::DC dc(expected);  // default attributes, as the readout uses them
      dc.TextOut(1024 - 145, (5 * 768) / 6, c.buttonLine);
      if (c.valueLine) dc.TextOut(20, 768 - 40, *c.valueLine);
    }
    const QImage shown = screens::Snapshot(view);
    EXPECT_EQ(screens::ChangedInside(shown, expected.Image(), kPanelLine), 0);
    EXPECT_EQ(screens::ChangedInside(shown, expected.Image(), kStrip), 0);
  }
}

struct StatusCase {
  int steps;  // F5 presses after F1 (7-byte tablet: 1 Linear, 2 Pressure, 3 Shake, 4 Keystroke)
  const char* afterPaint;
  const char* afterMove;
};

const StatusCase kStatusCases[] = {
    {0, "        X = 5000,        Y = 3750,        P = 1,        Button = 0",
     "        X = 16383,        Y = 0,        P = 1,        Button = 7"},
    {1, "        X = 5000,        Y = 3750,        P = 512,        Button = 0",
     "        X = 16383,        Y = 0,        P = 437,        Button = 7"},
    {2, "", ""},
    {3, "", ""},
};

TEST(Readouts, StatusPaneByScreen) {
  for (const StatusCase& c : kStatusCases) {
    SCOPED_TRACE(testing::Message() << "F5 x " << c.steps);
    Rig rig(7);
    TestView& view = rig.view();
    view.OnKeyDown(kVkF1, 1, 0);
    for (int i = 0; i < c.steps; ++i) view.OnKeyDown(kVkF5, 1, 0);
    EXPECT_EQ(rig.harness().frame.status_, c.afterPaint);
    view.m_statusX.store(16383);
    view.m_statusY.store(0);
    view.m_pressure.store(437);
    view.m_buttons.store(7);
    view.OnMouseMove();
    EXPECT_EQ(rig.harness().frame.status_, c.afterMove);
  }
}

TEST(Readouts, StatusPaneStaysEmptyOnTheInfoScreen) {
  Rig rig(7);
  rig.view().m_statusX.store(10);
  rig.view().m_statusY.store(20);
  rig.view().m_pressure.store(30);
  rig.view().OnMouseMove();
  EXPECT_EQ(rig.harness().frame.status_, "");
}

// The pointer moves the reader makes reach the pane as Qt mouse moves.
TEST(Readouts, QtMouseMovesUpdateThePane) {
  Rig rig(7);
  TestView& view = rig.view();
  view.OnKeyDown(kVkF1, 1, 0);
  EXPECT_TRUE(view.hasMouseTracking()) << "moves without a button must arrive";
  view.m_statusX.store(2500);
  view.m_statusY.store(1875);
  view.m_pressure.store(0);
  view.m_buttons.store(1);
  const QPointF at(10, 10);
  QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&view, &move);
  EXPECT_EQ(rig.harness().frame.status_,
            "        X = 2500,        Y = 1875,        P = 1,        Button = 1");
}

}  // namespace
