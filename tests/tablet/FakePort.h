#pragma once
// A scripted serial line with a virtual clock. Each port number gets a device (or none: the
// open fails); the device sees every byte written and answers by queueing input, available at
// once or after a delay on the virtual clock. A test may also send bytes itself while a reader
// runs on another thread: the port is thread-safe, and its poll descriptor is readable while
// input is waiting, so an idle reader waits on it as on a real line instead of spinning.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tablet/TabletLink.h"

namespace vellum::test {

class FakeLine {
 public:
  // Bytes that become readable `delayMs` from now on the virtual clock.
  void Send(const std::vector<uint8_t>& bytes, int64_t delayMs = 0);
  void Send(const std::string& text, int64_t delayMs = 0);
  int64_t now = 0;
  struct Pending {
    int64_t at;
    uint8_t byte;
  };
  std::deque<Pending> input;
};

class FakeDevice {
 public:
  virtual ~FakeDevice() = default;
  virtual void OnWrite(uint8_t b, FakeLine& line) = 0;
  virtual void OnOpen(FakeLine&) {}
  // A port that reports input it never delivers, or a read that fails: hooks for odd lines.
  virtual bool ReadFails() const { return false; }
};

class FakePort final : public IPort {
 public:
  FakePort();
  ~FakePort() override;
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;

  void Attach(int n, std::shared_ptr<FakeDevice> device) { devices_[n] = std::move(device); }
  // Ports whose device opens but refuses the line settings.
  void RefuseSettings(int n) { refused_[n] = true; }
  // Bytes from the device of the open port, readable at once (any thread).
  void Send(const std::vector<uint8_t>& bytes);

  OpenResult Open(int n) override;
  void Write(const uint8_t* bytes, size_t count) override;
  ReadResult ReadByte() override;
  uint32_t InputQueueCount() override;
  void Close() override;
  bool IsOpen() const override {
    std::lock_guard lock(mutex_);
    return open_ != 0;
  }
  void Pause(int ms) override;
  int64_t NowMs() const override;
  int PollFd() const override { return readable_; }

  // Everything written to port n, across all its opens.
  const std::vector<uint8_t>& Written(int n) { return written_[n]; }
  // Operation log: "open 1", "close 1", "pause 50", "w 13" (hex), "count 0".
  const std::vector<std::string>& Log() const { return log_; }
  int OpenCount(int n) { return opens_[n]; }
  int64_t now() const { return NowMs(); }

 private:
  // REQUIRES: mutex_ held. Makes the poll descriptor readable exactly while input is due.
  void UpdateReadable();

  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<FakeDevice>> devices_;
  std::map<int, bool> refused_;
  std::map<int, std::vector<uint8_t>> written_;
  std::map<int, int> opens_;
  std::vector<std::string> log_;
  FakeLine line_;
  int open_ = 0;
  int readable_ = -1;  // eventfd
  bool signalled_ = false;
};

// Builds packets in the wire layout: start byte 0x98 | code (or a given start byte).
std::vector<uint8_t> Packet7(int code, int x, int y, int pressure, uint8_t start = 0x98);
std::vector<uint8_t> Packet5(int code, int x, int y, uint8_t start = 0x98);

// A tablet that answers the probe; everything it does is data in its fields.
class ScriptedTablet : public FakeDevice {
 public:
  int packetLength = 7;
  int x = 5000, y = 3750;
  uint8_t startByte = 0x98;
  uint8_t byte6 = 0x04;
  // Answers to the successive "z~" (empty = silent); the last one repeats.
  std::vector<std::vector<uint8_t>> identAnswers;
  // Answers to the successive "a"; when empty, a range reply built from the fields above.
  std::vector<std::vector<uint8_t>> rangeAnswers;
  int identRequests = 0, rangeRequests = 0;

  void OnWrite(uint8_t b, FakeLine& line) override;
  std::vector<uint8_t> RangeReply() const;

 private:
  uint8_t last_ = 0;
};

std::vector<uint8_t> IdentifyBlock(const char* name = "TRELVO");

}  // namespace vellum::test
