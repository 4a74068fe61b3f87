// `vellum --probe`: its report on a scripted line, and the built binary against the emulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/CommandLine.h"
#include "app/ProbeCommand.h"
#include "tablet/Detection.h"
#include "tests/tablet/FakePort.h"
#include "tests/tablet/Process.h"

namespace vellum::test {
namespace {

TEST(ProbeCommand, ListsEveryTabletAndReopensTheFirst) {
  FakePort port;
  auto second = std::make_shared<ScriptedTablet>();
  second->packetLength = 5;
  second->x = 2500;
  second->y = 2250;
  auto fourth = std::make_shared<ScriptedTablet>();
  port.Attach(2, second);
  port.Attach(4, fourth);
  std::ostringstream out, err;
  EXPECT_EQ(RunProbeCommand(port, PortPaths(), out, err), 0);
  EXPECT_EQ(out.str(),
            "COM2: 5-byte tablet, range 2500 x 2250, 5''x4.50'', 500LPI\n"
            "COM4: 7-byte tablet, range 5000 x 3750, 5''x3.75'', 1000LPI\n");
  EXPECT_EQ(port.OpenCount(2), 2);
  EXPECT_EQ(port.OpenCount(4), 1);
  EXPECT_FALSE(port.IsOpen());
}

TEST(ProbeCommand, NoTabletPrintsTheMessage) {
  FakePort port;
  PortPaths paths;
  for (int n = 1; n <= 4; ++n) paths.Set(n, "/nonexistent/ttyX" + std::to_string(n));
  std::ostringstream out, err;
  EXPECT_EQ(RunProbeCommand(port, paths, out, err), 1);
  EXPECT_EQ(out.str(), std::string(kNoTabletMessage3) + "\n");
}

TEST(CommandLine, Parsing) {
  struct Row {
    std::vector<std::string> args;
    bool ok, probe;
    std::string com2;
  };
  for (const Row& r :
       {Row{{"--probe"}, true, true, "/dev/ttyS1"},
        Row{{"--port", "2=/dev/pts/3", "--probe"}, true, true, "/dev/pts/3"},
        Row{{"--port=2=/tmp/x"}, true, false, "/tmp/x"}, Row{{"--port"}, false, false, ""},
        Row{{"--port", "5=/x"}, false, false, ""}, Row{{"--port", "2"}, false, false, ""},
        Row{{"--port", "2="}, false, false, ""}, Row{{"--frobnicate"}, false, false, ""}}) {
    const ParsedCommandLine p = ParseCommandLine(r.args);
    EXPECT_EQ(p.error.empty(), r.ok) << p.error;
    if (r.ok) {
      EXPECT_EQ(p.options.probe, r.probe);
      EXPECT_EQ(p.options.ports.Path(2), r.com2);
    }
  }
}

// A plain argument is the document the window opens; an option's value stays the option's.
// --pointer takes one of three values (none given: the desktop chooses).
TEST(CommandLine, DocumentArgument) {
  using platform::PointerKind;
  struct Row {
    std::vector<std::string> args;
    const char* error;  // start of the error, "" when the line is fine
    const char* document;
    PointerKind pointer = PointerKind::kAuto;
  };
  const Row rows[] = {
      {{"notes.vlm"}, "", "notes.vlm"},
      {{"--port", "1=/dev/pts/3", "notes.vlm", "--record", "cap.txt"}, "", "notes.vlm"},
      {{"--record", "cap.txt", "my notes"}, "", "my notes"},
      {{"--port", "2=/x"}, "", ""},
      {{"a.vlm", "b.vlm"}, "unexpected argument 'b.vlm'", ""},
      {{"-x"}, "unknown option '-x'", ""},
      {{"-"}, "unknown option '-'", ""},
      {{""}, "unknown option ''", ""},
      {{"--probe", "a.vlm"}, "a DOCUMENT opens in the window only", ""},
      {{"a.vlm", "--monitor"}, "a DOCUMENT opens in the window only", ""},
      {{"--pointer", "x11"}, "", "", PointerKind::kX11},
      {{"--pointer=uinput"}, "", "", PointerKind::kUinput},
      {{"--pointer", "none", "notes.vlm"}, "", "notes.vlm", PointerKind::kNone},
      {{"--pointer"}, "--pointer: expected x11, uinput or none", ""},
      {{"--pointer", "wayland"}, "--pointer: expected x11, uinput or none, got 'wayland'", ""},
      {{"--pointer", "X11"}, "--pointer: expected x11, uinput or none, got 'X11'", ""},
  };
  for (const Row& r : rows) {
    const ParsedCommandLine p = ParseCommandLine(r.args);
    EXPECT_EQ(p.error.rfind(r.error, 0), 0u) << r.args[0] << ": " << p.error;
    if (*r.error != '\0') continue;
    EXPECT_EQ(p.options.document, r.document) << r.args[0];
    EXPECT_EQ(p.options.pointer, r.pointer) << r.args[0];
  }
}

// One grammar for every option: "--name value" and "--name=value" alike, names given whole,
// "--" ends the options, -h is --help.
TEST(CommandLine, Grammar) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // the whole error, "" when the line is fine
    const char* record = "";
    const char* document = "";
  };
  const Row rows[] = {
      {{"--record=a=b"}, "", "a=b"},
      {{"--record", "--probe"}, "", "--probe"},  // a value may look like an option
      {{"--rec", "x"}, "unknown option '--rec' (try --help)"},
      {{"--prob"}, "unknown option '--prob' (try --help)"},
      {{"--po=1=/x"}, "unknown option '--po=1=/x' (try --help)"},
      {{"--probe=yes"}, "--probe takes no value"},
      {{"--help=1"}, "--help takes no value"},
      {{"--port"}, "--port: expected N=PATH"},
      {{"--", "-notes.vlm"}, "unknown option '-notes.vlm' (try --help)"},
      {{"--", "notes.vlm"}, "", "", "notes.vlm"},
      {{"notes.vlm", "--record", "r.cap"}, "", "r.cap", "notes.vlm"},
  };
  for (const Row& r : rows) {
    const ParsedCommandLine p = ParseCommandLine(r.args);
    EXPECT_EQ(p.error, r.error) << r.args[0];
    if (*r.error != '\0') continue;
    EXPECT_EQ(p.options.record, r.record) << r.args[0];
    EXPECT_EQ(p.options.document, r.document) << r.args[0];
  }
  EXPECT_TRUE(ParseCommandLine({"-h"}).options.help);
  EXPECT_TRUE(ParseCommandLine({"--version"}).options.version);
  // Parsing twice starts afresh each time.
  EXPECT_EQ(ParseCommandLine({"--monitor", "--stats"}).error, "");
  EXPECT_EQ(ParseCommandLine({"--monitor", "--stats"}).error, "");
}

