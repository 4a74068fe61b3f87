// The probe against any device behaviour: it must end, leave the port closed, and record only a
// tablet with an accepted range and a packet length of 7 or 5.
#include <cstdlib>

#include "fuzz/FuzzPort.h"
#include "tablet/Detection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vellum::fuzz::FuzzPort port(data, size);
  vellum::TabletInfo found;
  vellum::ProbePort(port, 1, found);
  if (port.IsOpen()) std::abort();
  if (found.port != 0) {
    const bool sane = found.port == 1 && (found.packetLength == 7 || found.packetLength == 5) &&
                      vellum::IsAcceptedXRange(found.maxX) && vellum::IsAcceptedYRange(found.maxY);
    if (!sane) std::abort();
  }
  return 0;
}
