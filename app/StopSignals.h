#pragma once
// How a headless command (the monitor, the pen tablet) is asked to stop. The first signal sets
// `stop` and wakes the reader, which ends as on any other way out. The same request often comes
// twice (a shell or `timeout` signals the process, then its group); one half a second or more
// after the first means the user has lost patience: the ports' latency settings are put back and
// the process ends at once with status 130.
#include <atomic>
#include <initializer_list>
#include <string>

#include "tablet/Reader.h"

namespace vellum {

void InstallStopSignals(std::atomic<bool>& stop, Waker& waker, std::initializer_list<int> signals);

// The first stop signal's name ("SIGTERM"); "" before any came.
std::string StopSignalName();

}  // namespace vellum
