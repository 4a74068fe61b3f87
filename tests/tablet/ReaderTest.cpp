// One packet's event, and the loop over a scripted byte stream.
#include <gtest/gtest.h>

#include "tablet/LineStats.h"
#include "tablet/Reader.h"
#include "tests/support/MemoryPort.h"
#include "tests/support/RecordingSink.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

ReaderConfig Config(int length, int maxX = 5000, int maxY = 3750) {
  return {1024, 768, maxX, maxY, length};
}

TEST(DecodeEvent, ScalesToTheClientAreaWithYTurned) {
  struct Row {
    int x, y;
    Point client;
  };
  for (const Row& r : {Row{2500, 3750, {512, 0}}, Row{1, 0, {0, 768}}, Row{3, 1875, {1, 384}},
                       Row{5001, 3751, {1024, 0}}, Row{10000, 7500, {2048, -768}}}) {
    const TabletEvent e = DecodeEvent(Packet5(0, r.x, r.y).data(), Config(5));
    EXPECT_EQ(e.client, r.client) << r.x << "," << r.y;
    EXPECT_EQ(e.x, r.x);
    EXPECT_EQ(e.y, r.y) << "the event keeps the tablet's own Y";
  }
}

TEST(DecodeEvent, CodeAndPressureByPacketLength) {
  const TabletEvent seven = DecodeEvent(Packet7(5, 10, 20, 300).data(), Config(7));
  EXPECT_EQ(seven, (TabletEvent{5, 10, 20, 300, {2, 764}, 0}));
  // A 5-byte packet has no pressure, whatever follows it in the buffer.
  const auto bytes = Packet7(6, 10, 20, 300);
  EXPECT_EQ(DecodeEvent(bytes.data(), Config(5)).pressure, 0);
  EXPECT_EQ(DecodeEvent(bytes.data(), Config(5)).code, 6);
}

TEST(RunReader, FillerInsidePacketCostsOnePauseAndKeepsThePacket) {
  const auto p = Packet7(1, 2500, 1875, 300);
  MemoryPort port({p[0], p[1], p[2], p[3], 0x80, p[4], p[5], p[6], MemoryPort::kEmpty});
  RecordingSink sink;
  std::atomic<bool> stop{false};
  struct Tap : IByteTap {
    void OnBytes(const uint8_t* b, size_t n) override { bytes.insert(bytes.end(), b, b + n); }
    std::vector<uint8_t> bytes;
  } tap;
  EXPECT_EQ(RunReader(port, Config(7), sink, stop, nullptr, &tap), 0);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].client, (Point{512, 384}));
  // Read at the port's clock: a millisecond a read, five for the filler's pause.
  EXPECT_EQ(sink.events[0].timeUs, 13'000);
  EXPECT_EQ(port.Pauses(), (std::vector<int>{5, 5}));  // the filler and the empty read
  EXPECT_EQ(tap.bytes, (std::vector<uint8_t>{p[0], p[1], p[2], p[3], 0x80, p[4], p[5], p[6]}));
  EXPECT_EQ(port.Reads(), 10);  // the last one fails and ends the loop
}

TEST(RunReader, StopIsCheckedBeforeTheFirstRead) {
  MemoryPort port({0x98});
  RecordingSink sink;
  std::atomic<bool> stop{true};
  EXPECT_EQ(RunReader(port, Config(5), sink, stop, nullptr), 0);
  EXPECT_EQ(port.Reads(), 0);
}

TEST(RunReader, DiscardedAndDataBytesCostNoPause) {
  MemoryPort port({0x00, 0xC8, 0x11});
  port.Add(Packet5(3, 2500, 2250));
  RecordingSink sink;
  std::atomic<bool> stop{false};
  RunReader(port, Config(5, 2500, 2250), sink, stop, nullptr);
  EXPECT_TRUE(port.Pauses().empty());
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].code, 3);
}

// The loop feeds the line's figures: each packet at its time, every byte the assembler drops,
// but not the filler.
TEST(RunReader, FeedsTheLineFigures) {
  const auto p = Packet5(3, 2500, 2250);
  MemoryPort port({0x00, 0xC8, 0x11, 0x80});              // 3 garbled, then filler
  port.Add({p[0], p[1], p[2]});                           // cut short by the next start: 3
  for (int i = 0; i < 4; ++i) port.Add(Packet5(3, 2500, 2250));
  LineStats stats;
  ReaderConfig config = Config(5, 2500, 2250);
  config.stats = &stats;
  RecordingSink sink;
  std::atomic<bool> stop{false};
  RunReader(port, config, sink, stop, nullptr);
  ASSERT_EQ(sink.events.size(), 4u);
  const LineSummary s = stats.Summary();
  EXPECT_EQ(s.packets, 4);
  EXPECT_EQ(s.garbled, 6u);
  // A read is a millisecond on this port: packets 5 ms apart.
  EXPECT_NEAR(s.seconds, 0.015, 1e-9);
}

// The quiet watch is told once its deadline has passed on the port's clock with nothing
// waiting: bytes still to be read (a reader held up behind a burst) are no quiet line.
TEST(RunReader, QuietWatchOnlyWhenNothingWaits) {
  struct Watch final : IQuietWatch {
    int64_t QuietDeadlineUs() const override { return deadline; }
    void OnQuiet(int64_t nowUs) override {
      calls.push_back(nowUs);
      deadline = -1;
    }
    int64_t deadline = 10'000;
    std::vector<int64_t> calls;
  };
  struct Row {
    const char* name;
    std::vector<int> reads;
    std::vector<int64_t> calls;  // the port's clock at each call
  };
  std::vector<int> busy(20, 0x05);  // data bytes outside any packet, a millisecond a read
  std::vector<int> idle = {MemoryPort::kEmpty, MemoryPort::kEmpty, MemoryPort::kEmpty};
  const Row rows[] = {
      {"quiet line", idle, {12'000}},  // reads at 1 and 7 ms, each then 5 ms of pause
      {"bytes waiting past the deadline", busy, {20'000}},  // once the last one is read
  };
  for (const Row& r : rows) {
    MemoryPort port(r.reads);
    Watch watch;
    ReaderConfig config = Config(7);
    config.quiet = &watch;
    RecordingSink sink;
    std::atomic<bool> stop{false};
    RunReader(port, config, sink, stop, nullptr);
    EXPECT_EQ(watch.calls, r.calls) << r.name;
  }
}

}  // namespace
}  // namespace vellum::test
