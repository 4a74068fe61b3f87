#pragma once
// A serial line held in memory as the reads it gives, shared by the tests, the benchmarks and
// the fuzz targets. Each read hands out the next entry: a byte, an empty read or a failed one;
// once the entries run out every read fails, so a loop over the port always ends. The clock is
// virtual (a read takes a millisecond, a pause its length) and nothing sleeps. The port starts
// open, opens always succeed and writes go nowhere; a read or write while closed is remembered.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "tablet/TabletLink.h"

namespace vellum::test {

class MemoryPort final : public IPort {
 public:
  static constexpr int kEmpty = -1;  // an empty read: nothing has arrived
  static constexpr int kFail = -2;   // a failed read: the line hung up
  // Entries below kFail are marks: a read that reaches one hands it to `onMark` and goes on, so
  // a test can act between two bytes (a key pressed while the reader runs).
  std::function<void(int mark)> onMark;

  MemoryPort() = default;
  explicit MemoryPort(std::vector<int> reads) : reads_(std::move(reads)) {}
  void Add(int read) { reads_.push_back(read); }
  void Add(const std::vector<uint8_t>& bytes) {
    reads_.insert(reads_.end(), bytes.begin(), bytes.end());
  }
  void Rewind() { next_ = 0; }

  OpenResult Open(int) override {
    open_ = true;
    return OpenResult::kOk;
  }
  void Write(const uint8_t*, size_t) override { usedWhileClosed_ |= !open_; }
  ReadResult ReadByte() override {
    ++now_;
    ++readCount_;
    if (!open_) {
      usedWhileClosed_ = true;
      return {};
    }
    while (next_ < reads_.size()) {
      const int r = reads_[next_++];
      if (r >= 0) return {true, 1, uint8_t(r)};
      if (r == kEmpty) return {true, 0, 0};
      if (r == kFail) return {};
      if (onMark) onMark(r);
    }
    return {};
  }
  // The bytes before the next empty or failed read: what has arrived.
  uint32_t InputQueueCount() override {
    uint32_t n = 0;
    for (size_t i = next_; open_ && i < reads_.size() && reads_[i] != kEmpty && reads_[i] != kFail;
         ++i) {
      n += reads_[i] >= 0;
    }
    return n;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Pause(int ms) override {
    now_ += ms;
    pauses_.push_back(ms);
  }
  int64_t NowMs() const override { return now_; }

  int Reads() const { return readCount_; }
  const std::vector<int>& Pauses() const { return pauses_; }
  bool UsedWhileClosed() const { return usedWhileClosed_; }

 private:
  std::vector<int> reads_;
  size_t next_ = 0;
  bool open_ = true;
  bool usedWhileClosed_ = false;
  int64_t now_ = 0;
  int readCount_ = 0;
  std::vector<int> pauses_;
};

}  // namespace vellum::test
