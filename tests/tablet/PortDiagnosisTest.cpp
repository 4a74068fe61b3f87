// Port discovery and diagnosis over made-up machines: what the probe saw of each port, the
// reason it gives, the --list-ports lines and order, and the --ports auto assignment.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "tablet/Detection.h"
#include "tablet/PortDiagnosis.h"
#include "tablet/PortDiscovery.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<ISystemPorts> Machine(const std::string& text) {
  std::string error;
  auto system = ParseFakeSystem(text, error);
  EXPECT_TRUE(system) << error;
  return system ? std::move(system) : ParseFakeSystem("", error);
}

class DeadLine : public ScriptedTablet {
 public:
  bool ReadFails() const override { return true; }
};

// The stage each kind of line leaves the probe in.
TEST(ProbeOutcome, StageOfEachLine) {
  struct Row {
    const char* name;
    std::function<std::shared_ptr<FakeDevice>()> device;  // null: no device
    bool refuseSettings;
    ProbeStage stage;
    int packetLength;
  };
  auto tablet = [](std::function<void(ScriptedTablet&)> setUp) {
    return [setUp] {
      auto t = std::make_shared<ScriptedTablet>();
      setUp(*t);
      return t;
    };
  };
  const Row rows[] = {
      {"missing", nullptr, false, ProbeStage::kOpenFailed, 0},
      {"refuses settings", tablet([](ScriptedTablet&) {}), true, ProbeStage::kSettingsFailed, 0},
      {"silent", tablet([](ScriptedTablet& t) {
         t.packetLength = 5;
         t.rangeAnswers = {{}};
       }),
       false, ProbeStage::kSilent, 0},
      {"wrong blocks",
       tablet([](ScriptedTablet& t) { t.identAnswers = {IdentifyBlock("TRELVA")}; }), false,
       ProbeStage::kNotIdentified, 0},
      {"identified, no range", tablet([](ScriptedTablet& t) { t.rangeAnswers = {{}}; }), false,
       ProbeStage::kNoRangeReply, 0},
      {"bad range", tablet([](ScriptedTablet& t) { t.rangeAnswers = {Bytes(12, 0x98)}; }), false,
       ProbeStage::kBadRangeReply, 0},
      {"dead line", [] { return std::make_shared<DeadLine>(); }, false, ProbeStage::kLineFailed, 0},
      {"7-byte", tablet([](ScriptedTablet&) {}), false, ProbeStage::kFound, 7},
      {"5-byte", tablet([](ScriptedTablet& t) { t.packetLength = 5; }), false, ProbeStage::kFound,
       5},
  };
  for (const Row& r : rows) {
    FakePort port;
    if (r.device) port.Attach(1, r.device());
    if (r.refuseSettings) port.RefuseSettings(1);
    TabletInfo found;
    ProbeOutcome outcome;
    outcome.packetLength = -1;  // sentinel: every probe starts the record afresh
    ProbePort(port, 1, found, &outcome);
    EXPECT_EQ(outcome.stage, r.stage) << r.name;
    EXPECT_EQ(outcome.packetLength, r.packetLength) << r.name;
  }
}

ProbeOutcome Saw(ProbeStage stage, int error = 0, const char* call = "", int discipline = -1) {
  ProbeOutcome o;
  o.stage = stage;
  o.open = {call, error, discipline};
  return o;
}

