#pragma once
// `vellum --probe`: the start-up scan without a window, to check a tablet from a shell.

#include <ostream>

#include "tablet/TabletLink.h"

namespace vellum {

// Probes COM1..COM4 as start-up does and reopens the port found, writing one line per port and
// the verdict to `out` and the no-tablet message to `err`. Returns the exit status: 0 when a
// tablet was found and its port opened again, 1 otherwise.
int RunProbeCommand(SerialPort& port, std::ostream& out, std::ostream& err);

}  // namespace vellum
