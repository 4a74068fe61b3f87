// The reader loop on any byte stream. Byte 0 chooses the packet length; byte 1 is skipped (it
// chose the screen when the reader still knew of screens, and the saved inputs keep their
// meaning). Every event handed on must be within what the wire format can carry, its client
// point within the scaled range, and the events must come in the order of the line's clock.
#include <atomic>
#include <cstdlib>

#include "fuzz/FuzzPort.h"
#include "tablet/Reader.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Count(int32_t v) {
  return v >= 0 && v <= 16383;
}

class CheckingSink : public vellum::ITabletSink {
 public:
  int32_t packetLength = 7;
  void OnTabletEvent(const vellum::TabletEvent& e) override {
    Check(e.code >= 0 && e.code <= 7 && Count(e.x) && Count(e.y));
    Check(e.pressure >= 0 && e.pressure <= (packetLength == 7 ? 511 : 0));
    // 1024 x 768 for a 5000 x 3750 tablet: counts up to 16383 reach 3355 across and -2587 up.
    Check(e.client.x >= 0 && e.client.x <= 3355 && e.client.y >= -2587 && e.client.y <= 768);
    Check(e.timeUs >= lastUs_);
    lastUs_ = e.timeUs;
  }

 private:
  int64_t lastUs_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  CheckingSink sink;
  sink.packetLength = data[0] & 1 ? 7 : 5;
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, sink.packetLength};
  vellum::test::MemoryPort port = vellum::fuzz::FuzzLine(data + 2, size - 2);
  const std::atomic<bool> stop{false};
  vellum::RunReader(port, config, sink, stop, nullptr);
  return 0;
}
