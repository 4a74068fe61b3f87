// What a tablet event does on each screen: the values the view keeps for its readouts, the
// pointer, and the drawing of the current test mode. Runs on the reader thread, one event at a
// time, and never waits for the UI thread.
#include <QMetaObject>

#include "base/MulDiv.h"
#include "view/VellumView.h"

using vellum::TestMode;
using vellum::Transducer;

void CVellumView::OnTabletEvent(const vellum::TabletEvent& event) {
  // The mode is read afresh at each of its three uses, so a key between them can make one packet
  // be decoded for one mode and dispatched for another. Harmless, and what users have seen.
  if (Mode() != TestMode::kKeystroke) {
    // Keystroke decodes nothing: its status keeps the values of the last packet decoded before.
    m_decoded = event;
    if (vellum::HasPressure(m_packetLength)) {
      m_penWidth.store(vellum::MulDiv(event.pressure, 50, 512), std::memory_order_relaxed);
    }
  }
  const int32_t code = event.code;
  const vellum::TabletEvent& kept = m_decoded;
  m_buttons.store(code, std::memory_order_relaxed);
  if (Mode() != TestMode::kInfo) {
    m_statusX.store(kept.x, std::memory_order_relaxed);
    m_statusY.store(kept.y, std::memory_order_relaxed);
    m_pressure.store(kept.pressure, std::memory_order_relaxed);
    // A warp to where the pointer already is moves nothing, and with no pointer backend there
    // are no moves at all: the readout must not wait for them.
    const TestMode mode = Mode();
    if (mode == TestMode::kLinear || mode == TestMode::kPressure) RequestStatusRefresh();
  }
  const vellum::Point screen = ClientToScreen(kept.client);

  switch (Mode()) {
    case TestMode::kInfo:
      MovePointer(screen);
      DrawTraceSegment(kept.client);
      HandleInfoScreen(code, screen);
      break;
    case TestMode::kLinear:
    case TestMode::kPressure:
      MovePointer(screen);
      DrawTraceSegment(kept.client);
      break;
    case TestMode::kShake:
      MovePointer(screen);
      ShowShake(kept.x, kept.y);  // Y as the tablet reports it, not turned
      break;
    case TestMode::kKeystroke:
      ShowKeystroke(code);  // the pointer stays where it is
      break;
    default:
      break;
  }
  m_packetsHandled.fetch_add(1, std::memory_order_release);
  if (m_options.packetHandled) m_options.packetHandled();
  if (m_packetWakeArmed.load(std::memory_order_relaxed) && m_packetWakeArmed.exchange(false)) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (m_packetWake) m_packetWake();
        },
        Qt::QueuedConnection);
  }
}

// After the trace segment: the picture's buttons, the readouts and, on 5-byte tablets, the pen
// working the transducer selector.
void CVellumView::HandleInfoScreen(int32_t code, vellum::Point screen) {
  const vellum::TabletEvent& kept = m_decoded;
  if (vellum::HasPressure(m_packetLength)) {
    // The pressure stylus has no buttons for codes 6 and 7.
    if (code <= 5) {
      ShowStylusButtons(code);
      ShowReadout(code, kept.x, kept.y, kept.pressure);
    }
    return;
  }
  // Before the indicator runs: it updates the shown code this test compares against. So a held
  // press toggles the list once, and the next press after any change of code toggles it again.
  if (code != m_shownButtons.load(std::memory_order_relaxed)) m_selectorLatch = false;
  switch (m_transducer.load(std::memory_order_relaxed)) {
    case Transducer::kTwoButtonStylus:
      ShowTwoButtonStylusButtons(code);
      break;
    case Transducer::kThreeButtonStylus:
      ShowThreeButtonStylusButtons(code);
      break;
    case Transducer::kFourButtonCursor:
      ShowCursorButtons(code);
      break;
    default:
      break;
  }
  ShowReadout(code, kept.x, kept.y, 0);
  if (code > 0) PenSelectorStep(code, screen);
}
