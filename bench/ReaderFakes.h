#pragma once
// Stand-ins for benchmarks of the reader: bytes from memory instead of a port, and a view that
// does nothing, so that only the link's own work is timed.
#include <benchmark/benchmark.h>

#include <atomic>
#include <vector>

#include "tablet/Reader.h"

namespace vellum::bench {

// The read after the last byte fails, which ends the reader's loop.
class MemoryPort final : public IPort {
 public:
  explicit MemoryPort(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  void Rewind() { next_ = 0; }
  OpenResult Open(int) override { return OpenResult::kOk; }
  void Write(const uint8_t*, size_t) override {}
  ReadResult ReadByte() override {
    if (next_ == bytes_.size()) return {};
    return {true, 1, bytes_[next_++]};
  }
  uint32_t InputQueueCount() override { return uint32_t(bytes_.size() - next_); }
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Pause(int) override {}
  int64_t NowMs() const override { return 0; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t next_ = 0;
};

// With `stopAfter` above 0 it sets `stop` once that many packets have been handled.
class NullTarget : public IReaderTarget {
 public:
  uint32_t mode = 0;
  int stopAfter = 0;
  std::atomic<bool> stop{false};

  uint32_t Mode() const override { return mode; }
  void StoreButtons(int32_t c) override { benchmark::DoNotOptimize(c); }
  void StoreStatus(int32_t x, int32_t, int32_t) override { benchmark::DoNotOptimize(x); }
  void StorePenWidth(int32_t w) override { benchmark::DoNotOptimize(w); }
  int32_t ShownButtons() const override { return 0; }
  int32_t Transducer() const override { return 4; }
  ClientPoint ClientToScreen(ClientPoint p) const override { return p; }
  void MovePointer(ClientPoint p) override { benchmark::DoNotOptimize(p); }
  void DrawTraceSegment(ClientPoint p) override { benchmark::DoNotOptimize(p); }
  void ShowStylusButtons(int32_t) override {}
  void ShowTwoButtonStylusButtons(int32_t) override {}
  void ShowThreeButtonStylusButtons(int32_t) override {}
  void ShowCursorButtons(int32_t) override {}
  void ShowReadout(int32_t, int32_t, int32_t, int32_t) override {}
  void ClearSelectorLatch() override {}
  void PenSelectorStep(int32_t, ClientPoint) override {}
  void ShowShake(int32_t, int32_t) override {}
  void ShowKeystroke(int32_t) override {}
  void PacketHandled() override {
    if (stopAfter > 0 && --stopAfter == 0) stop.store(true, std::memory_order_relaxed);
  }
};

}  // namespace vellum::bench
