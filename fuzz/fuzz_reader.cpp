// The reader loop on any byte stream. The first two bytes choose the packet length and the mode;
// every value handed to the view must be within what the wire format can carry.
#include <atomic>
#include <cstdlib>

#include "fuzz/FuzzPort.h"
#include "tablet/Reader.h"

namespace {

using vellum::ClientPoint;

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Code(int32_t c) {
  return c >= 0 && c <= 7;
}
bool Count(int32_t v) {
  return v >= 0 && v <= 16383;
}

class CheckingTarget : public vellum::IReaderTarget {
 public:
  uint32_t mode = 0;
  int32_t packetLength = 7;
  uint32_t Mode() const override { return mode; }
  void StoreButtons(int32_t c) override { Check(Code(c)); }
  void StoreStatus(int32_t x, int32_t y, int32_t p) override {
    Check(Count(x) && Count(y) && p >= 0 && p <= 511);
  }
  void StorePenWidth(int32_t w) override { Check(packetLength == 7 && w >= 0 && w <= 50); }
  int32_t ShownButtons() const override { return 0; }
  int32_t Transducer() const override { return int32_t(mode % 5); }
  ClientPoint ClientToScreen(ClientPoint p) const override { return p; }
  void MovePointer(ClientPoint) override { Check(mode <= 3); }
  void DrawTraceSegment(ClientPoint) override { Check(mode <= 2); }
  void ShowStylusButtons(int32_t c) override { Check(packetLength == 7 && c <= 5 && Code(c)); }
  void ShowTwoButtonStylusButtons(int32_t c) override { Check(packetLength == 5 && Code(c)); }
  void ShowThreeButtonStylusButtons(int32_t c) override { Check(packetLength == 5 && Code(c)); }
  void ShowCursorButtons(int32_t c) override { Check(packetLength == 5 && Code(c)); }
  void ShowReadout(int32_t b, int32_t x, int32_t y, int32_t p) override {
    Check(Code(b) && Count(x) && Count(y) && p >= 0 && p <= (packetLength == 7 ? 511 : 0));
  }
  void ClearSelectorLatch() override { Check(packetLength == 5); }
  void PenSelectorStep(int32_t c, ClientPoint) override { Check(packetLength == 5 && c > 0); }
  void ShowShake(int32_t x, int32_t y) override { Check(mode == 3 && Count(x) && Count(y)); }
  void ShowKeystroke(int32_t c) override { Check(mode == 4 && Code(c)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  CheckingTarget target;
  target.packetLength = data[0] & 1 ? 7 : 5;
  target.mode = data[1] % 6;  // 5: a mode the view never has, which must do nothing
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, target.packetLength};
  vellum::fuzz::FuzzPort port(data + 2, size - 2);
  port.Open(1);
  const std::atomic<bool> stop{false};
  vellum::RunReader(port, config, target, stop, nullptr);
  return 0;
}
