#include "app/PenCommand.h"

#include <signal.h>

#include <cstring>
#include <iostream>
#include <sstream>

#include "app/StopSignals.h"
#include "pen/FrameMaker.h"
#include "pen/UinputDevice.h"
#include "tablet/Detection.h"
#include "tablet/LostTablet.h"
#include "tablet/PortDiagnosis.h"
#include "tablet/SystemPorts.h"
#include "tablet/TabletSize.h"

namespace vellum {
namespace {

std::atomic<bool>* g_usePuck = nullptr;

extern "C" void OnPenToolSignal(int) {
  bool was = g_usePuck->load(std::memory_order_relaxed);
  while (!g_usePuck->compare_exchange_weak(was, !was, std::memory_order_relaxed)) {
  }
}

// Millimetres, rounded as libinput shows them.
int32_t Millimetres(int32_t units) {
  return (units + pen::kUnitsPerMm / 2) / pen::kUnitsPerMm;
}

void DiagnoseEveryPort(const ProbeOutcomes& outcomes, const PortPaths& paths, std::ostream& err) {
  std::string error;  // an unusable VELLUM_FAKE_SYSTEM: then there is nothing more to say
  const auto system = SystemPortsFromEnvironment(error);
  if (!system) return;
  for (const std::string& line : DiagnosePorts(outcomes, paths, *system)) err << line << '\n';
}

}  // namespace

std::unique_ptr<pen::IFrameDevice> MakeUinputDevice(const pen::DeviceLayout& layout,
                                                    std::string& why, std::string& node) {
  auto device = pen::UinputDevice::Create(layout, why);
  if (device) node = device->DevNode();
  return device;
}

int RunPenCommand(IPort& port, const PenSetup& setup, std::ostream& err, std::atomic<bool>& stop) {
  ProbeOutcomes outcomes;
  const TabletInfo info = ScanPorts(port, &outcomes);
  if (info.port == 0) {
    err << ChooseNoTabletMessage(setup.paths) << '\n';
    DiagnoseEveryPort(outcomes, setup.paths, err);
    return 1;
  }
  const std::string& path = setup.paths.Path(int(info.port));
  if (!OpenTabletPort(port, info)) {
    err << "vellum: COM" << info.port << " (" << path << ") could not be opened again\n";
    return 1;
  }
  err << NoticeLines(port.LatencyNotice());

  const pen::TabletGeometry geometry{info.packetLength, info.maxX, info.maxY};
  const pen::DeviceLayout penLayout = pen::PenLayout(geometry);
  std::string why, penNode, puckNode;
  std::unique_ptr<pen::IFrameDevice> penDevice = setup.makeDevice(penLayout, why, penNode);
  std::unique_ptr<pen::IFrameDevice> puckDevice;
  if (penDevice && !HasPressure(info.packetLength)) {
    puckDevice = setup.makeDevice(pen::PuckLayout(geometry), why, puckNode);
  }
  if (!penDevice || (!HasPressure(info.packetLength) && !puckDevice)) {
    err << "vellum: no pen tablet: " << why << '\n';
    port.Close();
    return 1;
  }

  const pen::Tool start = pen::ToolFor(info.packetLength, setup.transducer);
  if (setup.transducerGiven && HasPressure(info.packetLength)) {
    err << "vellum: a 7-byte tablet has its pressure stylus only; --transducer is ignored\n";
  }
  const pen::Scale scale(geometry);
  // One write: standard error is unbuffered, and whoever reads it (a log, a script) should
  // never see half the line.
  std::ostringstream up;
  up << pen::kPenDeviceName << " on " << (penNode.empty() ? "?" : penNode);
  if (puckDevice)
    up << ", " << pen::kPuckDeviceName << " on " << (puckNode.empty() ? "?" : puckNode);
  up << ": " << info.packetLength << "-byte tablet on COM" << info.port << " (" << path << "), "
     << FormatTabletSize(info.maxX, info.maxY, info.Resolution()) << " ("
     << Millimetres(scale.MaxX()) << " x " << Millimetres(scale.MaxY()) << " mm), "
     << pen::ToolName(start) << " in hand\n";
  err << up.str() << std::flush;

  pen::PenSink sink(geometry, start, *penDevice, puckDevice.get(), stop, setup.usePuck);
  ReaderConfig config;
  config.width = info.maxX;  // the client area is unused: frames take the tablet's own counts
  config.height = info.maxY;
  config.maxX = info.maxX;
  config.maxY = info.maxY;
  config.packetLength = info.packetLength;
  config.quiet = &sink;
  RunReader(port, config, sink, stop, setup.waker);
  // Without a stop the reader ended by itself: a read failed.
  const bool lost = !stop.load(std::memory_order_relaxed);

  sink.Finish();  // the tool leaves proximity before anything else
  std::string ending;
  int status = 1;
  if (!sink.Failure().empty()) {
    ending = sink.Failure();
  } else if (lost) {
    ending = "the tablet was lost: " +
             LostTabletReason(port.ReadFailure(), port.LastError(), DeviceGone(path));
  } else {
    ending = setup.stopReason ? setup.stopReason() : "";
    if (ending.empty()) ending = "stopped";
    status = 0;
  }
  puckDevice.reset();
  penDevice.reset();
  port.Close();
  err << std::string(pen::kPenDeviceName) + " removed: " + ending + "\n" << std::flush;
  return status;
}

int RunPen(const CommandLine& options) {
  // Static: the signal handlers hold on to them until the process ends.
  static std::atomic<bool> stop{false};
  static Waker waker;
  static std::atomic<bool> usePuck{false};
  usePuck = options.transducer == Transducer::kFourButtonCursor;
  InstallPenSignals(stop, waker, usePuck);
  SerialPort port(options.ports);
  PenSetup setup;
  setup.paths = options.ports;
  setup.transducer = options.transducer;
  setup.transducerGiven = options.transducerGiven;
  setup.waker = &waker;
  setup.usePuck = &usePuck;
  setup.stopReason = [] {
    const std::string name = PenStopSignalName();
    return name.empty() ? name : "stopped by " + name;
  };
  return RunPenCommand(port, setup, std::cerr, stop);
}

void InstallPenSignals(std::atomic<bool>& stop, Waker& waker, std::atomic<bool>& usePuck) {
  InstallStopSignals(stop, waker, {SIGINT, SIGTERM, SIGHUP});
  g_usePuck = &usePuck;
  struct sigaction action {};
  action.sa_handler = OnPenToolSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR1, &action, nullptr);
}

std::string PenStopSignalName() {
  return StopSignalName();
}

}  // namespace vellum
