// The command line's port options, and `--probe`'s per-port lines over a made-up machine.
#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"
#include "app/PortCommands.h"
#include "app/ProbeCommand.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

TEST(CommandLine, PortOptions) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // "" : accepted
    bool autoPorts, listPorts;
  };
  const Row rows[] = {
      {{"--ports", "auto"}, "", true, false},
      {{"--ports=auto", "--port", "2=/x", "--probe"}, "", true, false},
      {{"--list-ports"}, "", false, true},
      {{"--ports", "ttyS0"}, "--ports: only 'auto' is accepted, got 'ttyS0'", false, false},
      {{"--ports="}, "--ports: only 'auto' is accepted, got ''", false, false},
      {{"--ports"}, "--ports: expected auto", false, false},
      {{"--list-ports", "--probe"}, "--list-ports stands alone, not with --probe", false, false},
      {{"--monitor", "--list-ports"},
       "--list-ports stands alone, not with --monitor",
       false,
       false},
      {{"--list-ports", "--ports", "auto"},
       "--list-ports stands alone, not with --ports",
       false,
       false},
      {{"--port", "1=/x", "--list-ports"},
       "--list-ports stands alone, not with --port",
       false,
       false},
  };
  for (const Row& r : rows) {
    const ParsedCommandLine p = ParseCommandLine(r.args);
    EXPECT_EQ(p.error, r.error) << r.args[0];
    if (*r.error != '\0') continue;
    EXPECT_EQ(p.options.autoPorts, r.autoPorts) << r.args[0];
    EXPECT_EQ(p.options.listPorts, r.listPorts) << r.args[0];
  }
  const ParsedCommandLine p = ParseCommandLine({"--port", "3=/x", "--port=1=/y"});
  EXPECT_EQ(p.options.portGiven, (std::array<bool, 4>{true, false, true, false}));
}

std::unique_ptr<ISystemPorts> Machine(const char* text) {
  std::string error;
  auto system = ParseFakeSystem(text, error);
  EXPECT_TRUE(system) << error;
  return system;
}

// The per-port lines follow the answers; this port layer cannot give errno, so the look-ups
// decide for the ports that did not open.
TEST(ProbeCommand, SaysWhatEveryPortDid) {
  FakePort port;
  port.Attach(2, std::make_shared<ScriptedTablet>());
  PortPaths paths;
  for (int n = 1; n <= 4; ++n) paths.Set(n, "/dev/fake" + std::to_string(n));
  const auto machine = Machine("device /dev/fake1 access=denied\ndevice /dev/fake3 holder=gpsd:7");
  std::ostringstream out, err;
  EXPECT_EQ(RunProbeCommand(port, paths, out, err, nullptr, machine.get()), 0);
  EXPECT_EQ(out.str().find("COM2: 7-byte tablet"), 0u);
  EXPECT_EQ(err.str(),
            "COM1 /dev/fake1: permission denied — add yourself to the dialout group (sudo "
            "usermod -aG dialout $USER), then log in again\n"
            "COM2 /dev/fake2: 7-byte tablet\n"
            "COM3 /dev/fake3: held by gpsd (PID 7)\n"
            "COM4 /dev/fake4: no such device\n");
}

TEST(ListPorts, NothingFound) {
  std::ostringstream out, err;
  EXPECT_EQ(RunListPorts(*Machine("device /dev/ttyS3 uart=0"), out, err), 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "vellum: no serial devices found\n");
}

}  // namespace
}  // namespace vellum::test