TEST(PortDiagnosis, EveryReason) {
  const std::string dialout =
      "permission denied — add yourself to the dialout group (sudo usermod -aG dialout $USER), "
      "then log in again";
  ProbeOutcome seven = Saw(ProbeStage::kFound), five = seven, hungUp = Saw(ProbeStage::kLineFailed);
  seven.packetLength = 7;
  five.packetLength = 5;
  hungUp.readFailure = "the read failed: Input/output error";
  using S = ProbeStage;
  struct Row {
    ProbeOutcome seen;
    const char* machine;  // what /dev/ttyX is; "" : nothing
    std::string reason;
  };
  const Row rows[] = {
      {seven, "", "7-byte tablet"},
      {five, "", "5-byte tablet"},
      {Saw(S::kNotProbed), "", "not probed"},
      {Saw(S::kOpenFailed, ENOENT, "open"), "", "no such device"},
      {Saw(S::kOpenFailed, EIO, "open"), "device /dev/ttyX uart=0", "no such device"},
      {Saw(S::kOpenFailed, EACCES, "open"), "device /dev/ttyX access=denied", dialout},
      {Saw(S::kOpenFailed, EACCES, "open"), "device /dev/ttyX access=denied group=root",
       "permission denied"},
      {Saw(S::kOpenFailed, EACCES, "open"), "device /dev/ttyX access=denied group-rw=no",
       "permission denied"},
      {Saw(S::kOpenFailed, EWOULDBLOCK, "flock"), "device /dev/ttyX holder=ModemManager:812",
       "held by ModemManager (PID 812)"},
      {Saw(S::kOpenFailed, EWOULDBLOCK, "flock"),
       "device /dev/ttyX holder=emulator:4 holder=inputattach:5:flock",
       "held by inputattach (PID 5)"},
      {Saw(S::kOpenFailed, EBUSY, "open"), "device /dev/ttyX holder=gpsd:5 holder=minicom:9",
       "held by gpsd (PID 5), minicom (PID 9)"},
      {Saw(S::kOpenFailed, EBUSY, "open"), "device /dev/ttyX holder=?", "held by another program"},
      {Saw(S::kOpenFailed, EBUSY, "open"), "device /dev/ttyX", "held by another program"},
      {Saw(S::kSettingsFailed, ENOTTY, "ioctl(TIOCEXCL)"), "file /dev/ttyX holder=test:3",
       "not a serial device"},
      {Saw(S::kOpenFailed, EISDIR, "open"), "file /dev/ttyX", "not a serial device"},
      {Saw(S::kSettingsFailed, EINVAL, "tcgetattr", 2), "device /dev/ttyX",
       "a tablet driver's line discipline is attached"},
      {Saw(S::kSilent, 0, "", 2), "device /dev/ttyX",
       "a tablet driver's line discipline is attached"},
      {Saw(S::kSettingsFailed, EINVAL, "tcsetattr", N_TTY), "device /dev/ttyX",
       "the line settings were refused (tcsetattr: Invalid argument)"},
      {Saw(S::kOpenFailed, EMFILE, "open"), "device /dev/ttyX",
       "cannot be opened (open: Too many open files)"},
      // A port that cannot say why (errno 0): the look-ups decide.
      {Saw(S::kOpenFailed), "", "no such device"},
      {Saw(S::kOpenFailed), "device /dev/ttyX access=denied", dialout},
      {Saw(S::kSettingsFailed), "file /dev/ttyX", "not a serial device"},
      {Saw(S::kOpenFailed), "device /dev/ttyX holder=inputattach:44",
       "held by inputattach (PID 44)"},
      {Saw(S::kOpenFailed), "device /dev/ttyX", "cannot be opened"},
      {Saw(S::kSettingsFailed), "device /dev/ttyX", "the line settings were refused"},
      // The dialogue ran.
      {Saw(S::kSilent), "device /dev/ttyX", "no answer to the identification request"},
      {Saw(S::kNotIdentified), "", "answers, but not with a tablet's identification"},
      {Saw(S::kNoRangeReply), "", "no answer to the range request"},
      {Saw(S::kBadRangeReply), "", "answers, but never with a valid range reply"},
      {Saw(S::kLineFailed), "", "the line hung up"},
      {hungUp, "", "the read failed: Input/output error"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(DiagnoseProbe(r.seen, "/dev/ttyX", *Machine(r.machine)), r.reason) << r.machine;
  }
}

TEST(PortDiagnosis, OneLinePerComPort) {
  ProbeOutcomes seen;
  seen[0] = Saw(ProbeStage::kSilent);
  seen[1].stage = ProbeStage::kFound;
  seen[1].packetLength = 7;
  seen[2] = Saw(ProbeStage::kOpenFailed, ENOENT, "open");
  PortPaths paths;
  paths.Set(1, "/dev/ttyS0");
  paths.Set(2, "/dev/ttyUSB0");
  paths.Set(3, "/dev/ttyS2");
  paths.Set(4, "");
  EXPECT_EQ(DiagnosePorts(seen, paths, *Machine("")),
            (std::vector<std::string>{"COM1 /dev/ttyS0: no answer to the identification request",
                                      "COM2 /dev/ttyUSB0: 7-byte tablet",
                                      "COM3 /dev/ttyS2: no such device",
                                      "COM4: no serial device assigned"}));
}

const char kMachine[] = R"(# a desk with everything on it
console ttyS0
device /dev/ttyS0 bus=pnp uart=4 access=denied holder=agetty:311
device /dev/ttyS10 bus=pci uart=4
device /dev/ttyS2 bus=platform uart=0
device /dev/ttyS9 bus=pnp uart=4
device /dev/ttyUSB1 by-id=/dev/serial/by-id/usb-FTDI_FT232R_B-if00-port0 usb=0403:6001 maker=FTDI product="FT232R USB UART" driver=ftdi_sio holder=gpsd:99
device /dev/ttyUSB0 by-id=/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0 usb=067b:2303 maker="Prolific Technology Inc." product="USB-Serial Controller" driver=pl2303
device /dev/ttyACM0 by-id=/dev/serial/by-id/usb-Arduino_Uno_1234-if00 usb=2341:0043 maker=Arduino product=Uno driver=cdc_acm
device /dev/rfcomm0
device /dev/ttyGS0 bus=udc
)";

