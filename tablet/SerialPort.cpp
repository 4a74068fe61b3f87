// COMn over termios: opened non-blocking and exclusive (flock, then TIOCEXCL), every processing
// flag cleared so that 0x11 and 0x13 stay data, and the settings read back after writing them.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "tablet/TabletLink.h"

namespace vellum {
namespace {

// A pty cannot keep parity; the read-back ignores exactly these bits.
constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;

template <typename Call>
int RetryEintr(Call call) {
  int r;
  do {
    r = call();
  } while (r == -1 && errno == EINTR);
  return r;
}

// 9600 8O1, raw both ways, reads that return what has arrived.
void ApplyLineSettings(termios& t) {
  t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                         ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
  t.c_oflag &= ~tcflag_t(OPOST);
  t.c_lflag &= ~tcflag_t(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | NOFLSH | TOSTOP | ECHOCTL |
                         ECHOPRT | ECHOKE | IEXTEN);
  // No hardware handshake either: a tablet that leaves CTS low must still get its commands.
  t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | CRTSCTS | kParityBits);
  t.c_cflag |= CS8 | PARENB | PARODD | CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
}

bool MatchesApartFromParity(const termios& wanted, const termios& got) {
  return wanted.c_iflag == got.c_iflag && wanted.c_oflag == got.c_oflag &&
         wanted.c_lflag == got.c_lflag &&
         (wanted.c_cflag & ~kParityBits) == (got.c_cflag & ~kParityBits) &&
         cfgetispeed(&wanted) == cfgetispeed(&got) && cfgetospeed(&wanted) == cfgetospeed(&got) &&
         wanted.c_cc[VMIN] == got.c_cc[VMIN] && wanted.c_cc[VTIME] == got.c_cc[VTIME];
}

// The driver's raw error counters; nullopt where it keeps none (a pty says ENOTTY or EINVAL).
std::optional<LineErrorCounts> ReadErrorCounters(int fd) {
  serial_icounter_struct counters{};
  if (fd < 0 || ::ioctl(fd, TIOCGICOUNT, &counters) != 0) return std::nullopt;
  return LineErrorCounts{uint32_t(counters.frame), uint32_t(counters.parity),
                         uint32_t(counters.overrun), uint32_t(counters.buf_overrun)};
}

}  // namespace

SerialPort::SerialPort(PortPaths paths, std::shared_ptr<ILatencyIo> latency)
    : paths_(std::move(paths)), latency_(std::move(latency)) {}

SerialPort::~SerialPort() {
  Close();
}

