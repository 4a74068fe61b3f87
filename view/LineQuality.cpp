// The line's figures for the status bar's second pane.
#include "view/VellumView.h"

std::string CVellumView::LineQualityText() const {
  // The packets' times are on the port's clock; a quiet second is judged on it here, as the
  // reader may be asleep. The port is opened and closed on this thread, so asking it is safe; a
  // closed one reads n/a.
  vellum::LineFigures figures = m_lineStats.Figures(m_hPort ? m_hPort->NowUs() : 0);
  if (m_hPort) figures.lineErrors = m_hPort->LineErrors();
  return vellum::FormatLineFigures(figures, m_packetLength);
}

bool CVellumView::LineIsQuiet() const {
  const vellum::LineFigures figures = m_lineStats.Figures(m_hPort ? m_hPort->NowUs() : 0);
  return figures.rate && *figures.rate == 0;
}

void CVellumView::WakeOnNextPacket(std::function<void()> wake) {
  m_packetWake = std::move(wake);
  m_packetWakeArmed.store(true);
}
