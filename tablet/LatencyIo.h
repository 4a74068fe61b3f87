#pragma once
// Reading and writing a line's latency settings (LowLatency.h says which and why), and the
// bookkeeping that puts every change back however the process ends, as long as it gets to run
// code: a port's Close(), exit(), SIGINT, SIGTERM or SIGHUP.
#include <memory>
#include <optional>
#include <string>

#include "tablet/LowLatency.h"

namespace vellum {

// Where a line's settings live. Fixed-size: the undo after a signal may not allocate.
struct LatencyPlace {
  char sysfsDir[224] = {};  // the line's folder in sysfs; "" when it has none
  int fd = -1;              // the open line, for TIOCGSERIAL and TIOCSSERIAL
};

class ILatencyIo {
 public:
  virtual ~ILatencyIo() = default;
  // What the line open on `fd` offers, and where its settings are; kind kNone for a pty.
  virtual LatencyFacts Look(int fd, LatencyPlace& place) = 0;
  // The next four return 0 or the errno. They run from a signal handler too, in the real
  // implementation without allocating or locking.
  virtual int WriteRxTrigger(const LatencyPlace& place, int bytes) = 0;
  virtual std::optional<int> ReadRxTrigger(const LatencyPlace& place) = 0;
  // ASYNC_LOW_LATENCY on or off, every other setting of the line as it is.
  virtual int SetLowLatency(const LatencyPlace& place, bool on) = 0;
  virtual std::optional<int> ReadLatencyTimer(const LatencyPlace& place) = 0;
};

// sysfs under `sysfsRoot` ("/sys") and the line's ioctls.
std::shared_ptr<ILatencyIo> MakeSysfsLatencyIo(std::string sysfsRoot = "/sys");
// The real one, or with VELLUM_FAKE_SYSFS=DIR the same over DIR as the sysfs root (a test hook:
// tests lay out DIR/dev/char/MAJOR:MINOR for a pty).
std::shared_ptr<ILatencyIo> LatencyIoFromEnvironment();

// Where the optional udev rule that lets group dialout set a UART's trigger is: beside the
// installed program's documentation, else in the source tree this program was built from.
std::string UdevRulePath();

// The low-latency state of one open line. Threading: Lower() and Restore() on one thread at a
// time; Restore() may run while another thread reads the line.
class PortLatency {
 public:
  explicit PortLatency(std::shared_ptr<ILatencyIo> io);
  ~PortLatency();  // Restore()
  PortLatency(const PortLatency&) = delete;
  PortLatency& operator=(const PortLatency&) = delete;

  // Just after `fd` was opened as `port` ("COM2 (/dev/ttyS1)"): lowers what can be lowered.
  void Lower(int fd, const std::string& port);
  // Puts back what Lower() changed; before the descriptor closes. Idempotent.
  void Restore();
  // What the last Lower() found worth telling the user (LatencyNotice); "" when nothing.
  const std::string& Notice() const { return notice_; }
  // What is changed now and will be put back (tests).
  const LatencyUndo& Pending() const { return undo_; }

 private:
  std::shared_ptr<ILatencyIo> io_;
  LatencyPlace place_;
  LatencyUndo undo_;
  int slot_ = -1;  // in the process's table of changes (LatencyIo.cpp)
  std::string notice_;
};

// Puts back every change in force now. Async-signal-safe; for exit paths that skip destructors
// (_exit) and for the signal handlers below.
void UndoLatencyChangesNow();
// From now on SIGINT, SIGTERM and SIGHUP (where their action is the default) put every change
// back before they end the process as they would have; exit() puts them back too. A handler
// installed later for one of them takes over that signal. Call once, early in main().
void UndoLatencyChangesOnExit();

}  // namespace vellum
