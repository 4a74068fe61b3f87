#pragma once
// Why a port gave no tablet, in the user's words: from what its probe saw (the stage it stopped
// in, the failing call and errno, the line discipline) and from look-ups that open nothing.
#include <string>
#include <vector>

#include "tablet/PortPaths.h"
#include "tablet/ProbeOutcome.h"
#include "tablet/SystemPorts.h"

namespace vellum {

// "7-byte tablet", "no such device", "held by ModemManager (PID 812)", ...
std::string DiagnoseProbe(const ProbeOutcome& outcome, const std::string& path,
                          const ISystemPorts& system);

// One line per COM port: "COM1 /dev/ttyS0: no answer to the identification request".
std::vector<std::string> DiagnosePorts(const ProbeOutcomes& outcomes, const PortPaths& paths,
                                       const ISystemPorts& system);

}  // namespace vellum
