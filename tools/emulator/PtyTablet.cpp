#include "tools/emulator/PtyTablet.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vellum::emu {
namespace {

[[noreturn]] void Fail(const std::string& call) {
  throw std::runtime_error(call + ": " + std::strerror(errno));
}

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Longest poll: bounds how late a stop or a due byte can be noticed.
constexpr int kMaxWaitMs = 20;
// Before a hang-up, up to a second (10 ms polls) for the host to read what was sent.
constexpr int kDrainPolls = 100;

}  // namespace

PtyTablet::PtyTablet(const EmulatorConfig& config, Stream stream, std::string linkPath,
                     const std::string& writeLogPath)
    : emulator_(config, std::move(stream), NowMs()),
      linkPath_(std::move(linkPath)),
      startMs_(NowMs()) {
  try {
    if (!writeLogPath.empty()) {
      writeLog_ = std::fopen(writeLogPath.c_str(), "we");
      if (!writeLog_) Fail("fopen " + writeLogPath);
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) Fail("posix_openpt");
    if (::grantpt(master_) != 0) Fail("grantpt");
    if (::unlockpt(master_) != 0) Fail("unlockpt");
    char name[64];
    if (::ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname_r");
    ptsPath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) Fail("open " + ptsPath_);
    // Raw from the start: an echoing slave would hand our own bytes back to us as commands.
    termios t{};
    if (::tcgetattr(slave_, &t) != 0) Fail("tcgetattr");
    ::cfmakeraw(&t);
    if (::tcsetattr(slave_, TCSANOW, &t) != 0) Fail("tcsetattr");
    if (!linkPath_.empty()) {
      struct stat st {};
      // Replace a stale link of an earlier run, never a real file.
      if (::lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(linkPath_.c_str());
      if (::symlink(ptsPath_.c_str(), linkPath_.c_str()) != 0) Fail("symlink " + linkPath_);
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) Fail("eventfd");
  } catch (...) {
    CloseLine();
    if (stopFd_ >= 0) ::close(stopFd_);
    if (writeLog_) std::fclose(writeLog_);
    throw;
  }
  thread_ = std::thread([this] { Serve(); });
}

PtyTablet::~PtyTablet() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t r = ::write(stopFd_, &one, sizeof one);
  thread_.join();
  CloseLine();
  ::close(stopFd_);
  if (writeLog_) std::fclose(writeLog_);
  if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
}

void PtyTablet::CloseLine() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

int PtyTablet::Unread() const {
  int pending = 0;
  return ::ioctl(slave_, FIONREAD, &pending) == 0 ? pending : 0;
}

std::vector<uint8_t> PtyTablet::Received() const {
  std::lock_guard<std::mutex> lock(receivedMutex_);
  return received_;
}

std::vector<uint8_t> PtyTablet::ReceivedEndingWith(const std::vector<uint8_t>& tail,
                                                   int timeoutMs) const {
  std::unique_lock<std::mutex> lock(receivedMutex_);
  receivedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return received_.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), received_.end() - std::ptrdiff_t(tail.size()));
  });
  return received_;
}

void PtyTablet::Serve() {
  std::vector<uint8_t> out;
  for (;;) {
    const double wait = std::ceil(emulator_.NextDueMs() - NowMs());
    const int timeout = wait < 0 ? 0 : wait > kMaxWaitMs ? kMaxWaitMs : int(wait);
    pollfd fds[2] = {{master_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) return;
    if (fds[0].revents & POLLIN) {
      uint8_t in[256];
      const ssize_t n = ::read(master_, in, sizeof in);
      if (n > 0) {
        {
          std::lock_guard<std::mutex> lock(receivedMutex_);
          received_.insert(received_.end(), in, in + n);
        }
        receivedChanged_.notify_all();
        const double now = NowMs();
        for (ssize_t i = 0; i < n; ++i) emulator_.Receive(in[i], now);
        if (writeLog_) {
          // Flushed at once: tests read the log while the emulator still runs.
          for (ssize_t i = 0; i < n; ++i) {
            std::fprintf(writeLog_, "%.3f %02X\n", now - startMs_, in[i]);
          }
          std::fflush(writeLog_);
        }
      }
    }
    out.clear();
    emulator_.Transmit(NowMs(), out);
    // A real line has no flow control either: what the receiver has no room for is lost.
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::write(master_, out.data() + done, out.size() - done);
      if (n <= 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += size_t(n);
    }
    packetsSent_.store(emulator_.PacketsSent());
    if (emulator_.HungUp()) {
      // Let the host read the last packet first; a hang-up flushes what it has not read. The
      // bytes reach the slave's queue a little after the write (later still on a busy machine,
      // where the kernel's tty worker waits its turn), so a few empty looks in a row are needed.
      for (int i = 0, empty = 0; i < kDrainPolls && empty < 5; ++i) {
        empty = Unread() > 0 ? 0 : empty + 1;
        pollfd stop = {stopFd_, POLLIN, 0};
        if (::poll(&stop, 1, 10) > 0) break;
      }
      CloseLine();
      hungUp_.store(true);
      return;
    }
  }
}

}  // namespace vellum::emu
