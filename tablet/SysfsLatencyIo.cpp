// A line's latency settings as the kernel shows them: the tty's folder in sysfs, found from the
// open descriptor's device number (/sys/dev/char/MAJOR:MINOR), and TIOCGSERIAL/TIOCSSERIAL.
// The writers and readers run from signal handlers too: fixed buffers and plain system calls.
#include <fcntl.h>
#include <limits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tablet/LatencyIo.h"

namespace vellum {
namespace {

constexpr const char* kUdevRule = "60-vellum-uart-trigger.rules";

// dir + "/" + leaf into `out`; false when it does not fit.
template <size_t N>
bool JoinPath(char (&out)[N], const char* dir, const char* leaf) {
  const size_t d = std::strlen(dir), l = std::strlen(leaf);
  if (d == 0 || d + 1 + l + 1 > N) return false;
  std::memcpy(out, dir, d);
  out[d] = '/';
  std::memcpy(out + d + 1, leaf, l + 1);
  return true;
}

// The leading decimal number of a small sysfs file; nullopt when it cannot be read (a UART
// without a FIFO answers EINVAL to rx_trig_bytes).
std::optional<int> ReadNumber(const char* dir, const char* leaf) {
  char path[PATH_MAX];
  if (!JoinPath(path, dir, leaf)) return std::nullopt;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[16];
  ssize_t n;
  do {
    n = ::read(fd, text, sizeof text);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  int value = 0;
  ssize_t i = 0;
  for (; i < n && i < 6 && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + (text[i] - '0');
  if (i == 0) return std::nullopt;
  return value;
}

int WriteNumber(const char* dir, const char* leaf, int value) {
  if (value < 0 || value > 9999) return EINVAL;
  char path[PATH_MAX];
  if (!JoinPath(path, dir, leaf)) return ENAMETOOLONG;
  char text[8];
  size_t n = 0;
  char digits[8];
  size_t d = 0;
  do {
    digits[d++] = char('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (d > 0) text[n++] = digits[--d];
  text[n++] = '\n';
  const int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return errno;
  ssize_t w;
  do {
    w = ::write(fd, text, n);
  } while (w < 0 && errno == EINTR);
  const int error = w < 0 ? errno : w == ssize_t(n) ? 0 : EIO;
  ::close(fd);
  return error;
}

bool Exists(const char* dir, const char* leaf) {
  char path[PATH_MAX];
  struct stat st {};
  return JoinPath(path, dir, leaf) && ::stat(path, &st) == 0;
}

// The last part of a symbolic link's target: "usb-serial" for .../bus/usb-serial.
std::string LinkLeaf(const char* dir, const char* leaf) {
  char path[PATH_MAX], target[PATH_MAX];
  if (!JoinPath(path, dir, leaf)) return {};
  const ssize_t n = ::readlink(path, target, sizeof target - 1);
  if (n <= 0) return {};
  target[n] = '\0';
  const char* slash = std::strrchr(target, '/');
  return slash ? slash + 1 : target;
}

class SysfsLatencyIo final : public ILatencyIo {
 public:
  explicit SysfsLatencyIo(std::string root) : root_(std::move(root)) {}

  LatencyFacts Look(int fd, LatencyPlace& place) override {
    place = LatencyPlace{};
    place.fd = fd;
    LatencyFacts facts;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return facts;
    // A pty has no folder here; nor has anything that is not a device of its own.
    const std::string link = root_ + "/dev/char/" + std::to_string(::major(st.st_rdev)) + ":" +
                             std::to_string(::minor(st.st_rdev));
    char dir[PATH_MAX];
    if (!::realpath(link.c_str(), dir) || std::strlen(dir) >= sizeof place.sysfsDir) return facts;
    std::memcpy(place.sysfsDir, dir, std::strlen(dir) + 1);
    const char* slash = std::strrchr(dir, '/');
    facts.name = slash ? slash + 1 : dir;
    if (Exists(dir, "rx_trig_bytes")) {
      facts.kind = LatencyKind::kUart;
      facts.rxTrigger = ReadRxTrigger(place);
    } else if (LinkLeaf(dir, "device/subsystem") == "usb-serial") {
      facts.kind = LatencyKind::kUsbAdapter;
      serial_struct serial{};
      if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        facts.lowLatency = (serial.flags & ASYNC_LOW_LATENCY) != 0;
      }
      facts.hasLatencyTimer = Exists(dir, "device/latency_timer");
    }
    return facts;
  }

  int WriteRxTrigger(const LatencyPlace& place, int bytes) override {
    return WriteNumber(place.sysfsDir, "rx_trig_bytes", bytes);
  }

  std::optional<int> ReadRxTrigger(const LatencyPlace& place) override {
    return ReadNumber(place.sysfsDir, "rx_trig_bytes");
  }

  int SetLowLatency(const LatencyPlace& place, bool on) override {
    serial_struct serial{};
    if (::ioctl(place.fd, TIOCGSERIAL, &serial) != 0) return errno;
    if (on) {
      serial.flags |= ASYNC_LOW_LATENCY;
    } else {
      serial.flags &= ~ASYNC_LOW_LATENCY;
    }
    return ::ioctl(place.fd, TIOCSSERIAL, &serial) == 0 ? 0 : errno;
  }

  std::optional<int> ReadLatencyTimer(const LatencyPlace& place) override {
    return ReadNumber(place.sysfsDir, "device/latency_timer");
  }

 private:
  std::string root_;
};

}  // namespace

std::shared_ptr<ILatencyIo> MakeSysfsLatencyIo(std::string sysfsRoot) {
  return std::make_shared<SysfsLatencyIo>(std::move(sysfsRoot));
}

std::shared_ptr<ILatencyIo> LatencyIoFromEnvironment() {
  const char* fake = std::getenv("VELLUM_FAKE_SYSFS");
  return MakeSysfsLatencyIo(fake && *fake ? fake : "/sys");
}

std::string UdevRulePath() {
  // The program in .../bin (installed) or build/app (a build): the rule is in share/doc/vellum
  // beside either.
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    exe[n] = '\0';
    std::string dir(exe);
    dir.resize(dir.rfind('/'));
    const std::string rule = dir + "/../share/doc/vellum/" + kUdevRule;
    char real[PATH_MAX];
    if (::realpath(rule.c_str(), real)) return real;
  }
  return std::string("/usr/share/doc/vellum/") + kUdevRule;
}

}  // namespace vellum
