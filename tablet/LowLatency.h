#pragma once
// How late a serial line hands on what it received, and what Vellum changes about that while it
// holds a port. A built-in UART (the 8250 family) raises its receive interrupt only when its
// FIFO holds `rx_trig_bytes` bytes (8 on a 16550A as booted) or after four idle character
// times, so a 7-byte packet often waits for the next packet's first byte. An FTDI adapter sends
// what it holds when its latency timer runs out (16 ms by default); ftdi_sio sets that timer to
// 1 ms on a port whose ASYNC_LOW_LATENCY flag is set, which anyone who may open the port may do.
//
// Here are the decisions only: what to change, what to put back, what to tell the user. Reading
// and writing the settings is ILatencyIo's (LatencyIo.h).
#include <optional>
#include <string>

namespace vellum {

enum class LatencyKind {
  kNone,        // a pty, or a line without these settings: nothing is changed or said
  kUart,        // has a receive trigger (rx_trig_bytes)
  kUsbAdapter,  // a USB serial adapter (usb-serial bus): ASYNC_LOW_LATENCY
};

// What a port offered when it was opened.
struct LatencyFacts {
  LatencyKind kind = LatencyKind::kNone;
  std::string name;                // the kernel's name of the line: ttyS1, ttyUSB0
  std::optional<int> rxTrigger;    // UART: bytes; nullopt when it cannot be read (no FIFO)
  std::optional<bool> lowLatency;  // USB adapter: ASYNC_LOW_LATENCY; nullopt: no TIOCGSERIAL
  bool hasLatencyTimer = false;    // USB adapter: its driver has a latency_timer (ftdi_sio)
};

// What Open() changes.
struct LatencyPlan {
  bool lowerTrigger = false;   // rx_trig_bytes to 1
  bool setLowLatency = false;  // ASYNC_LOW_LATENCY on
  bool Empty() const { return !lowerTrigger && !setLowLatency; }
};

LatencyPlan PlanLowLatency(const LatencyFacts& facts);

// What came of carrying the plan out.
struct LatencyOutcome {
  int triggerError = 0;           // errno of writing rx_trig_bytes; 0: written
  std::optional<int> triggerNow;  // rx_trig_bytes read back after the write
  int flagError = 0;              // errno of TIOCSSERIAL; 0: set
  std::optional<int> timerMs;     // latency_timer read while the port is held
};

// What Close() puts back: what was changed, to the value found at the open.
struct LatencyUndo {
  std::optional<int> rxTrigger;
  bool clearLowLatency = false;
  bool Empty() const { return !rxTrigger && !clearLowLatency; }
  friend bool operator==(const LatencyUndo&, const LatencyUndo&) = default;
};

// The undo for the plan as if every change succeeds: kept before anything is changed, so that a
// signal in between still puts things back. Putting back what did not change is harmless.
LatencyUndo IntendedUndo(const LatencyFacts& facts, const LatencyPlan& plan);
// The undo for what did change.
LatencyUndo UndoFor(const LatencyFacts& facts, const LatencyPlan& plan,
                    const LatencyOutcome& outcome);

// One or two lines for stderr about what the line's latency costs and what would mend it; ""
// when there is nothing to say. `port` names it ("COM2 (/dev/ttyS1)"); `udevRule` is where the
// optional udev rule that lets group dialout set the trigger is to be found.
std::string LatencyNotice(const std::string& port, const LatencyFacts& facts,
                          const LatencyPlan& plan, const LatencyOutcome& outcome,
                          const std::string& udevRule);

// The notice as lines for stderr: each after "vellum: " and ending in a newline; "" for "".
std::string NoticeLines(const std::string& notice);

// How long a packet's last byte may wait in a UART whose trigger is `bytes` while the tablet
// streams: the characters still to come before the interrupt, at 9600 baud 8O1. 0 for 1 byte.
double TriggerWaitMs(int bytes);

// The `--list-ports` words for a line's latency: its receive trigger (rxTrigger > 0, whether
// Vellum may change it) or its latency timer (latencyTimerMs >= 0), and what either means in
// milliseconds; "" when it has neither.
std::string DescribeLatency(int rxTrigger, bool rxTriggerWritable, int latencyTimerMs);

}  // namespace vellum
