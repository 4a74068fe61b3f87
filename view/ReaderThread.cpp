// The reader thread's body, the pointer it moves and the news of a lost tablet. Nothing here
// touches a Qt widget: values go through atomics; the pointer moves through the backend chosen
// at start-up, which the reader alone uses.
#include <QMetaObject>
#include <cstdio>
#include <string>

#include "platform/Pointer.h"
#include "tablet/LostTablet.h"
#include "view/VellumView.h"

int CVellumView::ReaderThreadProc(CVellumView* view) {
  // Copied once: the geometry was fixed by ComputeLayout before this thread started.
  vellum::ReaderConfig config;
  config.width = view->m_clientRect.right;
  config.height = view->m_clientRect.bottom;
  config.maxX = view->m_maxX;
  config.maxY = view->m_maxY;
  config.packetLength = view->m_packetLength;
  config.stats = &view->m_lineStats;
  if (config.packetLength == vellum::kPlainPacketLength) view->MeasureSelector();
  const int result = vellum::RunReader(*view->m_hPort, config, *view, view->m_stop, &view->m_waker,
                                       view->m_options.tap);
  // The X connection or uinput device is the reader's: it goes with it.
  if (view->m_pointer) view->m_pointer->Close();
  if (!view->m_stop.load(std::memory_order_relaxed)) {
    // A read failed: the tablet is gone. The window and its keys go on; the user is told. What
    // the open changed about the line's latency goes back now, not when the window closes. The
    // look at the device node may wait a moment, so it is taken here rather than on the UI thread.
    view->m_hPort->RestoreLatency();
    const std::string path = view->m_options.ports.Path(static_cast<int>(view->m_port));
    const std::string reason = vellum::LostTabletReason(
        view->m_hPort->ReadFailure(), view->m_hPort->LastError(), vellum::DeviceGone(path));
    QMetaObject::invokeMethod(
        view, [view, reason] { view->OnTabletLost(reason); }, Qt::QueuedConnection);
  }
  view->m_readerEnded.store(true, std::memory_order_release);
  return result;
}

void CVellumView::OnTabletLost(const std::string& reason) {
  const std::string port = "COM" + std::to_string(m_port);
  std::fprintf(stderr, "vellum: tablet on %s (%s) lost: %s\n", port.c_str(),
               m_options.ports.Path(static_cast<int>(m_port)).c_str(), reason.c_str());
  std::fflush(stderr);
  ShowStatusNotice("Tablet on " + port + " lost: " + reason + ". F4 ends the program.");
}

vellum::Point CVellumView::ClientToScreen(vellum::Point p) const {
  // Wraps like the 32-bit platform arithmetic rather than overflowing.
  return {static_cast<int32_t>(static_cast<uint32_t>(p.x) +
                               static_cast<uint32_t>(m_originX.load(std::memory_order_relaxed))),
          static_cast<int32_t>(static_cast<uint32_t>(p.y) +
                               static_cast<uint32_t>(m_originY.load(std::memory_order_relaxed)))};
}

void CVellumView::MovePointer(vellum::Point screen) {
  // Straight from the reader: the pointer never waits for the UI thread's turn behind a paint.
  if (m_pointer) m_pointer->MoveTo(screen.x, screen.y);
}
