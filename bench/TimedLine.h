#pragma once
// The emulator's engine on a pty of the benchmark's own, so that the moment each packet's last
// byte leaves is known here: the start of every latency figure the user would see.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tablet/TabletLink.h"
#include "tools/emulator/Emulator.h"
#include "tools/emulator/Stream.h"

namespace vellum::bench {

inline double MonotonicUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

class TimedLine {
 public:
  // Called on the line's thread for every streamed packet, with the time its last byte was
  // handed to the pty.
  using OnPacket = std::function<void(const TabletPacket& packet, double writtenUs)>;

  TimedLine(emu::Stream stream, OnPacket onPacket, double rateMultiplier = 1.0)
      : onPacket_(std::move(onPacket)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
      throw std::runtime_error("posix_openpt failed");
    }
    path_ = ::ptsname(master_);
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // keeps the line up
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    emu::EmulatorConfig config;
    config.loop = false;
    config.rateMultiplier = rateMultiplier;
    engine_ =
        std::make_unique<emu::TabletEmulator>(config, std::move(stream), MonotonicUs() / 1000.0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TimedLine() {
    stop_ = true;
    thread_.join();
    ::close(slave_);
    ::close(master_);
  }
  TimedLine(const TimedLine&) = delete;
  TimedLine& operator=(const TimedLine&) = delete;

  const std::string& Path() const { return path_; }
  int Sent() const { return sent_.load(); }

 private:
  void Serve() {
    PacketAssembler assembler(7);
    std::vector<uint8_t> out;
    while (!stop_) {
      const double wait = std::clamp(engine_->NextDueMs() - MonotonicUs() / 1000.0, 0.0, 2.0);
      pollfd p{master_, POLLIN, 0};
      const timespec ts{0, long(wait * 1e6)};
      if (::ppoll(&p, 1, &ts, nullptr) > 0 && (p.revents & POLLIN)) {
        uint8_t in[64];
        const ssize_t n = ::read(master_, in, sizeof in);
        for (ssize_t i = 0; i < n; ++i) engine_->Receive(in[i], MonotonicUs() / 1000.0);
      }
      out.clear();
      engine_->Transmit(MonotonicUs() / 1000.0, out);
      const bool streaming = engine_->Streaming();
      for (uint8_t b : out) {  // one write a byte, as a UART hands them over
        // Stamped just before the write: once it starts the reader may have the byte before
        // this thread runs again.
        const double at = MonotonicUs();
        if (::write(master_, &b, 1) != 1) return;
        if (!streaming || assembler.Push(b) != PacketAssembler::Step::kComplete) continue;
        onPacket_(assembler.Packet(), at);
        sent_.fetch_add(1);
      }
    }
  }

  OnPacket onPacket_;
  int master_ = -1, slave_ = -1;
  std::string path_;
  std::unique_ptr<emu::TabletEmulator> engine_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
};

// When each numbered packet's last byte left, noted on the line's thread; -1 for one not sent.
class WrittenTimes {
 public:
  explicit WrittenTimes(int packets) : us_(size_t(packets), -1.0) {}
  void Note(int id, double atUs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id >= 0 && size_t(id) < us_.size()) us_[size_t(id)] = atUs;
  }
  double Us(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return id >= 0 && size_t(id) < us_.size() ? us_[size_t(id)] : -1;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<double> us_;
};

}  // namespace vellum::bench
