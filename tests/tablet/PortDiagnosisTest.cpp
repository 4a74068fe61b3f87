// Port discovery and diagnosis over made-up machines: what the probe saw of each port, the
// reason it gives, the --list-ports lines and order, and the --ports auto assignment.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <tuple>

#include "tablet/Detection.h"
#include "tablet/PortDiagnosis.h"
#include "tablet/PortDiscovery.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

std::unique_ptr<ISystemPorts> Machine(const std::string& text) {
  std::string error;
  auto system = ParseFakeSystem(text, error);
  EXPECT_TRUE(system) << error;
  return system ? std::move(system) : ParseFakeSystem("", error);
}

struct DeadLine : ScriptedTablet {
  bool ReadFails() const override { return true; }
};

// The stage each kind of line leaves the probe in, over two machines of four ports; the record
// starts afresh with every probe.
TEST(ProbeOutcome, StageOfEachLine) {
  auto t = [] { return std::make_shared<ScriptedTablet>(); };
  const std::shared_ptr<ScriptedTablet> lines[8] = {
      t(), t(), t(), t(), nullptr, std::make_shared<DeadLine>(), t(), t()};
  lines[0]->packetLength = 5, lines[0]->rangeAnswers = {{}};  // silent
  lines[1]->identAnswers = {IdentifyBlock("TRELVA")};
  lines[2]->rangeAnswers = {{}};
  lines[3]->rangeAnswers = {std::vector<uint8_t>(12, 0x98)};
  lines[7]->packetLength = 5;
  using S = ProbeStage;
  const S want[8] = {S::kSilent,     S::kNotIdentified, S::kNoRangeReply,   S::kBadRangeReply,
                     S::kOpenFailed, S::kLineFailed,    S::kSettingsFailed, S::kFound};
  for (int first : {0, 4}) {
    FakePort port;
    for (int n = 1; n <= 4; ++n) {
      if (lines[first + n - 1]) port.Attach(n, lines[first + n - 1]);
    }
    if (first == 4) port.RefuseSettings(3);
    ProbeOutcomes outcomes;
    for (ProbeOutcome& o : outcomes) o.packetLength = -1;
    ScanPorts(port, &outcomes);
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(first + i);
      EXPECT_EQ(outcomes[size_t(i)].stage, want[first + i]);
      EXPECT_EQ(outcomes[size_t(i)].packetLength, want[first + i] == S::kFound ? 5 : 0);
    }
  }
}

ProbeOutcome Saw(ProbeStage stage, int error = 0, const char* call = "", int discipline = -1) {
  ProbeOutcome o;
  o.stage = stage;
  o.open = {call, error, discipline};
  return o;
}

// The reason line for each port, from what the probe saw and what the machine says of /dev/ttyX
// ("" : nothing there).
TEST(PortDiagnosis, EveryReason) {
  const std::string dialout =
      "permission denied — add yourself to the dialout group (sudo usermod -aG dialout $USER), "
      "then log in again";
  ProbeOutcome seven = Saw(ProbeStage::kFound), hungUp = Saw(ProbeStage::kLineFailed);
  seven.packetLength = 7;
  hungUp.readFailure = "the read failed: Input/output error";
  using S = ProbeStage;
  const std::string dev = "device /dev/ttyX",
                    line = "a tablet driver's line discipline is attached";
  const std::tuple<ProbeOutcome, std::string, std::string> rows[] = {
      {seven, "", "7-byte tablet"},
      {Saw(S::kNotProbed), "", "not probed"},
      {Saw(S::kOpenFailed, ENOENT, "open"), "", "no such device"},
      {Saw(S::kOpenFailed, EIO, "open"), dev + " uart=0", "no such device"},
      {Saw(S::kOpenFailed, EACCES, "open"), dev + " access=denied", dialout},
      {Saw(S::kOpenFailed, EACCES, "open"), dev + " access=denied group=root", "permission denied"},
      // flock() refused: the lock's holder, not the line's other end.
      {Saw(S::kOpenFailed, EWOULDBLOCK, "flock"),
       dev + " holder=emulator:4 holder=ModemManager:812:flock", "held by ModemManager (PID 812)"},
      {Saw(S::kOpenFailed, EBUSY, "open"), dev + " holder=gpsd:5 holder=minicom:9",
       "held by gpsd (PID 5), minicom (PID 9)"},
      {Saw(S::kOpenFailed, EBUSY, "open"), dev + " holder=?", "held by another program"},
      {Saw(S::kSettingsFailed, ENOTTY, "ioctl(TIOCEXCL)"), "file /dev/ttyX holder=test:3",
       "not a serial device"},
      {Saw(S::kSettingsFailed, EINVAL, "tcgetattr", 2), dev, line},
      {Saw(S::kSilent, 0, "", 2), dev, line},
      {Saw(S::kSettingsFailed, EINVAL, "tcsetattr", N_TTY), dev,
       "the line settings were refused (tcsetattr: Invalid argument)"},
      {Saw(S::kOpenFailed, EMFILE, "open"), dev, "cannot be opened (open: Too many open files)"},
      // A port that cannot say why (errno 0): the look-ups decide.
      {Saw(S::kOpenFailed), dev + " access=denied", dialout},
      {Saw(S::kOpenFailed), dev + " holder=inputattach:44", "held by inputattach (PID 44)"},
      // The dialogue ran.
      {Saw(S::kSilent), dev, "no answer to the identification request"},
      {Saw(S::kNotIdentified), "", "answers, but not with a tablet's identification"},
      {Saw(S::kNoRangeReply), "", "no answer to the range request"},
      {Saw(S::kBadRangeReply), "", "answers, but never with a valid range reply"},
      {Saw(S::kLineFailed), "", "the line hung up"},
      {hungUp, "", "the read failed: Input/output error"},
  };
  for (const auto& [seen, machine, reason] : rows) {
    EXPECT_EQ(DiagnoseProbe(seen, "/dev/ttyX", *Machine(machine)), reason) << machine;
  }
}