TEST(PortDiscovery, ListsInAutoOrderWithWhatIsKnown) {
  std::vector<std::string> lines;
  for (const SerialPortInfo& p : ListSerialPorts(*Machine(kMachine))) {
    lines.push_back(DescribePort(p));
  }
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "/dev/ttyS0: built-in UART, system console, you may not open it (group dialout may), "
          "held by agetty (PID 311)",
          "/dev/ttyS9: built-in UART, you may open it, free",
          "/dev/ttyS10: built-in UART, you may open it, free",
          "/dev/ttyACM0 (/dev/serial/by-id/usb-Arduino_Uno_1234-if00): USB modem/ACM, 2341:0043 "
          "\"Arduino\" \"Uno\", driver cdc_acm, you may open it, free",
          "/dev/ttyUSB1 (/dev/serial/by-id/usb-FTDI_FT232R_B-if00-port0): USB adapter, 0403:6001 "
          "\"FTDI\" \"FT232R USB UART\", driver ftdi_sio, you may open it, held by gpsd (PID 99)",
          "/dev/ttyUSB0 (/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0): USB adapter, "
          "067b:2303 \"Prolific Technology Inc.\" \"USB-Serial Controller\", driver pl2303, you "
          "may open it, free",
          "/dev/rfcomm0: Bluetooth, you may open it, free",
          "/dev/ttyGS0: other, you may open it, free",
      }));
}

