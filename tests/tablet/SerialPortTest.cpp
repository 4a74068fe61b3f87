// SerialPort over a pseudo-terminal, and the driver check behind the no-tablet message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "tablet/Detection.h"
#include "tablet/TabletLink.h"
#include "tests/tablet/Pty.h"

namespace vellum::test {
namespace {

PortPaths OnlyCom1(const std::string& path) {
  PortPaths paths;
  paths.Set(1, path);
  for (int n = 2; n <= 4; ++n) paths.Set(n, "/nonexistent/ttyX" + std::to_string(n));
  return paths;
}

class TempFile {
 public:
  TempFile() {
    char name[] = "/tmp/vellum-port-XXXXXX";
    fd_ = ::mkstemp(name);
    path_ = name;
  }
  ~TempFile() {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

TEST(SerialPort, EmptyReadSucceedsAtOnce) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialPort port(OnlyCom1(pty.path()));
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  const auto start = std::chrono::steady_clock::now();
  const ReadResult r = port.ReadByte();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.count, 0u);
  EXPECT_EQ(port.InputQueueCount(), 0u);
}

TEST(SerialPort, FlowControlAndLineEndBytesAreData) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialPort port(OnlyCom1(pty.path()));
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  const std::vector<uint8_t> bytes = {0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0xFF, 0x00};
  pty.Send(bytes);
  std::vector<uint8_t> got;
  for (int tries = 0; got.size() < bytes.size() && tries < 1000; ++tries) {
    const ReadResult r = port.ReadByte();
    ASSERT_TRUE(r.ok);
    if (r.count) {
      got.push_back(r.byte);
    } else {
      pollfd p{port.PollFd(), POLLIN, 0};
      ::poll(&p, 1, 10);
    }
  }
  EXPECT_EQ(got, bytes);
  port.Write(bytes.data(), bytes.size());
  EXPECT_EQ(pty.Receive(bytes.size()), bytes);
}

TEST(SerialPort, ReadAfterCloseFailsAndReopenWorks) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialPort port(OnlyCom1(pty.path()));
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  port.Close();
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.ReadByte().ok);
  EXPECT_EQ(port.PollFd(), -1);
  // TIOCEXCL must not outlive the close.
  EXPECT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
}

// A pty's driver keeps no error counters: "n/a", never a 0 that was not measured.
TEST(SerialPort, LineErrorsOfAPtyAreNotAvailable) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialPort port(OnlyCom1(pty.path()));
  EXPECT_FALSE(port.LineErrors().has_value()) << "closed";
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  pty.Send({0x98, 0x01});
  EXPECT_FALSE(port.LineErrors().has_value());
}

TEST(SerialPort, HangUpFailsTheRead) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialPort port(OnlyCom1(pty.path()));
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  EXPECT_EQ(port.ReadFailure(), "");
  pty.CloseMaster();
  EXPECT_FALSE(port.ReadByte().ok);
  EXPECT_EQ(port.ReadFailure(), "the line hung up");
  port.Close();
  EXPECT_FALSE(port.ReadByte().ok);
  EXPECT_EQ(port.ReadFailure(), "the port was closed");
}

TEST(SerialPort, OpenOutcomes) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  TempFile file;
  struct Row {
    std::string path;
    OpenResult expected;
  };
  for (const Row& r : {Row{"/nonexistent/ttyX1", OpenResult::kOpenFailed},
                       Row{file.path(), OpenResult::kSettingsFailed},
                       Row{"/dev/null", OpenResult::kSettingsFailed}}) {
    SerialPort port(OnlyCom1(r.path));
    EXPECT_EQ(port.Open(1), r.expected) << r.path << ": " << port.LastError();
    EXPECT_FALSE(port.IsOpen());
  }
  SerialPort port(OnlyCom1(pty.path()));
  EXPECT_EQ(port.Open(0), OpenResult::kOpenFailed);
  EXPECT_EQ(port.Open(5), OpenResult::kOpenFailed);
}

TEST(SerialPort, HeldPortIsRefusedAndMeansADriver) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const PortPaths paths = OnlyCom1(pty.path());
  EXPECT_EQ(ChooseNoTabletMessage(paths), kNoTabletMessage3);
  {
    SerialPort holder(paths);
    ASSERT_EQ(holder.Open(1), OpenResult::kOk) << holder.LastError();
    SerialPort second(paths);
    EXPECT_EQ(second.Open(1), OpenResult::kOpenFailed);
    EXPECT_EQ(ChooseNoTabletMessage(paths), kNoTabletMessage2);
  }
  const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  SerialPort port(paths);
  EXPECT_EQ(port.Open(1), OpenResult::kOpenFailed) << port.LastError();
  EXPECT_EQ(ChooseNoTabletMessage(paths), kNoTabletMessage2);
  ::close(fd);
  EXPECT_EQ(ChooseNoTabletMessage(paths), kNoTabletMessage3);
}

// A locked regular file is no driver: only ttys count.
TEST(NoTabletMessage, LockedFileIsNoDriver) {
  TempFile file;
  const int fd = ::open(file.path().c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(ChooseNoTabletMessage(OnlyCom1(file.path())), kNoTabletMessage3);
  ::close(fd);
}

TEST(NoTabletMessage, LineBreaksAreLfCrAndNoneAtTheEnd) {
  for (const char* m : {kNoTabletMessage1, kNoTabletMessage2, kNoTabletMessage3}) {
    const std::string text = m;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        ASSERT_LT(i + 1, text.size());
        EXPECT_EQ(text[i + 1], '\r');
      }
      if (text[i] == '\r') {
        ASSERT_GT(i, 0u);
        EXPECT_EQ(text[i - 1], '\n');
      }
    }
    EXPECT_NE(text.back(), '\r');
  }
  EXPECT_EQ(std::string(kNoTabletMessage1).substr(0, std::string(kNoTabletMessage3).size() + 4),
            std::string(kNoTabletMessage3) + "\n\r\n\r");
}

TEST(PortPaths, DefaultsAndAssignments) {
  PortPaths paths;
  EXPECT_EQ(paths.Path(1), "/dev/ttyS0");
  EXPECT_EQ(paths.Path(4), "/dev/ttyS3");
  struct Row {
    const char* arg;
    bool ok;
  };
  for (const Row& r : {Row{"2=/dev/pts/7", true}, Row{"4=x=y", true}, Row{"0=/dev/x", false},
                       Row{"5=/dev/x", false}, Row{"/dev/x", false}, Row{"1=", false},
                       Row{"=/dev/x", false}, Row{"1a=/dev/x", false}, Row{"-1=/dev/x", false},
                       Row{" 1=/dev/x", false}, Row{"99999999999=/dev/x", false}}) {
    PortPaths p;
    const std::string error = p.ParseAssignment(r.arg);
    EXPECT_EQ(error.empty(), r.ok) << r.arg << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    if (!r.ok) {
      for (int n = 1; n <= 4; ++n) EXPECT_EQ(p.Path(n), PortPaths().Path(n)) << r.arg;
    }
  }
  PortPaths p;
  EXPECT_EQ(p.ParseAssignment("4=x=y"), "");
  EXPECT_EQ(p.Path(4), "x=y");
}

}  // namespace
}  // namespace vellum::test
