#include "tools/probe/ProbeCommand.h"

#include "tablet/Detection.h"

namespace vellum {
namespace {

void WriteReason(SerialPort& port, std::ostream& out) {
  if (!port.LastError().empty()) out << " (" << port.LastError() << ")";
}

}  // namespace

int RunProbeCommand(SerialPort& port, std::ostream& out, std::ostream& err) {
  TabletInfo found;
  for (int n = 1; n <= 4; ++n) {
    // A record per port, so that every tablet is reported; the first one is the one used.
    TabletInfo here;
    ProbePort(port, n, here);
    out << "COM" << n << " (" << port.Paths().Path(n) << "): ";
    if (here.port == 0) {
      out << "no tablet";
      WriteReason(port, out);
    } else {
      out << here.packetLength << "-byte tablet, range " << here.maxX << " x " << here.maxY
          << " at " << here.Resolution() << " lines per inch";
      if (found.port != 0) out << ", not used: COM" << found.port << " answered first";
    }
    out << '\n';
    if (found.port == 0) found = here;
  }
  if (found.port == 0) {
    err << ChooseNoTabletMessage(port.Paths()) << '\n';
    return 1;
  }
  const bool reopened = OpenTabletPort(port, found);
  if (!reopened) {
    out << "COM" << found.port << " could not be opened again";
    WriteReason(port, out);
    out << '\n';
  } else {
    out << "Tablet found on COM" << found.port << ".\n";
  }
  port.Close();
  return reopened ? 0 : 1;
}

}  // namespace vellum
