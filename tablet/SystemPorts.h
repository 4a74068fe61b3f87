#pragma once
// What port discovery and diagnosis read of the machine: the serial devices udev knows, the
// system consoles, a file's type and permissions, and who has a file open. Nothing here opens a
// device. A description of a made-up machine can stand in for the real one (tests).
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// One tty device as udev describes it, before any judgement about it.
struct SerialDeviceFacts {
  std::string path;     // device node: /dev/ttyUSB0
  std::string sysname;  // ttyUSB0
  std::string byId;     // its /dev/serial/by-id/ link, or ""
  std::string bus;      // "usb", "bluetooth", or the parent device's subsystem ("pnp", "platform")
  int uartType = -1;    // the serial core's `type` (0: no UART at that address); -1: not a UART
  std::string vendorId, productId;  // USB: "0403", "6001"
  std::string maker, product;       // USB: the device's own strings
  std::string driver;               // USB: the kernel driver of its interface
  int rxTrigger = -1;               // UART: rx_trig_bytes; -1: none, or it cannot be read
  bool rxTriggerWritable = false;   // this process may write rx_trig_bytes
  int latencyTimerMs = -1;          // USB adapter: latency_timer; -1: its driver has none
};

struct FileFacts {
  bool exists = false;
  bool charDevice = false;
  bool mayReadWrite = false;       // for this process's user and groups
  std::string group;               // the file's group
  bool groupMayReadWrite = false;  // the file's mode lets that group read and write
};

// A process that has a file open or locked. pid 0: /proc cannot tell who (another user's).
struct Holder {
  std::string program;
  int pid = 0;
  bool flock = false;  // it holds a flock() on the file, which is what keeps others out
  friend bool operator==(const Holder&, const Holder&) = default;
};

class ISystemPorts {
 public:
  virtual ~ISystemPorts() = default;
  // Every tty backed by hardware (or a Bluetooth link); virtual consoles and ptys are not.
  virtual std::vector<SerialDeviceFacts> SerialDevices() const = 0;
  // The ttys the kernel writes its console to ("ttyS0"), from /sys/class/tty/console/active.
  virtual std::vector<std::string> Consoles() const = 0;
  virtual FileFacts Facts(const std::string& path) const = 0;
  // Processes other than this one that have `path` open (/proc/*/fd) or flock()ed (/proc/locks).
  virtual std::vector<Holder> Holders(const std::string& path) const = 0;
};

// udev, stat() and /proc.
std::unique_ptr<ISystemPorts> MakeRealSystemPorts();

// A machine described in text, one entry a line ('#' starts a comment):
//   device PATH [key=value]...  a serial device as udev would list it, with its file facts
//   file PATH [key=value]...    a path that is not a serial device (file facts and holders)
//   console NAME                a system console, a tty name such as ttyS0
// keys: sysname by-id bus uart usb=VID:PID maker product driver rx-trig=BYTES rx-trig-rw=yes
// latency-timer=MS (device only); exists=no,
// chardev=no (default yes for devices, no for files), access=denied, group=NAME (default
// dialout), group-rw=no, holder=PROGRAM:PID[:flock] or holder=? (repeatable). A value with spaces
// is written "in double quotes". Paths not described do not exist. Returns null and sets `error`
// (one line) when the text is malformed.
std::unique_ptr<ISystemPorts> ParseFakeSystem(std::string_view text, std::string& error);

// The machine discovery should look at: the one described in the file that VELLUM_FAKE_SYSTEM
// names (a test hook), else the real one. Null, with `error` set, when that file is unusable.
std::unique_ptr<ISystemPorts> SystemPortsFromEnvironment(std::string& error);

}  // namespace vellum
