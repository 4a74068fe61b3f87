// The four function keys: F1 toggles between the info screen and the test screens, F5 steps
// through the test screens, F3 clears, F4 ends the program.
#include <QKeyEvent>
#include <chrono>
#include <thread>

#include "view/Layout.h"
#include "view/VellumView.h"

using vellum::TestMode;

namespace {

// Qt's key to the virtual-key code the handler compares; keys without a command map to 0.
uint32_t VirtualKeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_F1:
      return kVkF1;
    case Qt::Key_F3:
      return kVkF3;
    case Qt::Key_F4:
      return kVkF4;
    case Qt::Key_F5:
      return kVkF5;
    default:
      return 0;
  }
}

}  // namespace

void CVellumView::OnKeyDown(uint32_t virtualKey, uint32_t, uint32_t) {
  const gdi::RECT whole = m_clientRect;
  const TestMode mode = Mode();

  if (virtualKey == kVkF5 && mode != TestMode::kInfo) {
    TestMode next = mode == TestMode::kKeystroke
                        ? TestMode::kLinear
                        : static_cast<TestMode>(static_cast<uint32_t>(mode) + 1);
    // No pressure, no Pressure screen.
    if (m_packetLength == vellum::kPlainPacketLength && next == TestMode::kPressure)
      next = TestMode::kShake;
    m_mode.store(next, std::memory_order_relaxed);
    // The reader may be drawing a packet for the old screen (it reads the mode afresh at each
    // step, without a lock); 15 ms lets it finish, so that the paint below covers what it drew.
    // The F5 response has always had this wait, and the UI thread has nothing else to do then.
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    InvalidateAndPaint(whole);
  } else if (virtualKey == kVkF3) {
    if (mode == TestMode::kInfo) {
      InvalidateAndPaint(layout::TraceArea(whole));
    } else {
      InvalidateAndPaint(whole);
    }
  } else if (virtualKey == kVkF4) {
    StopReaderAndExit();
    return;  // no focus or default handling: the process is gone
  } else if (virtualKey == kVkF1) {
    const TestMode next = mode == TestMode::kInfo ? TestMode::kLinear : TestMode::kInfo;
    m_mode.store(next, std::memory_order_relaxed);
    InvalidateAndPaint(whole);
    // The selector belongs to the info screen only.
    if (m_packetLength == vellum::kPlainPacketLength) ShowSelector(next == TestMode::kInfo);
  }

  setFocus(Qt::OtherFocusReason);
}

void CVellumView::keyPressEvent(QKeyEvent* event) {
  // Every key-down, auto-repeats included, runs its command once.
  const uint32_t virtualKey = VirtualKeyOf(event->key());
  OnKeyDown(virtualKey, static_cast<uint32_t>(event->count()), 0);
  if (virtualKey != kVkF4) QWidget::keyPressEvent(event);
}
