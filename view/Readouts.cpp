// The numbers of each tablet event: the button and value lines of the info screen (reader
// thread) and the status pane of the Linear and Pressure screens (UI thread, on mouse moves and
// on the reader's refresh requests, which the next presentation carries out).
#include <QMouseEvent>

#include "res/Strings.h"
#include "view/Layout.h"
#include "view/Text.h"
#include "view/VellumView.h"

void CVellumView::ShowReadout(int32_t buttons, int32_t x, int32_t y, int32_t pressure) {
  ViewDC dc(*this);  // default attributes: system font, black on opaque white
  dc.TextOut(m_clientRect.right - layout::kPanelColumn, layout::ButtonLineY(m_clientRect),
             FormatText(res::kButtonFormat, buttons));

  const int valueY = m_clientRect.bottom - layout::kReadoutAboveBottom;
  if (buttons == 1 || buttons == 3 || buttons == 5) {
    dc.TextOut(layout::kReadoutX, valueY, FormatText(res::kValueLinePressed, x, y, pressure));
  } else if (x != 0 && y != 0) {
    // A released pen at a zero coordinate leaves the line as it was.
    dc.TextOut(layout::kReadoutX, valueY, FormatText(res::kValueLineOther, x, y));
  }
}

void CVellumView::OnMouseMove() {
  const vellum::TestMode mode = Mode();
  if (mode == vellum::TestMode::kLinear || mode == vellum::TestMode::kPressure) {
    SetStatusReadout(
        mode, m_statusX.load(std::memory_order_relaxed), m_statusY.load(std::memory_order_relaxed),
        m_pressure.load(std::memory_order_relaxed), m_buttons.load(std::memory_order_relaxed));
  }
}

void CVellumView::RequestStatusRefresh() {
  if (m_statusRefreshQueued.exchange(true, std::memory_order_acq_rel)) return;
  // With the next frame: a status bar redrawn for every packet would be a window update per
  // packet again.
  std::lock_guard<std::mutex> lock(m_presentMutex);
  QueuePresentLocked();
}

void CVellumView::SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure,
                                   int buttons) {
  if (m_frame == nullptr) return;
  if (!m_statusNotice.empty()) {
    m_frame->SetStatusText(m_statusNotice);
    return;
  }
  m_frame->SetStatusReadout(screen, x, y, pressure, buttons);
}

void CVellumView::ShowStatusNotice(const std::string& text) {
  m_statusNotice = text;
  if (m_frame != nullptr) m_frame->SetStatusText(text);
}

void CVellumView::mouseMoveEvent(QMouseEvent* event) {
  // The reader's pointer moves arrive here too; a move of the real mouse shows the same values.
  OnMouseMove();
  QWidget::mouseMoveEvent(event);
}
