// The line's figures from streams whose properties are known, on a virtual clock: every byte is
// pushed through the data-stream assembler at the time the line would deliver it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

#include "tablet/LineStats.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

constexpr double kByteUs = 11.0 * 1e6 / 9600.0;  // 1145.83 us on the line

// A byte stream with the time each byte has arrived; the line keeps its pace, a dropped packet
// leaves its time empty.
struct Line {
  int length = 7;
  double nowUs = 0;
  std::vector<std::pair<int64_t, uint8_t>> bytes;

  void Send(const std::vector<uint8_t>& b) {
    for (uint8_t v : b) {
      nowUs += kByteUs;
      bytes.emplace_back(int64_t(std::llround(nowUs)), v);
    }
  }
  void Packet(int code, int x, int y) {
    Send(length == 7 ? Packet7(code, x, y, 100) : Packet5(code, x, y));
  }
  void Quiet(int byteTimes) { nowUs += byteTimes * kByteUs; }
};

// Feeds the bytes as the reader does.
void Feed(const Line& line, LineStats& stats) {
  PacketAssembler assembler(line.length);
  for (const auto& [t, b] : line.bytes) {
    if (b == 0x80) continue;  // filler: the reader waits, the assembler never sees it
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

struct Expected {
  double rate;         // within 1 %
  double jitterMs;     // within 0.06 ms; < 0: not checked
  NoiseFigure::Kind noise;
  double noiseX, noiseY;  // within 0.001 when still
  uint64_t garbled;
};

struct Row {
  const char* name;
  std::function<void(Line&)> make;
  int length;
  Expected want;
};

TEST(LineStats, FiguresOfStreamsWithKnownProperties) {
  using K = NoiseFigure::Kind;
  // 9600 baud, 11 bits a byte: 7 bytes every 8.021 ms, 5 every 5.729 ms.
  const double period7Ms = 7 * kByteUs / 1000;
  const Row rows[] = {
      {"paced at the line rate, 7 bytes",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) l.Packet(0, 2500, 1875);
       },
       7, {124.675, 0, K::kStill, 0, 0, 0}},
      {"paced at the line rate, 5 bytes",
       [](Line& l) {
         for (int i = 0; i < 560; ++i) l.Packet(0, 2500, 1875);
       },
       5, {174.545, 0, K::kStill, 0, 0, 0}},
      // 9 gaps in 10 slots: 8 of one period, 1 of two. Rate 0.9 of the line's; the gaps' standard
      // deviation is a period times sqrt(8) / 9 (2.52 ms) over whole tens. A second holds 112
      // gaps, 12 or 13 of them long: 2.48 to 2.57 ms.
      {"every 10th packet dropped",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) {
           if (i % 10 == 9) {
             l.Quiet(7);
           } else {
             l.Packet(0, 2500, 1875);
           }
         }
       },
       7, {112.207, period7Ms * std::sqrt(8.0) / 9, K::kStill, 0, 0, 0}},
      {"37 garbage bytes between packets",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) {
           l.Packet(0, 2500, 1875);
           if (i % 10 == 0 && i < 370) l.Send({0x41});
         }
       },
       7, {-1, -1, K::kStill, 0, 0, 37}},
      // Population deviation of 1000, 1002, 1000, ...: exactly 1 for an even count.
      {"a resting pen alternating X 1000/1002, Y fixed",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) l.Packet(1, i % 2 ? 1002 : 1000, 700);
       },
       7, {124.675, 0, K::kStill, 1.0, 0, 0}},
      {"a button pressed in the second: moving",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) l.Packet(i % 50 == 0 ? 1 : 0, 1000, 700);
       },
       7, {124.675, 0, K::kMoving, 0, 0, 0}},
      {"a stroke: moving",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) l.Packet(1, 100 + i, 700);
       },
       7, {124.675, 0, K::kMoving, 0, 0, 0}},
      // A start byte cuts a packet after 4 bytes (4), a byte with bit 7 set that starts nothing
      // (1), fillers (0), repeated 5 times.
      {"cut packets, bad start bytes, fillers",
       [](Line& l) {
         for (int i = 0; i < 400; ++i) {
           if (i % 80 == 5) {
             const auto p = Packet7(0, 2500, 1875, 100);
             l.Send({p[0], p[1], p[2], p[3], 0xC3, 0x80, 0x80});
           } else {
             l.Packet(0, 2500, 1875);
           }
         }
       },
       7, {-1, -1, K::kStill, 0, 0, 25}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Line line;
    line.length = row.length;
    row.make(line);
    LineStats stats;
    Feed(line, stats);
    const LineFigures f = stats.Figures(line.bytes.back().first + 1000);
    ASSERT_TRUE(f.rate.has_value());
    // A second never holds whole tens of the dropping stream's slots: 1 %.
    if (row.want.rate > 0) {
      EXPECT_NEAR(*f.rate, row.want.rate, row.want.rate / 100);
    }
    if (row.want.jitterMs >= 0) {
      ASSERT_TRUE(f.jitterMs.has_value());
      EXPECT_NEAR(*f.jitterMs, row.want.jitterMs, 0.06);
    }
    EXPECT_EQ(f.noise.kind, row.want.noise);
    if (row.want.noise == K::kStill) {
      EXPECT_NEAR(f.noise.x, row.want.noiseX, 0.001);
      EXPECT_NEAR(f.noise.y, row.want.noiseY, 0.001);
    }
    EXPECT_EQ(f.garbled, row.want.garbled);
    EXPECT_FALSE(f.lineErrors.has_value()) << "filled by the caller from the port";
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
    const LineFigures f = stats.Figures(last + later);
    EXPECT_EQ(f.rate, 0.0);
    EXPECT_FALSE(f.jitterMs.has_value());
    EXPECT_EQ(f.noise.kind, NoiseFigure::Kind::kNone);
    EXPECT_EQ(FormatLineFigures(f, 7),
              "0/s of 124.7 \u00b7 jitter - \u00b7 noise - \u00b7 garbled 0 \u00b7 line errors n/a");
  }
  // Nothing yet at all.
  LineStats fresh;
  EXPECT_EQ(fresh.Figures(0).rate, 0.0);
  EXPECT_EQ(fresh.Summary().packets, 0);
  EXPECT_FALSE(fresh.Summary().rate.has_value());
}

