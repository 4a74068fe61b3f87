// The line's figures from streams whose properties are known, on a virtual clock: every byte is
// pushed through the data-stream assembler at the time the line would deliver it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "tablet/LineStats.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

constexpr double kByteUs = 11.0 * 1e6 / 9600.0;  // 1145.83 us on the line

// A byte stream with the time each byte has arrived; a dropped packet leaves its time empty.
struct Line {
  explicit Line(int packetLength = 7) : length(packetLength) {}
  int length;
  double nowUs = 0;
  std::vector<std::pair<int64_t, uint8_t>> bytes;

  void Send(const std::vector<uint8_t>& b) {
    for (uint8_t v : b) bytes.emplace_back(int64_t(std::llround(nowUs += kByteUs)), v);
  }
  void Packet(int code, int x, int y) {
    Send(length == 7 ? Packet7(code, x, y, 100) : Packet5(code, x, y));
  }
};

// Feeds the bytes as the reader does: fillers never reach the assembler.
void Feed(const Line& line, LineStats& stats) {
  PacketAssembler assembler(line.length);
  for (const auto& [t, b] : line.bytes) {
    if (b == 0x80) continue;
    const int position = assembler.Position();
    const PacketAssembler::Step step = assembler.Push(b);
    if (step == PacketAssembler::Step::kComplete) {
      const TabletPacket p = assembler.Packet();
      stats.OnPacket(t, p.buttons, p.x, p.y);
    } else {
      stats.OnAssemblerStep(step, position);
    }
  }
}

TEST(LineStats, FiguresOfStreamsWithKnownProperties) {
  using K = NoiseFigure::Kind;
  const auto rest = +[](Line& l, int) { l.Packet(0, 2500, 1875); };
  struct Row {
    const char* name;
    int length, packets;
    void (*each)(Line&, int);
    double rate, jitterMs;  // within 1 % and 0.06 ms; < 0: not checked
    K noise;
    double noiseX;  // Y is fixed in every still stream
    uint64_t garbled;
  };
  // 9600 baud, 11 bits a byte: 7 bytes every 8.021 ms (124.675/s), 5 every 5.729 ms.
  const Row rows[] = {
      {"paced, 7 bytes", 7, 400, rest, 124.675, 0, K::kStill, 0, 0},
      {"paced, 5 bytes", 5, 560, rest, 174.545, 0, K::kStill, 0, 0},
      // 9 gaps in 10 slots, 8 of one period and 1 of two: 0.9 of the rate, and a deviation of a
      // period times sqrt(8) / 9 = 2.52 ms (a second's 12 or 13 long gaps: 2.48 to 2.57).
      {"every 10th packet dropped", 7, 400,
       [](Line& l, int i) { i % 10 == 9 ? void(l.nowUs += 7 * kByteUs) : l.Packet(0, 2500, 1875); },
       112.207, 7 * kByteUs / 1000 * std::sqrt(8.0) / 9, K::kStill, 0, 0},
      {"37 garbage bytes between packets", 7, 400,
       [](Line& l, int i) {
         l.Packet(0, 2500, 1875);
         if (i % 10 == 0 && i < 370) l.Send({0x41});
       },
       -1, -1, K::kStill, 0, 37},
      // Population deviation of 1000, 1002, 1000, ...: exactly 1 for an even count.
      {"resting pen, X 1000/1002", 7, 400,
       [](Line& l, int i) { l.Packet(1, i % 2 ? 1002 : 1000, 700); }, 124.675, 0, K::kStill, 1, 0},
      {"a button pressed: moving", 7, 400,
       [](Line& l, int i) { l.Packet(i % 50 == 0 ? 1 : 0, 1000, 700); }, -1, -1, K::kMoving, 0, 0},
      {"a stroke: moving", 7, 400, [](Line& l, int i) { l.Packet(1, 100 + i, 700); }, -1, -1,
       K::kMoving, 0, 0},
      // 5 times: a packet cut after 4 bytes by a start byte (4), which starts nothing (1), fillers.
      {"cut packets, bad start bytes, fillers", 7, 400,
       [](Line& l, int i) {
         const auto p = Packet7(0, 2500, 1875, 100);
         i % 80 == 5 ? l.Send({p[0], p[1], p[2], p[3], 0xC3, 0x80, 0x80}) : l.Send(p);
       },
       -1, -1, K::kStill, 0, 25},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Line line(row.length);
    for (int i = 0; i < row.packets; ++i) row.each(line, i);
    LineStats stats;
    Feed(line, stats);
    const LineFigures f = stats.Figures(line.bytes.back().first + 1000);
    ASSERT_TRUE(f.rate.has_value());
    if (row.rate > 0) {
      EXPECT_NEAR(*f.rate, row.rate, row.rate / 100);
    }
    if (row.jitterMs >= 0) {
      ASSERT_TRUE(f.jitterMs.has_value());
      EXPECT_NEAR(*f.jitterMs, row.jitterMs, 0.06);
    }
    EXPECT_EQ(f.noise.kind, row.noise);
    if (row.noise == K::kStill) {
      EXPECT_NEAR(f.noise.x, row.noiseX, 0.001);
      EXPECT_NEAR(f.noise.y, 0, 0.001);
    }
    EXPECT_EQ(f.garbled, row.garbled);
  }
}

