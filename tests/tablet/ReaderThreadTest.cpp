// The reader on its own thread over a pty: packets flow, and a stop from another thread ends the
// idle wait at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "tablet/Reader.h"
#include "tests/support/RecordingSink.h"
#include "tests/tablet/FakePort.h"
#include "tests/tablet/Pty.h"

namespace vellum::test {
namespace {

using namespace std::chrono_literals;

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
  PipePort() { EXPECT_EQ(::pipe2(fds_, O_NONBLOCK | O_CLOEXEC), 0); }
  ~PipePort() override {
    for (int fd : fds_) ::close(fd);
  }
  void Send(std::vector<uint8_t> b) {
    EXPECT_EQ(::write(fds_[1], b.data(), b.size()), ssize_t(b.size()));
  }
  ReadResult ReadByte() override {
    ++reads;
    uint8_t b = 0;
    const ssize_t n = ::read(fds_[0], &b, 1);
    return n == 1 ? ReadResult{true, 1, b} : ReadResult{n < 0 && errno == EAGAIN, 0, 0};
  }
  void Pause(int) override { ADD_FAILURE() << "a port with a descriptor is waited on, not paused"; }
  int PollFd() const override { return fds_[0]; }
  void SetPollThreshold(int bytes) override {
    std::lock_guard lock(mutex_);
    thresholds_.push_back(bytes);
  }
  std::vector<int> Thresholds() const {
    std::lock_guard lock(mutex_);
    return thresholds_;
  }
  OpenResult Open(int) override { return OpenResult::kOk; }
  void Write(const uint8_t*, size_t) override {}
  uint32_t InputQueueCount() override { return 0; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  int64_t NowMs() const override { return 0; }
  int64_t NowUs() const override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::atomic<int> reads{0};

 private:
  int fds_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::vector<int> thresholds_;
};

// An idle line costs one read, then no wake-up until a byte or a stop (a bounded wait would read
// again within the 40 ms each step watches); a filler byte buys exactly one bounded pause.
TEST(ReaderThread, IdleLineWaitsWithoutWakingUp) {
  PipePort port;
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  std::thread reader([&] { RunReader(port, {1024, 768, 5000, 3750, 7}, sink, stop, &waker); });
  const auto settlesAt = [&](int reads) {
    for (int i = 0; i < 200 && port.reads < reads; ++i) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(40ms);  // time to show any further read
    EXPECT_EQ(port.reads, reads);
  };
  settlesAt(1);
  port.Send(Packet7(1, 2500, 1875, 300));  // 7 reads, then the wait for the next packet
  settlesAt(8);
  EXPECT_EQ(sink.count.load(), 1);
  port.Send({0x80});  // the filler, its pause, one empty read
  settlesAt(10);
  port.Send({0x9A, 0x10, 0x20});  // a packet's first three bytes: the wait is for the other four
  settlesAt(14);
  stop = true;
  waker.Wake();
  reader.join();
  EXPECT_EQ(port.reads, 14) << "the stop ended the wait without another read";
  // Each wait asks for what would complete a packet; the filler's bounded pause for any byte.
  EXPECT_EQ(port.Thresholds(), (std::vector<int>{7, 7, 1, 7, 4}));
}

// Regression: the reader woke for every byte of a packet (872 times a second at the line rate),
// each wake a poll, two reads and a context switch. Over a tty it now wakes once a packet, when
// the packet's last byte is there.
TEST(ReaderThread, WakesOncePerPacketOnATty) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  PortPaths paths;
  paths.Set(1, pty.path());
  SerialPort serial(paths);
  ASSERT_EQ(serial.Open(1), OpenResult::kOk) << serial.LastError();
  class CountingPort final : public IPort {
   public:
    explicit CountingPort(SerialPort& inner) : inner_(inner) {}
    ReadResult ReadByte() override {
      const ReadResult r = inner_.ReadByte();
      if (r.ok && r.count == 0) ++emptyReads;
      return r;
    }
    int PollFd() const override { return inner_.PollFd(); }
    void SetPollThreshold(int bytes) override {
      if (bytes != threshold_) ++thresholdChanges;
      threshold_ = bytes;
      inner_.SetPollThreshold(bytes);
    }
    int64_t NowUs() const override { return inner_.NowUs(); }
    int64_t NowMs() const override { return inner_.NowMs(); }
    OpenResult Open(int) override { return OpenResult::kOk; }
    void Write(const uint8_t*, size_t) override {}
    uint32_t InputQueueCount() override { return inner_.InputQueueCount(); }
    void Close() override {}
    bool IsOpen() const override { return true; }
    void Pause(int) override {}
    std::atomic<int> emptyReads{0};
    std::atomic<int> thresholdChanges{0};

   private:
    SerialPort& inner_;
    int threshold_ = 1;
  } port(serial);
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  std::thread reader([&] { RunReader(port, {1024, 768, 5000, 3750, 7}, sink, stop, &waker); });
  constexpr int kPackets = 12;
  for (int i = 0; i < kPackets; ++i) {
    for (uint8_t b : Packet7(1, 100 * i, 50 * i, 300)) {  // a byte at a time, as a UART sends
      pty.Send({b});
      std::this_thread::sleep_for(1ms);
    }
  }
  for (int i = 0; i < 2000 && sink.count.load() < kPackets; ++i) std::this_thread::sleep_for(1ms);
  stop = true;
  waker.Wake();
  reader.join();
  EXPECT_EQ(sink.count.load(), kPackets);
  // A wait a packet, for its seven bytes; a byte-by-byte wake had seven empty reads a packet.
  EXPECT_LE(port.emptyReads.load(), kPackets / 2);
  // The threshold is set once, not twice a packet.
  EXPECT_LE(port.thresholdChanges.load(), 2);
}

// A quiet watch's deadline ends the idle wait once, on time; with the deadline gone the wait is
// endless again (a pen out of proximity costs no wake-ups).
TEST(ReaderThread, AQuietDeadlineEndsTheIdleWaitOnce) {
  PipePort port;
  struct Watch final : IQuietWatch {
    int64_t QuietDeadlineUs() const override { return deadline.load(); }
    void OnQuiet(int64_t nowUs) override {
      calledAt = nowUs;
      deadline = -1;
      ++calls;
    }
    std::atomic<int64_t> deadline{-1}, calledAt{0};
    std::atomic<int> calls{0};
  } watch;
  ReaderConfig config{1024, 768, 5000, 3750, 7};
  config.quiet = &watch;
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  const int64_t deadline = port.NowUs() + 20'000;
  watch.deadline = deadline;
  std::thread reader([&] { RunReader(port, config, sink, stop, &waker); });
  for (int i = 0; i < 2000 && watch.calls == 0; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(watch.calls, 1);
  EXPECT_GE(watch.calledAt, deadline);
  std::this_thread::sleep_for(40ms);
  EXPECT_EQ(port.reads, 2) << "one read before the deadline, one after it, then no more";
  EXPECT_EQ(watch.calls, 1);
  stop = true;
  waker.Wake();
  reader.join();
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
