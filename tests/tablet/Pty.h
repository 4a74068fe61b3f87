#pragma once
// A pseudo-terminal pair for tests: the test holds the master, the code under test opens the
// slave path like a serial device.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vellum::test {

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(master_, TCSANOW, &t);
    }
    path_ = ::ptsname(master_);
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  void Send(const std::vector<uint8_t>& bytes) {
    if (::write(master_, bytes.data(), bytes.size()) < 0) path_.clear();
  }
  // What the slave side wrote, waiting up to `timeoutMs` for `count` bytes.
  std::vector<uint8_t> Receive(size_t count, int timeoutMs = 1000) {
    std::vector<uint8_t> got;
    while (got.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
      uint8_t b[64];
      const ssize_t n = ::read(master_, b, std::min(sizeof b, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), b, b + n);
    }
    return got;
  }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace vellum::test
