#pragma once
// A line for benchmarks that read from memory.
#include <cstdint>
#include <vector>

#include "tablet/TabletLink.h"

namespace vellum::bench {

// Bytes from memory and nothing else. The tests' line keeps a virtual clock and counts every
// read; here that bookkeeping would be timed as the reader's own work. The read after the last
// byte fails, which ends the reader's loop.
class MemoryPort final : public IPort {
 public:
  void Add(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
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
  std::vector<uint8_t> bytes_;
  size_t next_ = 0;
};

}  // namespace vellum::bench
