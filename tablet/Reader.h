#pragma once
// The reader thread's body: reads the port a byte at a time, assembles and decodes packets,
// scales them to client coordinates and hands each one to the test view in a fixed order.
// The view is reached only through IReaderTarget so that the loop runs without Qt in tests.

#include <atomic>
#include <cstdint>

#include "tablet/TabletLink.h"

namespace vellum {

struct ClientPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const ClientPoint&, const ClientPoint&) = default;
};

// Copied once when the thread starts and used unchanged for its whole life.
struct ReaderConfig {
  int32_t width = 0;   // client width W
  int32_t height = 0;  // client height H
  int32_t maxX = 0;
  int32_t maxY = 0;
  int32_t packetLength = 0;
};

// What the reader calls on the view. Every call is made on the reader thread.
class IReaderTarget {
 public:
  virtual ~IReaderTarget() = default;
  virtual uint32_t Mode() const = 0;                                   // m_mode, read afresh
  virtual void StoreButtons(int32_t code) = 0;                         // m_buttons
  virtual void StoreStatus(int32_t x, int32_t y, int32_t pressure) = 0;  // m_statusX/Y, m_pressure
  virtual void StorePenWidth(int32_t width) = 0;                       // m_penWidth
  virtual int32_t ShownButtons() const = 0;                            // m_shownButtons
  virtual int32_t Transducer() const = 0;                              // m_transducer
  virtual ClientPoint ClientToScreen(ClientPoint p) const = 0;
  virtual void MovePointer(ClientPoint screen) = 0;  // posted; never waits for the UI thread
  virtual void DrawTraceSegment(ClientPoint p) = 0;
  virtual void ShowStylusButtons(int32_t code) = 0;
  virtual void ShowTwoButtonStylusButtons(int32_t code) = 0;
  virtual void ShowThreeButtonStylusButtons(int32_t code) = 0;
  virtual void ShowCursorButtons(int32_t code) = 0;
  virtual void ShowReadout(int32_t buttons, int32_t x, int32_t y, int32_t pressure) = 0;
  virtual void ClearSelectorLatch() = 0;                         // first step of PenSelectorStep
  virtual void PenSelectorStep(int32_t code, ClientPoint screenPt) = 0;  // the remaining steps
  virtual void ShowShake(int32_t x, int32_t y) = 0;
  virtual void ShowKeystroke(int32_t code) = 0;
  // Called after each packet has been handled (benchmarks and recorders hook in here).
  virtual void PacketHandled() {}
};

// Sees every byte the reader reads, in order (capture recording). Called on the reader thread.
class IByteTap {
 public:
  virtual ~IByteTap() = default;
  virtual void OnBytes(const uint8_t* bytes, size_t count) = 0;
};

// A wake-up the UI thread can fire to end the reader's idle wait at once (eventfd).
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;
  void Wake();
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Handles one complete packet exactly as the reader does (exposed for tests and fuzzing).
class PacketDispatcher {
 public:
  PacketDispatcher(const ReaderConfig& config, IReaderTarget& target);
  void Handle(const uint8_t* packet);  // REQUIRES: config.packetLength bytes

 private:
  void HandleInfoScreen(int32_t code, ClientPoint screen);

  ReaderConfig config_;
  IReaderTarget& target_;
  int32_t tabletX_ = 0, tabletY_ = 0, pressure_ = 0;
  ClientPoint client_;
};

// The loop: returns 0 when `stop` is seen before a read or a read fails. Between empty reads it
// waits up to 5 ms in poll() on the port and the waker, so a byte or a stop ends the wait at once.
int RunReader(IPort& port, const ReaderConfig& config, IReaderTarget& target,
              const std::atomic<bool>& stop, const Waker* waker, IByteTap* tap = nullptr);

}  // namespace vellum
