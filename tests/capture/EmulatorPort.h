#pragma once
// The emulator's engine behind an IPort on a virtual clock: detection and the reader run against
// it without a pty and without sleeping. The line drops (reads fail) at `hangUpAtMs`.
#include <deque>
#include <vector>

#include "tablet/TabletLink.h"
#include "tools/emulator/Emulator.h"

namespace vellum::test {

class EmulatorPort final : public IPort {
 public:
  EmulatorPort(const emu::EmulatorConfig& config, emu::Stream stream, int portNumber,
               double hangUpAtMs)
      : tablet_(config, std::move(stream)), portNumber_(portNumber), hangUpAtMs_(hangUpAtMs) {}

  OpenResult Open(int n) override {
    if (n != portNumber_) return OpenResult::kOpenFailed;
    open_ = true;
    return OpenResult::kOk;
  }
  void Write(const uint8_t* bytes, size_t count) override {
    for (size_t i = 0; i < count; ++i) tablet_.Receive(bytes[i], nowMs);
  }
  ReadResult ReadByte() override {
    if (!open_ || nowMs >= hangUpAtMs_) return {};
    Pump();
    if (queue_.empty()) return {true, 0, 0};
    const uint8_t b = queue_.front();
    queue_.pop_front();
    return {true, 1, b};
  }
  uint32_t InputQueueCount() override {
    Pump();
    return uint32_t(queue_.size());
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Pause(int ms) override { nowMs += ms; }
  int64_t NowMs() const override { return int64_t(nowMs); }

  // The clock the recorder and the printer read, in microseconds.
  int64_t Micros() const { return int64_t(nowMs * 1000.0); }

  double nowMs = 0;

 private:
  void Pump() {
    std::vector<uint8_t> out;
    tablet_.Transmit(nowMs, out);
    queue_.insert(queue_.end(), out.begin(), out.end());
  }

  emu::TabletEmulator tablet_;
  int portNumber_;
  double hangUpAtMs_;
  bool open_ = false;
  std::deque<uint8_t> queue_;
};

}  // namespace vellum::test
