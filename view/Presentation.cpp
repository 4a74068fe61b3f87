// Showing what was drawn on the backbuffer. Any thread may ask; the UI thread shows it. Requests
// made before the UI thread gets to them are merged, so a fast reader costs one update per turn
// of the event loop, and the reader never waits for the UI thread.
#include <QMetaObject>
#include <QRegion>

#include "platform/Placement.h"
#include "view/VellumView.h"

void CVellumView::RequestPresent(const gdi::DirtyArea& area) {
  if (area.IsEmpty()) return;
  bool queue = false;
  {
    std::lock_guard<std::mutex> lock(m_presentMutex);
    m_pendingDirty.Add(area);
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
  gdi::DirtyArea dirty;
  {
    std::lock_guard<std::mutex> lock(m_presentMutex);
    dirty = m_pendingDirty;
    m_pendingDirty.Clear();
    m_presentQueued = false;
  }
  // A region, not its bounding box: Qt repaints and flushes each rectangle on its own.
  QRegion region;
  for (const gdi::RECT& r : dirty) region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
  if (!region.isEmpty()) update(region);
}

void CVellumView::RefreshClientOrigin() {
  // Not mapToGlobal alone: on Wayland the toolkit cannot know where the window is.
  const vellum::Point origin = platform::ClientOriginOnDesktop(*this);
  m_originX.store(origin.x, std::memory_order_relaxed);
  m_originY.store(origin.y, std::memory_order_relaxed);
}