OpenResult SerialPort::Open(int n) {
  Close();
  lastError_.clear();
  lastOpen_ = {};
  auto fail = [this](const char* call, int error, OpenResult result) {
    lastError_ = std::string(call) + ": " + std::strerror(error);
    lastOpen_ = {call, error, LineDiscipline()};
    Close();
    return result;
  };
  if (n < 1 || n > 4) return fail("open", EINVAL, OpenResult::kOpenFailed);

  const char* path = paths_.Path(n).c_str();
  fd_ = RetryEintr([&] { return ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd_ < 0) return fail("open", errno, OpenResult::kOpenFailed);
  if (RetryEintr([&] { return ::flock(fd_, LOCK_EX | LOCK_NB); }) != 0) {
    return fail("flock", errno, OpenResult::kOpenFailed);
  }
  if (::ioctl(fd_, TIOCEXCL) != 0) {
    // A regular file or a pipe says ENOTTY here: that is a settings failure, not a busy port.
    const int error = errno;
    return fail("ioctl(TIOCEXCL)", error,
                error == ENOTTY ? OpenResult::kSettingsFailed : OpenResult::kOpenFailed);
  }
  termios settings{};
  if (RetryEintr([&] { return ::tcgetattr(fd_, &settings); }) != 0) {
    return fail("tcgetattr", errno, OpenResult::kSettingsFailed);
  }
  ApplyLineSettings(settings);
  // A pty answers EINVAL when parity is the only change; what was applied decides.
  const int setResult = RetryEintr([&] { return ::tcsetattr(fd_, TCSANOW, &settings); });
  const int setError = errno;
  termios applied{};
  if (RetryEintr([&] { return ::tcgetattr(fd_, &applied); }) != 0) {
    return fail("tcgetattr", errno, OpenResult::kSettingsFailed);
  }
  if (!MatchesApartFromParity(settings, applied)) {
    return fail("tcsetattr", setResult != 0 ? setError : EINVAL, OpenResult::kSettingsFailed);
  }
  applied_ = applied;
  pollThreshold_ = applied.c_cc[VMIN];
  lastOpen_.lineDiscipline = LineDiscipline();
  // The counters run from when the driver loaded; this run's errors are counted from here.
  countsAtOpen_ = ReadErrorCounters(fd_);
  latency_.Lower(fd_, "COM" + std::to_string(n) + " (" + paths_.Path(n) + ")");
  return OpenResult::kOk;
}

void SerialPort::Write(const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (fd_ >= 0 && done < count) {
    const ssize_t r = ::write(fd_, bytes + done, count - done);
    if (r > 0) {
      done += size_t(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno == EAGAIN) {
      // Output queue full. Commands are a byte or two, so this is a stuck line: give it a
      // moment, never hang on it.
      pollfd p{fd_, POLLOUT, 0};
      if (RetryEintr([&] { return ::poll(&p, 1, 100); }) > 0) continue;
      lastError_ = "write: output queue stuck";
      return;
    }
    lastError_ = std::string("write: ") + std::strerror(errno);
    return;
  }
}

ReadResult SerialPort::ReadByte() {
  ReadResult result;
  if (fd_ < 0) {
    readFailure_ = "the port was closed";
    return result;
  }
  uint8_t b = 0;
  const ssize_t r = RetryEintr([&] { return int(::read(fd_, &b, 1)); });
  if (r == 1) {
    result.ok = true;
    result.count = 1;
    result.byte = b;
  } else if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    result.ok = true;
  } else {
    // 0 is a hang-up: an adapter unplugged, the emulator gone. A tty whose other end has gone
    // (a pty's master, a removed adapter) says EIO instead.
    const int error = r < 0 ? errno : 0;
    lastError_ = r == 0 ? std::string("read: hang-up") : std::string("read: ") + std::strerror(error);
    readFailure_ = r == 0 || error == EIO ? std::string("the line hung up")
                                          : std::string("the read failed: ") + std::strerror(error);
  }
  return result;
}

uint32_t SerialPort::InputQueueCount() {
  int pending = 0;
  if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &pending) != 0 || pending < 0) return 0;
  return uint32_t(pending);
}

void SerialPort::Close() {
  if (fd_ < 0) return;
  latency_.Restore();  // needs the descriptor for a USB adapter's flags
  // TIOCEXCL outlives the close while the other end of a pty stays open; a reopen would then
  // fail with EBUSY for anyone but root.
  ::ioctl(fd_, TIOCNXCL);
  // No retry on EINTR: the descriptor is released either way. The flock goes with it.
  ::close(fd_);
  fd_ = -1;
  countsAtOpen_.reset();
}

std::optional<LineErrorCounts> SerialPort::LineErrors() const {
  if (!countsAtOpen_) return std::nullopt;
  const std::optional<LineErrorCounts> now = ReadErrorCounters(fd_);
  if (!now) return std::nullopt;
  return LineErrorsSince(*countsAtOpen_, *now);
}

bool SerialPort::IsOpen() const {
  return fd_ >= 0;
}

void SerialPort::Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t SerialPort::NowMs() const {
  return NowUs() / 1000;
}

int64_t SerialPort::NowUs() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int SerialPort::LineDiscipline() const {
  // Only asks: a discipline such as inputattach's means another driver owns the line.
  int discipline = -1;
  if (fd_ < 0 || ::ioctl(fd_, TIOCGETD, &discipline) != 0) return -1;
  return discipline;
}

int SerialPort::PollFd() const {
  return fd_;
}

void SerialPort::SetPollThreshold(int bytes) {
  bytes = std::clamp(bytes, 1, 255);
  if (fd_ < 0 || bytes == pollThreshold_) return;
  // With VTIME 0 the line discipline's poll counts VMIN bytes as ready; non-blocking reads are
  // untouched. Only VMIN differs from what the open read back, so a pty's missing parity does
  // not make this fail. If it fails all the same, the reader wakes once a byte, as it can.
  termios t = applied_;
  t.c_cc[VMIN] = cc_t(bytes);
  if (RetryEintr([&] { return ::tcsetattr(fd_, TCSANOW, &t); }) == 0) pollThreshold_ = bytes;
}

}  // namespace vellum