TEST(LineStats, NoPacketsForASecondReadsZeroWithNoNoise) {
  Line line;
  for (int i = 0; i < 300; ++i) line.Packet(0, 1000, 1000);
  LineStats stats;
  Feed(line, stats);
  const int64_t last = line.bytes.back().first;
  EXPECT_EQ(stats.Figures(last + 999'999).noise.kind, NoiseFigure::Kind::kStill);
  // Judged on the caller's clock alone: the reader may sleep for as long as the line is quiet.
  for (int64_t later : {int64_t(1'000'000), int64_t(5'000'000)}) {
    EXPECT_EQ(
        FormatLineFigures(stats.Figures(last + later), 7),
        "0/s of 124.7 \u00b7 jitter - \u00b7 noise - \u00b7 garbled 0 \u00b7 line errors n/a");
  }
  LineStats fresh;  // nothing yet at all
  EXPECT_EQ(fresh.Figures(0).rate, 0.0);
  EXPECT_FALSE(fresh.Summary().rate.has_value());
}

TEST(LineStats, TextOfTheFiguresAndTheSummary) {
  LineFigures f{124.64, 0.0213, {NoiseFigure::Kind::kStill, 0.44, 0.51}, 3, LineErrorCounts{}};
  EXPECT_EQ(FormatLineFigures(f, 7),
            "124.6/s of 124.7 \u00b7 jitter 0.02 ms \u00b7 noise 0.4 x 0.5 "
            "\u00b7 garbled 3 \u00b7 line errors 0");
  f.noise.kind = NoiseFigure::Kind::kMoving;
  f.lineErrors = LineErrorCounts{1, 0, 2, 0};
  EXPECT_EQ(FormatLineFigures(f, 5),
            "124.6/s of 174.5 \u00b7 jitter 0.02 ms \u00b7 noise moving "
            "\u00b7 garbled 3 \u00b7 line errors 3 (1 framing, 2 overrun)");
  // The driver's counters are 32 bits: a wrap since the open still gives the right difference.
  EXPECT_EQ(LineErrorsSince({0xFFFFFFFE, 5, 0, 0}, {1, 5, 0, 7}), (LineErrorCounts{3, 0, 0, 7}));
  // A run of 1248 resting packets: 1247 gaps of 8.021 ms.
  Line line;
  for (int i = 0; i < 1248; ++i) line.Packet(1, i % 2 ? 1002 : 1000, 700);
  LineStats stats;
  Feed(line, stats);
  EXPECT_EQ(FormatLineSummary(stats.Summary()),
            "1248 packets in 10.00 s (124.7/s) \u00b7 garbled "
            "0 \u00b7 line errors n/a \u00b7 noise 1.0 x 0.0");
}

// The reader publishes while another thread reads: every read is one whole second's figures
// (a torn read would mix two seconds' sums). Runs under ThreadSanitizer too.
TEST(LineStats, PublishedFiguresAreWholeWhileTheReaderWrites) {
  LineStats stats;
  std::atomic<int64_t> now{0};
  std::atomic<bool> enough{false};
  std::thread reader([&] {
    // Seconds alternately at a steady 100/s and 50/s.
    int64_t t = 0;
    for (int second = 0; second < 100'000 && !enough.load(); ++second) {
      const int64_t gap = second % 2 ? 20'000 : 10'000;
      for (int64_t end = t + 1'000'000; t < end;) {
        t += gap;
        stats.OnPacket(t, 0, 1000 + int32_t(second % 2), 1000);
        stats.OnAssemblerStep(PacketAssembler::Step::kDiscarded, 0);
        now.store(t, std::memory_order_relaxed);
      }
    }
  });
  int checked = 0;
  for (int tries = 0; checked < 2000 && tries < 10'000'000; ++tries) {
    const LineFigures f = stats.Figures(now.load(std::memory_order_relaxed));
    if (!f.rate || *f.rate == 0 || !f.jitterMs) continue;
    // The figures' seconds start 10 ms after the pace's: all gaps of one have the same length.
    EXPECT_TRUE(std::abs(*f.rate - 100) < 1e-6 || std::abs(*f.rate - 50) < 1e-6) << *f.rate;
    EXPECT_LT(*f.jitterMs, 1e-6);
    ++checked;
  }
  enough.store(true);
  reader.join();
  EXPECT_GT(checked, 0);
  EXPECT_EQ(stats.Summary().garbled, stats.Summary().packets);
}

}  // namespace
}  // namespace vellum::test