TEST(PortDiscovery, AutoAssignment) {
  struct Row {
    const char* name;
    std::vector<std::pair<int, std::string>> given;  // --port N=PATH
    std::array<std::string, 4> paths;
    std::vector<std::string> lines;
  };
  const std::string acm = "/dev/ttyACM0 (/dev/serial/by-id/usb-Arduino_Uno_1234-if00)";
  const std::string pl2303 = "/dev/ttyUSB0 (/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0)";
  const Row rows[] = {
      {"alone",
       {},
       {"/dev/ttyS9", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyUSB0"},
       {"COM1 = /dev/ttyS9, built-in UART", "COM2 = /dev/ttyS10, built-in UART",
        "COM3 = " + acm + ", USB modem/ACM", "COM4 = " + pl2303 + ", USB adapter",
        "not taken: /dev/ttyS0 (system console)", "not taken: /dev/ttyUSB1 (held by gpsd (PID 99))",
        "not taken: /dev/rfcomm0 (COM1 to COM4 are all assigned)",
        "not taken: /dev/ttyGS0 (COM1 to COM4 are all assigned)"}},
      // A --port keeps its COM port, and the device it names is not taken twice.
      {"with --port",
       {{2, "/dev/serial/by-id/usb-Arduino_Uno_1234-if00"}, {4, "/tmp/com4"}},
       {"/dev/ttyS9", "/dev/serial/by-id/usb-Arduino_Uno_1234-if00", "/dev/ttyS10", "/tmp/com4"},
       {"COM1 = /dev/ttyS9, built-in UART",
        "COM2 = /dev/serial/by-id/usb-Arduino_Uno_1234-if00 (--port)",
        "COM3 = /dev/ttyS10, built-in UART", "COM4 = /tmp/com4 (--port)",
        "not taken: /dev/ttyS0 (system console)", "not taken: /dev/ttyUSB1 (held by gpsd (PID 99))",
        "not taken: /dev/ttyUSB0 (COM1 to COM4 are all assigned)",
        "not taken: /dev/rfcomm0 (COM1 to COM4 are all assigned)",
        "not taken: /dev/ttyGS0 (COM1 to COM4 are all assigned)"}},
  };
  const std::vector<SerialPortInfo> ports = ListSerialPorts(*Machine(kMachine));
  for (const Row& r : rows) {
    PortPaths given;
    std::array<bool, 4> named{};
    for (const auto& [n, path] : r.given) {
      given.Set(n, path);
      named[size_t(n - 1)] = true;
    }
    const AutoPorts a = AssignPortsAutomatically(ports, given, named);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(a.paths.Path(n), r.paths[size_t(n - 1)]) << r.name;
    EXPECT_EQ(a.lines, r.lines) << r.name;
  }
}

TEST(PortDiscovery, FewDevicesLeaveComPortsEmpty) {
  const AutoPorts a = AssignPortsAutomatically(
      ListSerialPorts(*Machine("console ttyS0\ndevice /dev/ttyS0 uart=4\ndevice /dev/ttyUSB0 "
                               "bus=usb driver=ch341 holder=?\ndevice /dev/ttyUSB1 bus=usb")),
      PortPaths(), {});
  EXPECT_EQ(a.paths.Path(1), "/dev/ttyUSB1");
  for (int n = 2; n <= 4; ++n) EXPECT_EQ(a.paths.Path(n), "");
  EXPECT_EQ(a.lines[3], "COM4: no serial device left");
  EXPECT_EQ(a.lines[5], "not taken: /dev/ttyUSB0 (held by another program)");
}

TEST(FakeSystem, BadDescriptionsAreOneLineErrors) {
  const std::pair<const char*, const char*> rows[] = {
      {"serial /dev/x", "line 1: expected device, file or console, got 'serial'"},
      {"# ok\ndevice", "line 2: expected a path"},
      {"device uart=4", "line 1: expected a path"},
      {"device /x uart", "line 1: expected key=value, got 'uart'"},
      {"device /x uart=four", "line 1: uart must be a number"},
      {"device /x holder=gpsd", "line 1: holder must be PROGRAM:PID[:flock] or ?"},
      {"device /x holder=gpsd:0", "line 1: holder must be PROGRAM:PID[:flock] or ?"},
      {"device /x access=rwx", "line 1: access must be rw or denied"},
      {"device /x exists=maybe", "line 1: exists must be yes or no"},
      {"device /x maker=\"Open", "line 1: unclosed quote"},
      {"device /x colour=red", "line 1: unknown key 'colour'"},
      {"file /x driver=ftdi_sio", "line 1: unknown key 'driver' for a file"},
      {"console", "line 1: expected: console NAME"},
  };
  for (const auto& [text, want] : rows) {
    std::string error = "unchanged";
    EXPECT_FALSE(ParseFakeSystem(text, error)) << text;
    EXPECT_EQ(error, want) << text;
  }
}

}  // namespace
}  // namespace vellum::test
