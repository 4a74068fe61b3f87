#pragma once
// The capture options as main runs them: `--probe --record FILE` and `--monitor [--record FILE]`.
#include <ostream>

#include "app/CommandLine.h"

namespace vellum {

// `--probe` with its dialogue recorded in options.record. Exit status as RunProbeCommand's, or 1
// when the file cannot be written.
int RunRecordedProbe(const CommandLine& options, std::ostream& out, std::ostream& err);

// `--monitor` on the real ports, stopped by SIGINT or SIGTERM.
int RunMonitor(const CommandLine& options);

}  // namespace vellum
