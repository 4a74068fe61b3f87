// Showing what was drawn on the backbuffer. Any thread may ask; the UI thread shows it, at most
// once a display frame: the reader draws a packet every 8 ms, a screen shows one frame every
// 16.7 ms, and each update costs Qt a round trip to the display server and a flush. Requests
// made before the update are merged, and the reader never waits for the UI thread. The pointer
// is not paced: the reader moves it itself.
//
// While packets keep coming the UI thread wakes once a frame, on its timer: the request stays
// queued from one frame to the next, so the reader posts nothing. A frame with nothing drawn
// ends that, and the next request is shown at once. The status bar's readout on the Linear and
// Pressure screens is brought up to date with the frame too.
#include <QMetaObject>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <chrono>

#include "platform/Placement.h"
#include "view/VellumView.h"

namespace {

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void CVellumView::RequestPresent(const gdi::DirtyArea& area) {
  if (area.IsEmpty()) return;
  std::lock_guard<std::mutex> lock(m_presentMutex);
  m_pendingDirty.Add(area);
  QueuePresentLocked();
}

void CVellumView::QueuePresentLocked() {
  if (m_presentQueued) return;
  m_presentQueued = true;
  QMetaObject::invokeMethod(
      this, [this] { PresentPending(); }, Qt::QueuedConnection);
}

void CVellumView::PresentPending() {
  // Asked each time: the window may have moved to a screen of another rate.
  const QScreen* shownOn = screen();
  m_framePacer.SetFrameUs(vellum::FrameUsForRate(shownOn ? shownOn->refreshRate() : 0));
  const int64_t now = NowUs();
  if (const int64_t waitUs = m_framePacer.WaitUs(now); waitUs > 0) {
    PresentIn(waitUs);  // still queued: later requests join this one
    return;
  }
  gdi::DirtyArea dirty;
  bool status = false;
  {
    std::lock_guard<std::mutex> lock(m_presentMutex);
    dirty = m_pendingDirty;
    m_pendingDirty.Clear();
    status = m_statusRefreshQueued.exchange(false, std::memory_order_acq_rel);
    // Nothing new for a frame: the line is quiet, and the next request is posted.
    if (dirty.IsEmpty() && !status) m_presentQueued = false;
  }
  if (dirty.IsEmpty() && !status) return;
  m_framePacer.Presented(now);
  // The status bar's text goes with the frame: Qt paints and flushes the window's dirty widgets
  // together.
  if (status) OnMouseMove();
  if (!dirty.IsEmpty()) {
    // A region, not its bounding box: Qt repaints and flushes each rectangle on its own.
    QRegion region;
    for (const gdi::RECT& r : dirty) {
      region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    update(region);
  }
  PresentIn(m_framePacer.FrameUs());
}

void CVellumView::PresentIn(int64_t waitUs) {
  if (!m_presentTimer) {
    m_presentTimer = new QTimer(this);
    m_presentTimer->setSingleShot(true);
    m_presentTimer->setTimerType(Qt::PreciseTimer);
    connect(m_presentTimer, &QTimer::timeout, this, [this] { PresentPending(); });
  }
  // Rounded up to the timer's milliseconds, so never early.
  if (!m_presentTimer->isActive()) m_presentTimer->start(int((waitUs + 999) / 1000));
}

void CVellumView::RefreshClientOrigin() {
  // Not mapToGlobal alone: on Wayland the toolkit cannot know where the window is.
  const vellum::Point origin = platform::ClientOriginOnDesktop(*this);
  m_originX.store(origin.x, std::memory_order_relaxed);
  m_originY.store(origin.y, std::memory_order_relaxed);
}