// ---- the built binaries ------------------------------------------------------------------

std::vector<std::string> PortArgs(std::vector<std::string> paths) {
  std::vector<std::string> args = {"--probe"};
  paths.resize(4);
  for (int n = 1; n <= 4; ++n) {
    const std::string& p = paths[size_t(n - 1)];
    args.push_back("--port");
    args.push_back(std::to_string(n) + "=" +
                   (p.empty() ? "/nonexistent/ttyX" + std::to_string(n) : p));
  }
  return args;
}

TEST(ProbeBinary, FindsSevenByteOnCom1AndFiveByteOnCom2) {
  EmulatorProcess seven({"--model", "7", "--range", "5000", "3750"});
  EmulatorProcess five({"--model", "5", "--range", "2500", "2250"});
  const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), PortArgs({seven.path(), five.path()}));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "COM1: 7-byte tablet, range 5000 x 3750, 5''x3.75'', 1000LPI\n"
            "COM2: 5-byte tablet, range 2500 x 2250, 5''x4.50'', 500LPI\n");
  EXPECT_LT(r.seconds, 5.0);
}

TEST(ProbeBinary, MissingPortsNoTablet) {
  const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), PortArgs({}));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, std::string(kNoTabletMessage3) + "\n");
  EXPECT_LT(r.seconds, 2.0);
}

TEST(ProbeBinary, RegularFileIsNoTablet) {
  char name[] = "/tmp/vellum-notatty-XXXXXX";
  const int fd = ::mkstemp(name);
  ASSERT_GE(fd, 0);
  const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), PortArgs({name}));
  ::close(fd);
  ::unlink(name);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, std::string(kNoTabletMessage3) + "\n");
}

TEST(ProbeBinary, PortHeldByAnotherProgramMeansADriver) {
  EmulatorProcess tablet({"--model", "7"});
  const int fd = ::open(tablet.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), PortArgs({tablet.path()}));
  ::close(fd);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, std::string(kNoTabletMessage2) + "\n");
}

TEST(ProbeBinary, SilentDeviceCostsTwoPauses) {
  EmulatorProcess silent({"--fault", "silent"});
  const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), PortArgs({silent.path()}));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, std::string(kNoTabletMessage3) + "\n");
  EXPECT_LT(r.seconds, 2.0);
}

std::vector<uint8_t> LoggedBytes(const std::string& path) {
  std::ifstream in(path);
  std::vector<uint8_t> bytes;
  double ms;
  std::string hex;
  while (in >> ms >> hex) bytes.push_back(uint8_t(std::stoi(hex, nullptr, 16)));
  return bytes;
}

// The dialogue on the wire, as the emulator saw it; the final open writes nothing.
TEST(ProbeBinary, BytesOnTheWire) {
  for (const char* model : {"7", "5"}) {
    char log[] = "/tmp/vellum-writes-XXXXXX";
    ::close(::mkstemp(log));
    {
      EmulatorProcess tablet({"--model", model, "--log-writes", log});
      const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), PortArgs({tablet.path()}));
      EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    EXPECT_EQ(LoggedBytes(log), (std::vector<uint8_t>{0x13, 'z', '~', 'a', '@', 0x11})) << model;
    ::unlink(log);
  }
}

TEST(ProbeBinary, BadPortOptionIsOneLineAndExit2) {
  for (const char* bad : {"5=/dev/x", "1=", "/dev/x", "0=/dev/x"}) {
    const RunResult r = RunProgram(EnvPath("VELLUM_BIN"), {"--probe", "--port", bad});
    EXPECT_EQ(r.exitCode, 2) << bad;
    EXPECT_TRUE(r.out.empty()) << bad;
    ASSERT_FALSE(r.err.empty()) << bad;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << bad << ": " << r.err;
  }
}

}  // namespace
}  // namespace vellum::test
