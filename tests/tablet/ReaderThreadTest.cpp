// The reader on its own thread over a pty: packets flow, and a stop from another thread ends the
// idle wait at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "tablet/Reader.h"
#include "tests/support/RecordingSink.h"
#include "tests/tablet/FakePort.h"
#include "tests/tablet/Pty.h"

namespace vellum::test {
namespace {

TEST(ReaderThread, PacketsFlowAndStopWakesTheWait) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  PortPaths paths;
  paths.Set(1, pty.path());
  SerialPort port(paths);
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();

  ReaderConfig config{1024, 768, 5000, 3750, 7};
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  std::atomic<int> result{-1};
  std::thread reader([&] { result = RunReader(port, config, sink, stop, &waker); });

  std::vector<uint8_t> stream;
  for (int i = 0; i < 20; ++i) {
    const auto p = Packet7(i & 7, 100 * i, 50 * i, i);
    stream.insert(stream.end(), p.begin(), p.end());
  }
  pty.Send(stream);
  // The reader runs free; wait for it with a generous deadline rather than a fixed sleep.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (sink.count.load() < 20 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_EQ(sink.count.load(), 20);

  stop = true;
  waker.Wake();
  reader.join();
  port.Close();
  EXPECT_EQ(result.load(), 0);
}

// A line over a pipe that counts the reader's reads: what an idle tablet costs.
class PipePort final : public IPort {
 public:
  PipePort() {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~PipePort() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  void Send(std::vector<uint8_t> bytes) {
    EXPECT_EQ(::write(fds_[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  int Reads() const { return reads_.load(); }

  OpenResult Open(int) override { return OpenResult::kOk; }
  void Write(const uint8_t*, size_t) override {}
  ReadResult ReadByte() override {
    reads_.fetch_add(1);
    uint8_t b = 0;
    const ssize_t n = ::read(fds_[0], &b, 1);
    if (n == 1) return {true, 1, b};
    return {n < 0 && errno == EAGAIN, 0, 0};
  }
  uint32_t InputQueueCount() override { return 0; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Pause(int) override { ADD_FAILURE() << "a port with a descriptor is waited on, not paused"; }
  int64_t NowMs() const override { return 0; }
  int PollFd() const override { return fds_[0]; }

 private:
  int fds_[2];
  std::atomic<int> reads_{0};
};

bool SettlesAt(const PipePort& port, int reads) {
  // The loop is free-running until it blocks; give it time to show any further read.
  for (int i = 0; i < 200 && port.Reads() < reads; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  return port.Reads() == reads;
}

// An idle line costs one read, then no wake-up until a byte or a stop: the old bounded wait read
// eight times in those 40 ms. A filler byte still buys exactly one bounded pause.
TEST(ReaderThread, IdleLineWaitsWithoutWakingUp) {
  PipePort port;
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  std::thread reader([&] { RunReader(port, {1024, 768, 5000, 3750, 7}, sink, stop, &waker); });
  EXPECT_TRUE(SettlesAt(port, 1)) << port.Reads() << " reads";

  port.Send(Packet7(1, 2500, 1875, 300));  // 7 reads, then one empty read and the wait again
  EXPECT_TRUE(SettlesAt(port, 9)) << port.Reads() << " reads";
  EXPECT_EQ(sink.count.load(), 1);

  port.Send({0x80});  // the filler, its pause, one empty read
  EXPECT_TRUE(SettlesAt(port, 11)) << port.Reads() << " reads";

  stop = true;
  waker.Wake();
  reader.join();
  EXPECT_EQ(port.Reads(), 11) << "the stop ended the wait without another read";
}

// The hang-up of the line (adapter unplugged) ends the loop by itself.
TEST(ReaderThread, HangUpEndsTheLoop) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  PortPaths paths;
  paths.Set(1, pty.path());
  SerialPort port(paths);
  ASSERT_EQ(port.Open(1), OpenResult::kOk) << port.LastError();
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  std::thread reader([&] { RunReader(port, {1024, 768, 2500, 2250, 5}, sink, stop, &waker); });
  pty.CloseMaster();
  reader.join();
  EXPECT_FALSE(stop.load());
}

}  // namespace
}  // namespace vellum::test
