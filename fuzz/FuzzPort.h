#pragma once
// A port whose device is the fuzz input. Each read takes one control byte: 0xF0..0xFF is an empty
// read, 0xEF a failed read, anything else announces that the next byte arrives. The end of the
// input is a failed read, so every loop driven by it ends. Time moves one byte time per read and
// by every pause, as on a line. Any use of the port while it is closed is remembered.
#include <cstddef>
#include <cstdint>

#include "tablet/TabletLink.h"

namespace vellum::fuzz {

class FuzzPort final : public IPort {
 public:
  FuzzPort(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  OpenResult Open(int) override {
    open_ = true;
    return OpenResult::kOk;
  }
  void Write(const uint8_t*, size_t) override {
    if (!open_) usedWhileClosed_ = true;
  }
  ReadResult ReadByte() override {
    ++now_;
    if (!open_) usedWhileClosed_ = true;
    if (!open_ || next_ >= size_) return {};
    const uint8_t control = data_[next_++];
    if (control >= 0xF0) return {true, 0, 0};
    if (control == 0xEF || next_ >= size_) return {};
    return {true, 1, data_[next_++]};
  }
  // Whatever is left is "waiting": an upper bound, as a real queue may hold less than arrives.
  uint32_t InputQueueCount() override {
    if (!open_ || next_ >= size_) return 0;
    return uint32_t((size_ - next_ + 1) / 2);
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Pause(int ms) override { now_ += ms; }
  int64_t NowMs() const override { return now_; }

  bool UsedWhileClosed() const { return usedWhileClosed_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;
  bool open_ = false;
  int64_t now_ = 0;
  bool usedWhileClosed_ = false;
};

}  // namespace vellum::fuzz
