#pragma once
// The test window: `vellum` without --probe.
#include "app/CommandLine.h"

namespace vellum {

// Runs the GUI until its window closes; returns the exit status. With no display it says so on
// one line and returns 1; with no tablet the view ends the process with status 0.
int RunGui(int argc, char** argv, const CommandLine& options);

}  // namespace vellum
