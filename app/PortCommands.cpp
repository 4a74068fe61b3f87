#include "app/PortCommands.h"

#include "tablet/PortDiscovery.h"

namespace vellum {

int RunListPorts(const ISystemPorts& system, std::ostream& out, std::ostream& err) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts(system);
  if (ports.empty()) err << "vellum: no serial devices found\n";
  for (const SerialPortInfo& p : ports) out << DescribePort(p) << '\n';
  return 0;
}

void KeepOffConsoles(CommandLine& options, const ISystemPorts& system, std::ostream& err) {
  for (const std::string& line : KeepOffConsoles(options.ports, options.portGiven, system)) {
    err << "vellum: " << line << '\n';
  }
}

void ApplyAutoPorts(CommandLine& options, const ISystemPorts& system, std::ostream& err) {
  const AutoPorts chosen =
      AssignPortsAutomatically(ListSerialPorts(system), options.ports, options.portGiven);
  for (const std::string& line : chosen.lines) err << "vellum: " << line << '\n';
  options.ports = chosen.paths;
}

}  // namespace vellum
