// `vellum --probe` against emulators on ptys: the per-port lines, the verdict, the exit status and
// the no-tablet message, including the "held by a driver" cases.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "tablet/Detection.h"
#include "tests/tools/EmulatorPorts.h"
#include "tools/probe/ProbeCommand.h"

namespace vellum::test {
namespace {

struct ProbeRun {
  int status;
  std::string out;
  std::string err;
};

ProbeRun Probe(const PortPaths& paths) {
  SerialPort port(paths);
  std::ostringstream out, err;
  const int status = RunProbeCommand(port, out, err);
  EXPECT_FALSE(port.IsOpen());
  return {status, out.str(), err.str()};
}

// Holds a device the way another program would.
class Holder {
 public:
  explicit Holder(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~Holder() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

TEST(ProbeCommand, ReportsEachPortAndTheTabletUsed) {
  EmulatorPorts ports;
  ports.Add(2, Tablet(7, 5000, 3750));
  ports.Add(4, Tablet(5, 9000, 2250));
  const ProbeRun run = Probe(ports.paths);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::string want =
      "COM1 (/nonexistent/vellum-test-com1): no tablet (open: No such file or directory)\n"
      "COM2 (" + ports.paths.Path(2) + "): 7-byte tablet, range 5000 x 3750 at 1000 lines per inch\n"
      "COM3 (/nonexistent/vellum-test-com3): no tablet (open: No such file or directory)\n"
      "COM4 (" + ports.paths.Path(4) + "): 5-byte tablet, range 9000 x 2250 at 500 lines per inch"
      ", not used: COM2 answered first\n"
      "Tablet found on COM2.\n";
  EXPECT_EQ(run.out, want);
}

TEST(ProbeCommand, NoTabletGivesMessageAndStatus1) {
  EmulatorPorts ports;
  ports.Add(1, Tablet(7, 5000, 3750, emu::Fault::kSilent));
  const ProbeRun run = Probe(ports.paths);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string(kNoTabletMessage3) + "\n");
  EXPECT_NE(run.out.find("COM1 (" + ports.paths.Path(1) + "): no tablet\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("Tablet found"), std::string::npos);
}

TEST(ProbeCommand, PortHeldByAnotherProgramMeansADriver) {
  EmulatorPorts ports;
  ports.Add(3, Tablet(7));
  Holder holder(ports.paths.Path(3));
  ASSERT_GE(holder.fd(), 0);
  ASSERT_EQ(::flock(holder.fd(), LOCK_EX | LOCK_NB), 0);
  const ProbeRun run = Probe(ports.paths);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string(kNoTabletMessage2) + "\n");
  EXPECT_NE(run.out.find("COM3 (" + ports.paths.Path(3) + "): no tablet (flock: "),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace vellum::test
