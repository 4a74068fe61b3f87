// Showing what was drawn on the backbuffer. Any thread may ask; the UI thread shows it. Requests
// made before the UI thread gets to them are merged, so a fast reader costs one update per turn
// of the event loop, and the reader never waits for the UI thread.
#include <QMetaObject>

#include "view/VellumView.h"

void CVellumView::RequestPresent(const gdi::RECT& rect) {
  if (rect.IsEmpty()) return;
  bool queue = false;
  {
    std::lock_guard<std::mutex> lock(m_presentMutex);
    m_pendingDirty = gdi::UnionRect(m_pendingDirty, rect);
    if (!m_presentQueued) {
      m_presentQueued = true;
      queue = true;
    }
  }
  if (queue)
    QMetaObject::invokeMethod(
        this, [this] { PresentPending(); }, Qt::QueuedConnection);
}

void CVellumView::PresentPending() {
  gdi::RECT dirty;
  {
    std::lock_guard<std::mutex> lock(m_presentMutex);
    dirty = m_pendingDirty;
    m_pendingDirty = {};
    m_presentQueued = false;
  }
  if (!dirty.IsEmpty())
    update(dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top);
}

void CVellumView::RefreshClientOrigin() {
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  m_originX.store(origin.x(), std::memory_order_relaxed);
  m_originY.store(origin.y(), std::memory_order_relaxed);
}
