// The reader on its own thread over a pty: packets flow, and a stop from another thread ends the
// idle wait at once.
#include <gtest/gtest.h>

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
