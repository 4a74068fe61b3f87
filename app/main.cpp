#include <iostream>
#include <string>
#include <vector>

#include "app/CaptureCommands.h"
#include "app/CommandLine.h"
#include "app/GuiMain.h"
#include "app/PenCommand.h"
#include "app/PortCommands.h"
#include "app/ProbeCommand.h"
#include "tablet/LatencyIo.h"
#include "tablet/TabletLink.h"

int main(int argc, char** argv) {
  // Whatever a port's open changes for low latency is put back on every way out.
  vellum::UndoLatencyChangesOnExit();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const vellum::ParsedCommandLine parsed = vellum::ParseCommandLine(args);
  if (!parsed.error.empty()) {
    std::cerr << "vellum: " << parsed.error << '\n';
    return 2;
  }
  vellum::CommandLine options = parsed.options;
  if (options.help) {
    std::cout << vellum::Usage();
    return 0;
  }
  if (options.version) {
    std::cout << "vellum " VELLUM_VERSION "\n";
    return 0;
  }
  {
    std::string error;
    const auto system = vellum::SystemPortsFromEnvironment(error);
    if (!system) {
      std::cerr << "vellum: " << error << '\n';
      return 2;
    }
    if (options.listPorts) return vellum::RunListPorts(*system, std::cout, std::cerr);
    if (options.autoPorts) vellum::ApplyAutoPorts(options, *system, std::cerr);
    // Before anything opens a port: the probe's bytes must not go to the console.
    vellum::KeepOffConsoles(options, *system, std::cerr);
  }
  if (options.probe && !options.record.empty()) {
    return vellum::RunRecordedProbe(options, std::cout, std::cerr);
  }
  if (options.probe) {
    vellum::SerialPort port(options.ports);
    return vellum::RunProbeCommand(port, options.ports, std::cout, std::cerr);
  }
  if (options.monitor) return vellum::RunMonitor(options);
  if (options.pen) return vellum::RunPen(options);
  return vellum::RunGui(argc, argv, options);
}