const char kMachine[] = R"(# a desk with everything on it
console ttyS0
device /dev/ttyS0 bus=pnp uart=4 access=denied holder=agetty:311
device /dev/ttyS10 bus=pci uart=4 rx-trig=8
device /dev/ttyS2 bus=platform uart=0
device /dev/ttyS9 bus=pnp uart=4 rx-trig=14 rx-trig-rw=yes
device /dev/ttyUSB1 by-id=/dev/serial/by-id/usb-FTDI_FT232R_B-if00-port0 usb=0403:6001 maker=FTDI product="FT232R USB UART" driver=ftdi_sio holder=gpsd:99 latency-timer=16
device /dev/ttyUSB0 by-id=/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0 usb=067b:2303 maker="Prolific Technology Inc." product="USB-Serial Controller" driver=pl2303
device /dev/ttyACM0 by-id=/dev/serial/by-id/usb-Arduino_Uno_1234-if00 usb=2341:0043 maker=Arduino product=Uno driver=cdc_acm
device /dev/rfcomm0
device /dev/ttyGS0 bus=udc
)";

// --list-ports: auto order, with what is known of each port. --ports auto: a --port keeps its
// COM port, and the device it names is not taken twice.
TEST(PortDiscovery, ListAndAutoAssignment) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts(*Machine(kMachine));
  std::vector<std::string> lines;
  for (const SerialPortInfo& p : ports) lines.push_back(DescribePort(p));
  const std::string free = "you may open it, free";
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "/dev/ttyS0: built-in UART, system console, you may not open it (group dialout may), "
          "held by agetty (PID 311)",
          "/dev/ttyS9: built-in UART, receive trigger 14 bytes (a packet up to 14.9 ms late; "
          "Vellum sets 1 byte while it holds the port), " + free,
          "/dev/ttyS10: built-in UART, receive trigger 8 bytes (a packet up to 8.0 ms late; "
          "Vellum may not lower it), " + free,
          "/dev/ttyACM0 (/dev/serial/by-id/usb-Arduino_Uno_1234-if00): USB modem/ACM, 2341:0043 "
          "\"Arduino\" \"Uno\", driver cdc_acm, you may open it, free",
          "/dev/ttyUSB1 (/dev/serial/by-id/usb-FTDI_FT232R_B-if00-port0): USB adapter, 0403:6001 "
          "\"FTDI\" \"FT232R USB UART\", driver ftdi_sio, latency timer 16 ms (a packet up to 16 ms "
          "late; Vellum asks for 1 ms while it holds the port), you may open it, held by gpsd (PID "
          "99)",
          "/dev/ttyUSB0 (/dev/serial/by-id/usb-Prolific_USB-Serial-if00-port0): USB adapter, "
          "067b:2303 \"Prolific Technology Inc.\" \"USB-Serial Controller\", driver pl2303, you "
          "may open it, free",
          "/dev/rfcomm0: Bluetooth, " + free, "/dev/ttyGS0: other, " + free}));
  const std::string arduino = "/dev/serial/by-id/usb-Arduino_Uno_1234-if00";
  PortPaths given;
  given.Set(2, arduino);
  given.Set(4, "/tmp/com4");
  const AutoPorts a = AssignPortsAutomatically(ports, given, {false, true, false, true});
  const std::array<std::string, 4> paths = {"/dev/ttyS9", arduino, "/dev/ttyS10", "/tmp/com4"};
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(a.paths.Path(n), paths[size_t(n - 1)]);
  const std::string all = " (COM1 to COM4 are all assigned)";
  EXPECT_EQ(a.lines,
            (std::vector<std::string>{
                "COM1 = /dev/ttyS9, built-in UART", "COM2 = " + arduino + " (--port)",
                "COM3 = /dev/ttyS10, built-in UART", "COM4 = /tmp/com4 (--port)",
                "not taken: /dev/ttyS0 (system console)",
                "not taken: /dev/ttyUSB1 (held by gpsd (PID 99))", "not taken: /dev/ttyUSB0" + all,
                "not taken: /dev/rfcomm0" + all, "not taken: /dev/ttyGS0" + all}));
}

