#pragma once
// The reader thread's body: reads the port a byte at a time, assembles and decodes packets,
// scales each to client coordinates and hands it on as one TabletEvent. What an event means on
// the screen is the sink's business; the loop knows nothing of test modes or pictures.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "base/Geometry.h"
#include "tablet/TabletLink.h"

namespace vellum {

class LineStats;
class IQuietWatch;

// Copied once when the thread starts and used unchanged for its whole life.
struct ReaderConfig {
  int32_t width = 0;   // client width W
  int32_t height = 0;  // client height H
  int32_t maxX = 0;
  int32_t maxY = 0;
  int32_t packetLength = 0;
  LineStats* stats = nullptr;  // when given: fed every packet and every byte the assembler drops
  IQuietWatch* quiet = nullptr;  // when given: told when the line has been quiet long enough
};

// One complete packet.
struct TabletEvent {
  int32_t code = 0;  // button code 0..7
  int32_t x = 0;     // tablet counts as sent, not clipped to the range
  int32_t y = 0;
  int32_t pressure = 0;  // 0..511 on 7-byte tablets, 0 on 5-byte ones
  Point client;          // x and y scaled to the client area, Y turned so that up is up
  int64_t timeUs = 0;    // when its last byte was read, on the port's clock
  friend bool operator==(const TabletEvent&, const TabletEvent&) = default;
};

// The event of one packet (REQUIRES: config.packetLength bytes); its time is left 0.
TabletEvent DecodeEvent(const uint8_t* packet, const ReaderConfig& config);

// Where the reader hands its events: on the reader thread, one call per packet, in the order the
// packets arrived. The next byte is read when the call returns.
class ITabletSink {
 public:
  virtual ~ITabletSink() = default;
  virtual void OnTabletEvent(const TabletEvent& event) = 0;
};

// Something that must act when no packet has come for a while (a pen leaving proximity), on the
// reader thread, without a timer of its own. The reader bounds its idle wait by the deadline, so
// a watch with no deadline costs no wake-ups.
class IQuietWatch {
 public:
  virtual ~IQuietWatch() = default;
  // When OnQuiet is due, on the port's clock (microseconds); -1 for never.
  virtual int64_t QuietDeadlineUs() const = 0;
  // Called once the port's clock has passed the deadline with nothing waiting to be read,
  // before the next byte is read.
  virtual void OnQuiet(int64_t nowUs) = 0;
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

// The loop: returns 0 when `stop` is seen before a read or a read fails. After an empty read it
// waits in poll() on the port and the waker with no timeout, until the bytes that would complete
// a packet are there (IPort::SetPollThreshold) or a stop; after a 0x80 filler byte at most 5 ms.
// Whoever sets `stop` fires `waker`; with no waker the idle wait is bounded by 5 ms instead. A
// quiet watch's deadline bounds the wait as well.
int RunReader(IPort& port, const ReaderConfig& config, ITabletSink& sink,
              const std::atomic<bool>& stop, const Waker* waker, IByteTap* tap = nullptr);

}  // namespace vellum
