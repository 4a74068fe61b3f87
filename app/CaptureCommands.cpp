#include "app/CaptureCommands.h"

#include <atomic>
#include <iostream>

#include "app/MonitorCommand.h"
#include "app/ProbeCommand.h"
#include "capture/CaptureRecorder.h"
#include "capture/RecordingPort.h"

namespace vellum {

int RunRecordedProbe(const CommandLine& options, std::ostream& out, std::ostream& err) {
  CaptureRecorder recorder;
  const std::string error = recorder.Open(options.record);
  if (!error.empty()) {
    err << "vellum: cannot record: " << error << '\n';
    return 1;
  }
  SerialPort serial(options.ports);
  RecordingPort port(serial, recorder);
  TabletInfo found;
  const int status = RunProbeCommand(port, options.ports, out, err, &found);
  // The header is the scan's result, so it is known only now; the dialogue waited in memory.
  recorder.SetHeader(
      CaptureHeaderFor(found, found.port != 0 ? options.ports.Path(int(found.port)) : ""));
  recorder.Close();
  if (!recorder.Error().empty()) {
    err << "vellum: recording " << options.record << " failed: " << recorder.Error() << '\n';
    return 1;
  }
  return status;
}

int RunMonitor(const CommandLine& options) {
  // Static: the signal handlers hold on to them until the process ends.
  static std::atomic<bool> stop{false};
  static Waker waker;
  InstallMonitorStopSignals(stop, waker);
  SerialPort port(options.ports);
  MonitorSetup setup;
  setup.paths = options.ports;
  setup.recordPath = options.record;
  setup.waker = &waker;
  setup.stats = options.stats;
  return RunMonitorCommand(port, setup, std::cout, std::cerr, stop);
}

}  // namespace vellum
