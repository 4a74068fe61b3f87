#pragma once
// The emulated tablet on a pseudo-terminal, served by a thread of its own. The program under test
// opens Path() as if it were COMn. Used by vellum-tablet and, in-process, by the tests.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/emulator/Emulator.h"

namespace vellum::emu {

class PtyTablet {
 public:
  // Opens the pty (and links `linkPath` to it when given) and starts serving it. With
  // `writeLogPath` every byte the host writes is also logged there, one line each:
  // "<ms since start, 3 decimals> <byte in hex>". Throws std::runtime_error naming the failing
  // call.
  PtyTablet(const EmulatorConfig& config, Stream stream, std::string linkPath = {},
            const std::string& writeLogPath = {});
  // Stops serving and closes the pty: the other side sees a hang-up.
  ~PtyTablet();
  PtyTablet(const PtyTablet&) = delete;
  PtyTablet& operator=(const PtyTablet&) = delete;

  // The device to open: the link when one was asked for, else /dev/pts/N.
  const std::string& Path() const { return linkPath_.empty() ? ptsPath_ : linkPath_; }
  // True once the fault "hang up after N packets" has closed the line.
  bool HungUp() const { return hungUp_.load(); }
  uint64_t PacketsSent() const { return packetsSent_.load(); }
  // Every byte the host has written so far, in order.
  std::vector<uint8_t> Received() const;
  // Waits until what the host has written ends with `tail` (its writes reach this side a little
  // after they return), at most `timeoutMs`; returns everything received by then.
  std::vector<uint8_t> ReceivedEndingWith(const std::vector<uint8_t>& tail, int timeoutMs) const;

 private:
  void Serve();
  void CloseLine();
  int Unread() const;  // bytes sent that the host has not read yet

  TabletEmulator emulator_;
  int master_ = -1;
  int slave_ = -1;  // held open so the line settings survive the host's closes and reopens
  int stopFd_ = -1;
  std::string ptsPath_;
  std::string linkPath_;
  std::atomic<bool> hungUp_{false};
  std::atomic<uint64_t> packetsSent_{0};
  mutable std::mutex receivedMutex_;
  mutable std::condition_variable receivedChanged_;
  std::vector<uint8_t> received_;
  std::FILE* writeLog_ = nullptr;  // used by the serving thread only once it runs
  double startMs_ = 0;
  std::thread thread_;
};

}  // namespace vellum::emu
