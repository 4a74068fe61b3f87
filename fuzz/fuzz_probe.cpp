// The probe against any device behaviour: it must end within its time bounds on the port's
// virtual clock, never touch the port once it has closed it, leave it closed, and record only a
// tablet with an accepted range and a packet length of 7 or 5.
#include <cstdlib>

#include "fuzz/FuzzPort.h"
#include "tablet/Detection.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Each phase stops at its limit, but may finish the turn it is in: one read, one discard of
// the pending input and one request pause. Every read that takes input costs one byte time,
// so the discards together cost at most the input's length.
constexpr int64_t kRequestPauseMs = 50;
int64_t LongestProbeMs(size_t inputSize) {
  return vellum::kIdentifyPhaseLimitMs + vellum::kRangePhaseLimitMs + 4 * kRequestPauseMs +
         int64_t(inputSize) + 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vellum::test::MemoryPort port = vellum::fuzz::FuzzLine(data, size);
  vellum::TabletInfo found;
  vellum::ProbePort(port, 1, found);
  Check(!port.IsOpen());
  Check(!port.UsedWhileClosed());
  Check(port.NowMs() <= LongestProbeMs(size));
  if (found.port != 0) {
    Check(found.port == 1 && (found.packetLength == 7 || found.packetLength == 5) &&
          vellum::IsAcceptedXRange(found.maxX) && vellum::IsAcceptedYRange(found.maxY));
  }
  // A port that already holds a find keeps it: a second tablet changes nothing.
  vellum::test::MemoryPort again = vellum::fuzz::FuzzLine(data, size);
  vellum::TabletInfo first{3, 5, 2500, 2250};
  vellum::ProbePort(again, 1, first);
  Check(first.port == 3 && first.packetLength == 5 && first.maxX == 2500 && first.maxY == 2250);
  return 0;
}
