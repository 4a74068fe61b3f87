#pragma once
// `--list-ports` and `--ports auto`: the serial devices present, as the command line uses them.
#include <ostream>

#include "app/CommandLine.h"
#include "tablet/SystemPorts.h"

namespace vellum {

// One line per serial device on `out`; opens none. Returns the exit status (0).
int RunListPorts(const ISystemPorts& system, std::ostream& out, std::ostream& err);

// Replaces options.ports by the automatic assignment (a --port keeps its COM port) and says on
// `err` what went where and which devices were passed over.
void ApplyAutoPorts(CommandLine& options, const ISystemPorts& system, std::ostream& err);

}  // namespace vellum
