#include "pen/PenSink.h"

#include "base/Tablet.h"

namespace vellum::pen {

PenSink::PenSink(const TabletGeometry& g, Tool start, IFrameDevice& pen, IFrameDevice* puck,
                 std::atomic<bool>& stop, const std::atomic<bool>* usePuck)
    : maker_(g),
      packetLength_(g.packetLength),
      stylus_(IsStylus(start) ? start : Tool::kThreeButtonStylus),
      startWithPuck_(!IsStylus(start)),
      pen_(pen),
      puck_(puck),
      stop_(stop),
      usePuck_(usePuck) {}

Tool PenSink::CurrentTool() const {
  if (HasPressure(packetLength_)) return Tool::kPressureStylus;
  const bool puck = usePuck_ ? usePuck_->load(std::memory_order_relaxed) : startWithPuck_;
  return puck && puck_ ? Tool::kCursor : stylus_;
}

void PenSink::OnTabletEvent(const TabletEvent& e) {
  Write(maker_.OnPacket({e.code, e.x, e.y, e.pressure}, CurrentTool(), e.timeUs));
}

void PenSink::OnQuiet(int64_t nowUs) {
  Write(maker_.OnQuiet(nowUs));
}

void PenSink::Finish() {
  Write(maker_.Leave());
}

void PenSink::Write(const Frames& frames) {
  for (const Frame& f : frames) {
    if (!failure_.empty()) return;  // a device that failed once gets nothing more
    IFrameDevice* device = f.device == Device::kPen ? &pen_ : puck_;
    if (!device) continue;
    if (!device->WriteFrame(f.events.data(), f.count)) {
      failure_ = std::string("writing to the ") +
                 (f.device == Device::kPen ? kPenDeviceName : kPuckDeviceName) + " failed";
      const std::string why = device->LastError();
      if (!why.empty()) failure_ += " (" + why + ")";
      stop_.store(true, std::memory_order_relaxed);
    }
  }
}

}  // namespace vellum::pen
