#include "app/ProbeCommand.h"

#include "tablet/Detection.h"
#include "tablet/TabletSize.h"

namespace vellum {

int RunProbeCommand(IPort& port, const PortPaths& paths, std::ostream& out, std::ostream& err,
                    TabletInfo* found) {
  TabletInfo first;
  for (int n = 1; n <= 4; ++n) {
    // A record per port so that every tablet is listed; start-up would use the first.
    TabletInfo here;
    ProbePort(port, n, here);
    if (here.port == 0) continue;
    out << "COM" << n << ": " << here.packetLength << "-byte tablet, range " << here.maxX << " x "
        << here.maxY << ", " << FormatTabletSize(here.maxX, here.maxY, here.Resolution()) << ", "
        << here.Resolution() << "LPI\n";
    if (first.port == 0) first = here;
  }
  if (found) *found = first;
  if (first.port == 0) {
    out << ChooseNoTabletMessage(paths) << '\n';
    return 1;
  }
  const bool reopened = OpenTabletPort(port, first);
  port.Close();
  if (!reopened) {
    err << "vellum: COM" << first.port << " (" << paths.Path(int(first.port))
        << ") could not be opened again\n";
    return 1;
  }
  return 0;
}

}  // namespace vellum
