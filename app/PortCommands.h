#pragma once
// `--list-ports`, `--ports auto` and the consoles: the serial devices present, as the command line
// uses them.
#include <ostream>

#include "app/CommandLine.h"
#include "tablet/SystemPorts.h"

namespace vellum {

// One line per serial device on `out`; opens none. Returns the exit status (0).
int RunListPorts(const ISystemPorts& system, std::ostream& out, std::ostream& err);

// Replaces options.ports by the automatic assignment (a --port keeps its COM port) and says on
// `err` what went where and which devices were passed over.
void ApplyAutoPorts(CommandLine& options, const ISystemPorts& system, std::ostream& err);

// Withholds the COM ports whose default device is a system console; warns on `err` of a console
// named with --port, which is probed all the same.
void KeepOffConsoles(CommandLine& options, const ISystemPorts& system, std::ostream& err);

}  // namespace vellum