// Regression: with no --port, COM1 was the console's /dev/ttyS0 and got the probe's bytes. The
// default mapping now withholds a console and says so; a --port naming one probes it, warned of.
TEST(PortDiscovery, ConsolesAreKeptOffTheDefaultMapping) {
  const std::string usbConsole =
      "device /dev/ttyUSB0 sysname=ttyUSB0 bus=usb by-id=/dev/serial/by-id/usb-x\n"
      "console ttyUSB0\n";
  struct Row {
    std::string machine;
    std::vector<std::pair<int, std::string>> given;  // --port N=PATH
    std::array<const char*, 4> withheld;             // "" where the COM port keeps its path
    std::vector<std::string> warnings;
  };
  const Row rows[] = {
      {"console ttyS0\n", {}, {"/dev/ttyS0", "", "", ""}, {}},
      {"console tty0\nconsole ttyS1\n", {}, {"", "/dev/ttyS1", "", ""}, {}},
      {"", {}, {"", "", "", ""}, {}},
      {"console ttyS0\n", {{1, "/dev/pts/3"}}, {"", "", "", ""}, {}},
      {"console ttyS0\n",
       {{1, "/dev/ttyS0"}},
       {"", "", "", ""},
       {"COM1 (/dev/ttyS0) is a system console; probing it as --port asks"}},
      {usbConsole,
       {{2, "/dev/serial/by-id/usb-x"}},
       {"", "", "", ""},
       {"COM2 (/dev/serial/by-id/usb-x) is a system console; probing it as --port asks"}},
      {"console ttyS2\n",
       {{1, "/dev/ttyS2"}},
       {"", "", "/dev/ttyS2", ""},
       {"COM1 (/dev/ttyS2) is a system console; probing it as --port asks"}},
  };
  for (const Row& r : rows) {
    PortPaths paths;
    std::array<bool, 4> given{};
    for (const auto& [n, path] : r.given) {
      paths.Set(n, path);
      given[size_t(n - 1)] = true;
    }
    const PortPaths before = paths;
    EXPECT_EQ(KeepOffConsoles(paths, given, *Machine(r.machine)), r.warnings) << r.machine;
    for (int n = 1; n <= 4; ++n) {
      const std::string withheld = r.withheld[size_t(n - 1)];
      EXPECT_EQ(paths.Withheld(n), withheld) << r.machine << " COM" << n;
      EXPECT_EQ(paths.Path(n), withheld.empty() ? before.Path(n) : "") << r.machine << " COM" << n;
    }
  }

  // What --probe and the no-tablet details say of the withheld port.
  PortPaths paths;
  KeepOffConsoles(paths, {}, *Machine("console ttyS0\n"));
  FakePort port;
  ProbeOutcomes outcomes;
  ScanPorts(port, &outcomes);
  EXPECT_EQ(DiagnosePorts(outcomes, paths, *Machine("console ttyS0\n"))[0],
            "COM1 /dev/ttyS0: system console, not probed");
}

TEST(FakeSystem, BadDescriptionsAreOneLineErrors) {
  const std::pair<const char*, const char*> rows[] = {
      {"# ok\ndevice", "line 2: expected a path"},
      {"device /x maker=\"Open", "line 1: unclosed quote"},
      {"file /x driver=ftdi_sio", "line 1: unknown key 'driver' for a file"},
      {"device /x rx-trig=0", "line 1: rx-trig must be a number of bytes"},
      {"device /x rx-trig-rw=maybe", "line 1: rx-trig-rw must be yes or no"},
      {"device /x latency-timer=-1", "line 1: latency-timer must be a number of milliseconds"},
  };
  for (const auto& [text, want] : rows) {
    std::string error;
    EXPECT_FALSE(ParseFakeSystem(text, error)) << text;
    EXPECT_EQ(error, want) << text;
  }
}

}  // namespace
}  // namespace vellum::test
