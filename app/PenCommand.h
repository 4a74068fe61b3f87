#pragma once
// `vellum --pen`: detection as at start-up, then the tablet as an evdev pen tablet (and, on
// 5-byte tablets, a puck pointer) for every program of the desktop, until stopped or the tablet
// is lost. No window. One line on stderr when the device is up, one when it ends.

#include <atomic>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "app/CommandLine.h"
#include "base/Tablet.h"
#include "pen/Layout.h"
#include "pen/PenSink.h"
#include "tablet/Reader.h"
#include "tablet/TabletLink.h"

namespace vellum {

// Makes one device; nullptr and `why` when it cannot. `node` gets its event node ("" unknown).
using PenDeviceMaker = std::function<std::unique_ptr<pen::IFrameDevice>(
    const pen::DeviceLayout& layout, std::string& why, std::string& node)>;

// The kernel's uinput devices.
std::unique_ptr<pen::IFrameDevice> MakeUinputDevice(const pen::DeviceLayout& layout,
                                                    std::string& why, std::string& node);

struct PenSetup {
  PortPaths paths;  // what COM1..COM4 stand for (messages)
  // 5-byte tablets: the transducer in hand at the start (7-byte tablets have their stylus).
  Transducer transducer = Transducer::kThreeButtonStylus;
  bool transducerGiven = false;  // said on a 7-byte tablet, which ignores it
  const Waker* waker = nullptr;  // fired with `stop`; ends the reader's idle wait at once
  PenDeviceMaker makeDevice = MakeUinputDevice;
  // 5-byte tablets: true while the cursor is in hand (SIGUSR1 flips it), starting as
  // `transducer` says; null keeps the transducer of the start.
  const std::atomic<bool>* usePuck = nullptr;
  // Why `stop` was set, for the last line ("stopped by SIGTERM"); "" says only "stopped".
  std::function<std::string()> stopReason;
};

// Runs the pen tablet on `port`; every message goes to `err`. Returns when `stop` is set (0), or
// when no tablet is found, a device cannot be made or written, or the line hangs up (1). The
// tool leaves proximity before the devices are destroyed, whatever ended the run.
int RunPenCommand(IPort& port, const PenSetup& setup, std::ostream& err, std::atomic<bool>& stop);

// `vellum --pen` as the command line gives it: the serial ports, the signals, standard error.
int RunPen(const CommandLine& options);

// SIGINT, SIGTERM and SIGHUP set `stop` and fire `waker`; a second one half a second or more
// after the first ends the process at once (status 130), the kernel removing the devices.
// SIGUSR1 flips `usePuck`. All must outlive the process's handling of those signals.
void InstallPenSignals(std::atomic<bool>& stop, Waker& waker, std::atomic<bool>& usePuck);
// The name of the signal that set `stop` ("SIGTERM"); "" when none did.
std::string PenStopSignalName();

}  // namespace vellum