TEST(LineStats, TextOfTheFigures) {
  LineFigures f;
  f.rate = 124.64;
  f.jitterMs = 0.0213;
  f.noise = {NoiseFigure::Kind::kStill, 0.44, 0.51};
  f.garbled = 3;
  f.lineErrors = LineErrorCounts{};
  EXPECT_EQ(FormatLineFigures(f, 7), "124.6/s of 124.7 \u00b7 jitter 0.02 ms \u00b7 noise 0.4 x 0.5 "
                                     "\u00b7 garbled 3 \u00b7 line errors 0");
  f.noise.kind = NoiseFigure::Kind::kMoving;
  f.lineErrors = LineErrorCounts{1, 0, 2, 0};
  EXPECT_EQ(FormatLineFigures(f, 5), "124.6/s of 174.5 \u00b7 jitter 0.02 ms \u00b7 noise moving "
                                     "\u00b7 garbled 3 \u00b7 line errors 3 (1 framing, 2 overrun)");
  LineSummary s;
  s.packets = 1247;
  s.seconds = 10;
  s.rate = 124.6;
  s.noise = {NoiseFigure::Kind::kStill, 1, 0};
  EXPECT_EQ(FormatLineSummary(s), "1247 packets in 10.00 s (124.6/s) \u00b7 garbled 0 \u00b7 "
                                  "line errors n/a \u00b7 noise 1.0 x 0.0");
  // The driver's counters are 32 bits: a wrap since the open still gives the right difference.
  EXPECT_EQ(LineErrorsSince({0xFFFFFFFE, 5, 0, 0}, {1, 5, 0, 7}), (LineErrorCounts{3, 0, 0, 7}));
}

TEST(LineStats, SummaryOfARun) {
  Line line;
  for (int i = 0; i < 1248; ++i) line.Packet(1, i % 2 ? 1002 : 1000, 700);
  LineStats stats;
  Feed(line, stats);
  const LineSummary s = stats.Summary();
  EXPECT_EQ(s.packets, 1248);
  EXPECT_NEAR(s.seconds, 1247 * 7 * kByteUs / 1e6, 1e-5);
  ASSERT_TRUE(s.rate.has_value());
  EXPECT_NEAR(*s.rate, 124.675, 0.01);
  EXPECT_EQ(s.noise.kind, NoiseFigure::Kind::kStill);
  EXPECT_NEAR(s.noise.x, 1.0, 0.001);
}

// The reader publishes while another thread reads: every read is one whole second's figures
// (a torn read would mix two seconds' sums). Runs under ThreadSanitizer too.
TEST(LineStats, PublishedFiguresAreWholeWhileTheReaderWrites) {
  LineStats stats;
  std::atomic<int64_t> now{0};
  std::atomic<bool> enough{false};
  std::thread reader([&] {
    // Two alternating paces, a second each: 100/s and 50/s, each perfectly steady.
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
    // The figures' seconds start at the first packet, 10 ms after the pace's: every gap of one
    // of them has the same length.
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
