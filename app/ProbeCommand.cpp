#include "app/ProbeCommand.h"

#include "tablet/Detection.h"
#include "tablet/PortDiagnosis.h"
#include "tablet/TabletSize.h"

namespace vellum {

namespace {

void TellEveryPort(const ProbeOutcomes& outcomes, const PortPaths& paths,
                   const ISystemPorts* system, std::ostream& err) {
  std::unique_ptr<ISystemPorts> own;
  if (!system) {
    std::string error;  // an unusable VELLUM_FAKE_SYSTEM: then there is nothing to say
    own = SystemPortsFromEnvironment(error);
    system = own.get();
  }
  if (!system) return;
  for (const std::string& line : DiagnosePorts(outcomes, paths, *system)) err << line << '\n';
}

}  // namespace

int RunProbeCommand(IPort& port, const PortPaths& paths, std::ostream& out, std::ostream& err,
                    TabletInfo* found, const ISystemPorts* system) {
  TabletInfo first;
  ProbeOutcomes outcomes;
  for (int n = 1; n <= kComPorts; ++n) {
    // A record per port so that every tablet is listed; start-up would use the first.
    TabletInfo here;
    ProbePort(port, n, here, &outcomes[size_t(n - 1)]);
    if (here.port == 0) continue;
    out << "COM" << n << ": " << here.packetLength << "-byte tablet, range " << here.maxX << " x "
        << here.maxY << ", " << FormatTabletSize(here.maxX, here.maxY, here.Resolution()) << ", "
        << here.Resolution() << "LPI\n";
    if (first.port == 0) first = here;
  }
  if (found) *found = first;
  if (first.port == 0) {
    out << ChooseNoTabletMessage(paths) << '\n';
    TellEveryPort(outcomes, paths, system, err);
    return 1;
  }
  TellEveryPort(outcomes, paths, system, err);
  const bool reopened = OpenTabletPort(port, first);
  if (reopened) err << NoticeLines(port.LatencyNotice());
  port.Close();
  if (!reopened) {
    err << "vellum: COM" << first.port << " (" << paths.Path(int(first.port))
        << ") could not be opened again\n";
    return 1;
  }
  return 0;
}

}  // namespace vellum
