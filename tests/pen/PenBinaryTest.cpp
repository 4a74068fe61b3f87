// The built `vellum --pen` against vellum-tablet, every port given. Where /dev/uinput cannot be
// opened (as on the development machines) it must say why and what to do, and make nothing;
// where it can, the device comes up and SIGTERM removes it. The kernel's side of the device is
// proven in the QEMU guest (tests/vm).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/tablet/Process.h"

namespace vellum {
namespace {

using test::EmulatorProcess;
using test::EnvPath;
using test::RunProgram;
using test::RunResult;

std::vector<std::string> PenArgs(const std::string& com1, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {
      "--foreground", "--preserve-status", "-s", "TERM", "2", EnvPath("VELLUM_BIN"), "--pen",
      "--port",       "1=" + com1};
  for (int n = 2; n <= 4; ++n) {
    args.push_back("--port");
    args.push_back(std::to_string(n) + "=/nonexistent/ttyX" + std::to_string(n));
  }
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

bool UinputWritable() {
  const int fd = ::open("/dev/uinput", O_RDWR | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

TEST(PenBinary, MakesThePenTabletOrSaysWhyNot) {
  EmulatorProcess tablet({"--model", "7"});
  const RunResult r = RunProgram("/usr/bin/timeout", PenArgs(tablet.path()));
  if (UinputWritable()) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.rfind("Vellum pen tablet on /dev/input/event", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\nVellum pen tablet removed: stopped by SIGTERM\n"), std::string::npos)
        << r.err;
  } else {
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("vellum: no pen tablet: cannot open /dev/uinput (", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("modprobe uinput"), std::string::npos) << r.err;
    EXPECT_LT(r.seconds, 1.9) << "it gives up at once, without waiting for the signal";
  }
  EXPECT_TRUE(r.out.empty()) << r.out;
}

// Its own mode: the window's options are refused before anything is opened.
TEST(PenBinary, RefusesTheWindowsOptions) {
  for (const std::vector<std::string>& more :
       {std::vector<std::string>{"--pointer", "uinput"}, {"doc.vlm"}}) {
    const RunResult r = RunProgram("/usr/bin/timeout", PenArgs("/nonexistent/ttyX1", more));
    EXPECT_EQ(r.exitCode, 2) << more[0] << ": " << r.err;
    EXPECT_EQ(r.err.rfind("vellum: --", 0), 0u) << r.err;
  }
}

}  // namespace
}  // namespace vellum
