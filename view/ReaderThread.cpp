// The reader thread's body and what it reaches of the view. Nothing here touches a Qt widget:
// values go through atomics, pointer moves and presentation are posted to the UI thread.
#include <QMetaObject>
#include <cstdio>
#include <string>

#include "platform/Pointer.h"
#include "view/VellumView.h"

namespace {

int64_t PackPoint(vellum::ClientPoint p) {
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(p.x)) << 32) |
                              static_cast<uint32_t>(p.y));
}

vellum::ClientPoint UnpackPoint(int64_t v) {
  const uint64_t u = static_cast<uint64_t>(v);
  return {static_cast<int32_t>(static_cast<uint32_t>(u >> 32)),
          static_cast<int32_t>(static_cast<uint32_t>(u))};
}

}  // namespace

int CVellumView::ReaderThreadProc(CVellumView* view) {
  // Copied once: the geometry was fixed by ComputeLayout before this thread started.
  vellum::ReaderConfig config;
  config.width = view->m_clientRect.right;
  config.height = view->m_clientRect.bottom;
  config.maxX = view->m_maxX;
  config.maxY = view->m_maxY;
  config.packetLength = view->m_packetLength;
  if (config.packetLength == 5) view->MeasureSelector();
  const int result = vellum::RunReader(*view->m_hPort, config, *view, view->m_stop, &view->m_waker,
                                       view->m_options.tap);
  if (!view->m_stop.load(std::memory_order_relaxed)) {
    // A read failed: the tablet is gone. The window and its keys go on; the user is told.
    std::string reason = view->m_hPort->ReadFailure();
    if (reason.empty()) reason = "the read failed";
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

void CVellumView::StoreButtons(int32_t code) {
  m_buttons.store(code, std::memory_order_relaxed);
}

void CVellumView::StoreStatus(int32_t x, int32_t y, int32_t pressure) {
  m_statusX.store(x, std::memory_order_relaxed);
  m_statusY.store(y, std::memory_order_relaxed);
  m_pressure.store(pressure, std::memory_order_relaxed);
}

void CVellumView::StorePenWidth(int32_t width) {
  m_penWidth.store(width, std::memory_order_relaxed);
}

int32_t CVellumView::ShownButtons() const {
  return m_shownButtons.load(std::memory_order_relaxed);
}

int32_t CVellumView::Transducer() const {
  return m_transducer.load(std::memory_order_relaxed);
}

vellum::ClientPoint CVellumView::ClientToScreen(vellum::ClientPoint p) const {
  // Wraps like the 32-bit platform arithmetic rather than overflowing.
  return {static_cast<int32_t>(static_cast<uint32_t>(p.x) +
                               static_cast<uint32_t>(m_originX.load(std::memory_order_relaxed))),
          static_cast<int32_t>(static_cast<uint32_t>(p.y) +
                               static_cast<uint32_t>(m_originY.load(std::memory_order_relaxed)))};
}

void CVellumView::MovePointer(vellum::ClientPoint screen) {
  // Newest position wins: one queued call carries whatever position is current when it runs.
  m_pendingPointer.store(PackPoint(screen), std::memory_order_relaxed);
  if (!m_pointerQueued.exchange(true, std::memory_order_acq_rel)) {
    QMetaObject::invokeMethod(
        this, [this] { ApplyPendingPointer(); }, Qt::QueuedConnection);
  }
}

void CVellumView::PacketHandled() {
  m_packetsHandled.fetch_add(1, std::memory_order_release);
  if (m_options.packetHandled) m_options.packetHandled();
}

vellum::ClientPoint CVellumView::PendingPointer() const {
  return UnpackPoint(m_pendingPointer.load(std::memory_order_relaxed));
}

void CVellumView::ApplyPendingPointer() {
  // Cleared before the position is read, so a move stored after this read queues a new call.
  // An exchange, not a store: it pairs with the reader's, so the read sees its newest position.
  m_pointerQueued.exchange(false, std::memory_order_acq_rel);
  const vellum::ClientPoint p = UnpackPoint(m_pendingPointer.load(std::memory_order_relaxed));
  if (m_options.movePointer) platform::MovePointer(p.x, p.y);
}
