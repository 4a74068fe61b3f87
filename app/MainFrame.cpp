#include "app/MainFrame.h"

#include <QLabel>
#include <QStatusBar>

#include "view/StatusReadout.h"
#include "view/VellumView.h"

namespace {

constexpr int kLineRefreshMs = 500;        // the line figures, twice a second
constexpr int kQuietLineRefreshMs = 5000;  // while no packet comes

}  // namespace

CMainFrame::CMainFrame() {
  // A caption and nothing else: no system menu, no minimise, maximise or close button. The
  // program is left with F4.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setMenuBar(nullptr);

  auto* bar = new QStatusBar(this);
  bar->setSizeGripEnabled(false);
  m_statusPane = new QLabel(bar);
  m_statusPane->setTextFormat(Qt::PlainText);  // the readouts' runs of spaces are kept
  m_statusPane->setContentsMargins(2, 0, 2, 0);
  bar->addWidget(m_statusPane, 1);
  m_linePane = new QLabel(bar);
  m_linePane->setTextFormat(Qt::PlainText);
  m_linePane->setContentsMargins(2, 0, 2, 0);
  bar->addPermanentWidget(m_linePane);
  setStatusBar(bar);
  m_lineTimer.setInterval(kLineRefreshMs);
  connect(&m_lineTimer, &QTimer::timeout, this, &CMainFrame::RefreshLineQuality);
}

void CMainFrame::SetView(CVellumView* view) {
  m_view = view;
  setCentralWidget(view);
  view->SetFrame(this);
  RefreshLineQuality();
  m_lineTimer.start();
}

void CMainFrame::RefreshLineQuality() {
  if (!m_view) return;
  m_linePane->setText(QString::fromStdString(m_view->LineQualityText()));
  if (!m_view->LineIsQuiet()) {
    m_lineTimer.setInterval(kLineRefreshMs);
    return;
  }
  // A quiet line's figures change only with its error counters: look seldom, so an idle
  // program does not wake twice a second; the next packet brings the pane back at once.
  m_lineTimer.setInterval(kQuietLineRefreshMs);
  m_view->WakeOnNextPacket([this] {
    m_lineTimer.start(kLineRefreshMs);
    RefreshLineQuality();
  });
}

void CMainFrame::SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure,
                                  int buttons) {
  m_statusPane->setText(QString::fromLatin1(FormatStatusReadout(screen, x, y, pressure, buttons)));
}

void CMainFrame::SetStatusText(const std::string& text) {
  m_statusPane->setText(QString::fromStdString(text));
}

void CMainFrame::SetTitle(const std::string& title) {
  setWindowTitle(QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())));
}

bool CMainFrame::IsZoomed() const {
  return isMaximized();
}

void CMainFrame::ShowMaximized() {
  showMaximized();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  // The view does not hear of its window moving; its screen origin must follow.
  if (m_view) m_view->RefreshClientOrigin();
}
