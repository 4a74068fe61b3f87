#pragma once
// `vellum --probe`: the start-up scan without a window, for checking a tablet from a shell.
#include <ostream>

#include "tablet/Detection.h"
#include "tablet/PortPaths.h"
#include "tablet/SystemPorts.h"
#include "tablet/TabletLink.h"

namespace vellum {

// Probes COM1..COM4 as start-up does, one line per tablet found (the first is the one the
// program would use), then opens that port a second time like start-up. With no tablet it
// writes the no-tablet message that start-up would show. Then one line per port on `err` says
// what happened there, from what the probe saw and look-ups in `system` (null: the machine
// SystemPortsFromEnvironment gives). Returns the exit status: 0 found and reopened, 1
// otherwise. `found`, when given, gets the tablet start-up would use (port 0: none).
int RunProbeCommand(IPort& port, const PortPaths& paths, std::ostream& out, std::ostream& err,
                    TabletInfo* found = nullptr, const ISystemPorts* system = nullptr);

}  // namespace vellum
