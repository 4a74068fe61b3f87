#pragma once
// `vellum --monitor`: detection as at start-up, then one line per decoded packet on standard
// output until interrupted or the line hangs up. No window; for ssh sessions and scripts.

#include <atomic>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "capture/CaptureRecorder.h"
#include "tablet/Reader.h"
#include "tablet/TabletLink.h"

namespace vellum {

// Prints "<time_us> <code> <x> <y> <pressure>" per packet, the time being that of the packet's
// last byte, in microseconds since the first byte read: the same times a recording of the same
// run gets. As the reader's tap it stamps each byte and passes it on to the recorder, if any.
class PacketPrinter final : public ITabletSink, public IByteTap {
 public:
  using Clock = std::function<int64_t()>;  // monotonic microseconds
  // `stopOnOutputError`, when given, is set once `out` fails (a closed pipe: `| head`).
  PacketPrinter(std::ostream& out, CaptureRecorder* recorder, Clock clock = SteadyClockMicros,
                std::atomic<bool>* stopOnOutputError = nullptr);

  uint64_t Packets() const { return packets_; }

  void OnBytes(const uint8_t* bytes, size_t count) override;
  void OnTabletEvent(const TabletEvent& event) override;

 private:
  std::ostream& out_;
  CaptureRecorder* recorder_;
  Clock clock_;
  std::atomic<bool>* stopOnOutputError_;
  bool started_ = false;
  int64_t startUs_ = 0;
  int64_t lastUs_ = 0;  // time of the last byte, since the first
  uint64_t packets_ = 0;
};

struct MonitorSetup {
  PortPaths paths;               // what COM1..COM4 stand for (messages and the recording's header)
  std::string recordPath;        // non-empty: record the reader's bytes there
  const Waker* waker = nullptr;  // fired with `stop`; ends the reader's idle wait at once
  PacketPrinter::Clock clock = SteadyClockMicros;  // for the printed and the recorded times
  bool stats = false;  // the line's figures on `err` once a second (the summary comes always)
};

// Runs the monitor on `port`. Detection reports go to `err`, packet lines to `out`; once the
// reader has ended, one summary line of the line's figures goes to `err`. Returns when `stop` is
// set, `out` fails or a read fails (the tablet is lost: one line on `err` says why): 0 for the
// first two, 1 for a lost tablet, no tablet found or a failed recording.
int RunMonitorCommand(IPort& port, const MonitorSetup& setup, std::ostream& out, std::ostream& err,
                      std::atomic<bool>& stop);

// SIGINT and SIGTERM set `stop` and fire `waker` (both must outlive the process's handling of
// those signals). A further signal of either kind, from kRepeatedStopSignalNs after the first on,
// ends the process at once with status 130; one sooner is the same request delivered twice.
inline constexpr int64_t kRepeatedStopSignalNs = 500'000'000;
void InstallMonitorStopSignals(std::atomic<bool>& stop, Waker& waker);

}  // namespace vellum
