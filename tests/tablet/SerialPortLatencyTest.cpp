// SerialPort and the sysfs access over a pty, with a made-up sysfs in a temporary folder that
// gives the pty's device number a UART's or an adapter's folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tablet/LatencyIo.h"
#include "tablet/TabletLink.h"
#include "tests/tablet/Pty.h"

namespace vellum::test {
namespace {

namespace fs = std::filesystem;

class FakeSysfs {
 public:
  FakeSysfs() {
    char name[] = "/tmp/vellum-sysfs-XXXXXX";
    root_ = ::mkdtemp(name) ? name : "";
  }
  ~FakeSysfs() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const std::string& root() const { return root_; }

  // dev/char/MAJOR:MINOR of `device` -> devices/NAME, the tty's folder.
  std::string AddLine(const std::string& device, const std::string& name) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    const fs::path dir = fs::path(root_) / "devices" / name;
    fs::create_directories(dir);
    fs::create_directories(fs::path(root_) / "dev/char");
    fs::create_symlink("../../devices/" + name, fs::path(root_) / "dev/char" /
                                                    (std::to_string(::major(st.st_rdev)) + ":" +
                                                     std::to_string(::minor(st.st_rdev))));
    return dir;
  }
  static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    return text;
  }

 private:
  std::string root_;
};

PortPaths OnlyCom1(const std::string& path) {
  PortPaths paths;
  paths.Set(1, path);
  return paths;
}

TEST(SysfsLatency, ReadsWhatTheFolderOffers) {
  Pty uart, adapter, plain;
  ASSERT_TRUE(uart.ok() && adapter.ok() && plain.ok());
  FakeSysfs sysfs;
  const fs::path s1 = sysfs.AddLine(uart.path(), "ttyS1");
  FakeSysfs::Write(s1 / "rx_trig_bytes", "8\n");
  const fs::path usb0 = sysfs.AddLine(adapter.path(), "ttyUSB0");
  fs::create_directories(usb0 / "device");
  fs::create_symlink("../../../bus/usb-serial", usb0 / "device/subsystem");
  FakeSysfs::Write(usb0 / "device/latency_timer", "16\n");
  auto io = MakeSysfsLatencyIo(sysfs.root());

  const struct {
    std::string device;
    LatencyKind kind;
    std::string name;
    std::optional<int> trigger;
    bool timer;
  } rows[] = {
      {uart.path(), LatencyKind::kUart, "ttyS1", 8, false},
      // A pty answers no TIOCGSERIAL: the flag stays unknown, the timer is still found.
      {adapter.path(), LatencyKind::kUsbAdapter, "ttyUSB0", std::nullopt, true},
      {plain.path(), LatencyKind::kNone, "", std::nullopt, false},
  };
  for (const auto& row : rows) {
    const int fd = ::open(row.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    LatencyPlace place;
    const LatencyFacts f = io->Look(fd, place);
    EXPECT_EQ(f.kind, row.kind) << row.device;
    EXPECT_EQ(f.name, row.name) << row.device;
    EXPECT_EQ(f.rxTrigger, row.trigger) << row.device;
    EXPECT_EQ(f.lowLatency, std::nullopt) << row.device;
    EXPECT_EQ(f.hasLatencyTimer, row.timer) << row.device;
    if (row.timer) {
      EXPECT_EQ(io->ReadLatencyTimer(place), 16);
    }
    ::close(fd);
  }
}

TEST(SysfsLatency, TriggerWrittenAndReadAsText) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  FakeSysfs sysfs;
  const fs::path dir = sysfs.AddLine(pty.path(), "ttyS1");
  FakeSysfs::Write(dir / "rx_trig_bytes", "14\n");
  auto io = MakeSysfsLatencyIo(sysfs.root());
  const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  LatencyPlace place;
  io->Look(fd, place);
  EXPECT_EQ(io->WriteRxTrigger(place, 1), 0);
  EXPECT_EQ(FakeSysfs::Read(dir / "rx_trig_bytes"), "1");
  EXPECT_EQ(io->ReadRxTrigger(place), 1);
  EXPECT_EQ(io->WriteRxTrigger(place, 14), 0);
  EXPECT_EQ(FakeSysfs::Read(dir / "rx_trig_bytes"), "14");
  // A folder that went away (an unplugged device): the errno, no crash.
  fs::remove(dir / "rx_trig_bytes");
  fs::remove(dir);
  EXPECT_EQ(io->WriteRxTrigger(place, 8), ENOENT);
  EXPECT_EQ(io->ReadRxTrigger(place), std::nullopt);
  ::close(fd);
}

// The trigger is 1 exactly while the port is open, whichever way it is closed, and back at the
// user's value after.
TEST(SerialPortLatency, TriggerLowWhileOpen) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  FakeSysfs sysfs;
  const fs::path trigger = fs::path(sysfs.AddLine(pty.path(), "ttyS1")) / "rx_trig_bytes";
  FakeSysfs::Write(trigger, "8\n");
  {
    SerialPort port(OnlyCom1(pty.path()), MakeSysfsLatencyIo(sysfs.root()));
    ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
    EXPECT_EQ(FakeSysfs::Read(trigger), "1");
    EXPECT_EQ(port.LatencyNotice(), "");
    // The lost-tablet path: back at once, the port still open for its figures.
    port.RestoreLatency();
    EXPECT_EQ(FakeSysfs::Read(trigger), "8");
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_EQ(FakeSysfs::Read(trigger), "8");

    ASSERT_EQ(port.Open(1), OpenResult::kOk);
    EXPECT_EQ(FakeSysfs::Read(trigger), "1");
    port.Close();
    EXPECT_EQ(FakeSysfs::Read(trigger), "8");
    ASSERT_EQ(port.Open(1), OpenResult::kOk);
  }  // the destructor closes
  EXPECT_EQ(FakeSysfs::Read(trigger), "8");
}

// A pty has neither setting: nothing is changed and nothing said, the real sysfs included.
TEST(SerialPortLatency, PtyLeftAlone) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialPort port(OnlyCom1(pty.path()), MakeSysfsLatencyIo("/sys"));
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  EXPECT_EQ(port.LatencyNotice(), "");
}

// The adapter's timer reads 16 ms while the port is held (a pty cannot take the low-latency
// flag): the user is told.
TEST(SerialPortLatency, AdapterTimerNotLowIsTold) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  FakeSysfs sysfs;
  const fs::path dir = sysfs.AddLine(pty.path(), "ttyUSB0");
  fs::create_directories(dir / "device");
  fs::create_symlink("../../../bus/usb-serial", dir / "device/subsystem");
  FakeSysfs::Write(dir / "device/latency_timer", "16\n");
  SerialPort port(OnlyCom1(pty.path()), MakeSysfsLatencyIo(sysfs.root()));
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  EXPECT_NE(port.LatencyNotice().find("latency timer reads 16 ms, not 1 ms"), std::string::npos)
      << port.LatencyNotice();
  EXPECT_EQ(port.LatencyNotice().rfind("COM1 (" + pty.path() + "): ", 0), 0u);
}

}  // namespace
}  // namespace vellum::test
