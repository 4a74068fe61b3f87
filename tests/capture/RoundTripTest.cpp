// A run recorded with the monitor, replayed by the emulator into a second monitor, on virtual
// clocks: the packet lines must come out the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/MonitorCommand.h"
#include "tests/capture/EmulatorPort.h"
#include "tools/Replay.h"

namespace vellum {
namespace {

struct Line {
  int64_t us;
  std::string values;  // "code x y pressure"
};

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    lines.push_back({std::atoll(line.substr(0, space).c_str()), line.substr(space + 1)});
  }
  return lines;
}

// Strokes, every button code, a pause of half a second, filler and noise between packets.
emu::Stream Show(int packetLength) {
  emu::Stream s;
  for (int i = 0; i < 40; ++i) {
    emu::AppendPacket(s, {i % 8, 100 + 50 * i, 3000 - 40 * i, (i * 13) % 512}, packetLength);
  }
  s.push_back({0x80, false, 0});
  s.push_back({0x05, false, 0});  // a data byte outside any packet
  s.push_back({0xD9, false, 0});  // a range-reply start byte: not a data packet
  const size_t pause = s.size();
  emu::AppendPacket(s, {1, 2500, 1875, 511}, packetLength);
  s[pause].delayMs = 500;
  // A packet with filler in its middle still counts.
  const std::vector<uint8_t> p = EncodePacket({3, 16383, 0, 7}, packetLength);
  for (size_t i = 0; i < p.size(); ++i) {
    s.push_back({p[i], i + 1 == p.size(), 0});
    if (i == 2) s.push_back({0x80, false, 0});
  }
  return s;
}

struct MonitorRun {
  int status = -1;
  std::string out, err;
};

MonitorRun Monitor(test::EmulatorPort& port, const std::string& recordPath) {
  MonitorSetup setup;
  setup.recordPath = recordPath;
  setup.clock = [&port] { return port.Micros(); };
  std::ostringstream out, err;
  std::atomic<bool> stop{false};
  MonitorRun run;
  run.status = RunMonitorCommand(port, setup, out, err, stop);  // ends at the hang-up
  run.out = out.str();
  run.err = err.str();
  return run;
}

class RoundTrip : public testing::TestWithParam<int> {};

TEST_P(RoundTrip, ReplayGivesTheSamePacketLines) {
  const int length = GetParam();
  const std::string path = testing::TempDir() + "roundtrip_" + std::to_string(length) + ".txt";
  emu::EmulatorConfig config;
  config.packetLength = length;
  config.maxX = 6000;
  config.maxY = 2250;
  config.loop = false;
  test::EmulatorPort original(config, Show(length), 3, 5000);
  const MonitorRun first = Monitor(original, path);
  ASSERT_EQ(first.status, 1) << first.err;  // the tablet is lost
  EXPECT_NE(first.err.find("Tablet found on COM3"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("\nTablet on COM3 (/dev/ttyS2) lost: "), std::string::npos) << first.err;
  // The summary comes without --stats too: the two stray bytes of the show, no driver counters.
  EXPECT_NE(first.err.find("Summary: 42 packets in "), std::string::npos) << first.err;
  EXPECT_NE(first.err.find(" \u00b7 garbled 2 \u00b7 line errors n/a \u00b7 noise "),
            std::string::npos)
      << first.err;
  const std::vector<Line> want = Lines(first.out);
  ASSERT_EQ(want.size(), 42u) << first.out;

  for (bool fast : {false, true}) {
    Capture capture;
    ASSERT_EQ(emu::LoadCapture(path, capture), "");
    emu::EmulatorConfig replayConfig;
    emu::Stream stream;
    ASSERT_EQ(emu::BuildReplay(capture, fast, replayConfig, stream), "");
    test::EmulatorPort replay(replayConfig, std::move(stream), 1, 5000);
    const MonitorRun second = Monitor(replay, "");
    ASSERT_EQ(second.status, 1) << second.err;
    const std::vector<Line> got = Lines(second.out);
    ASSERT_EQ(got.size(), want.size()) << second.out;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got[i].values, want[i].values) << "packet " << i << (fast ? " fast" : "");
      // Timed replay: within two of the reader's 5 ms waits. Fast: never later.
      if (!fast) {
        EXPECT_NEAR(double(got[i].us), double(want[i].us), 10'000.0) << "packet " << i;
      } else {
        EXPECT_LE(got[i].us, want[i].us + 10'000) << "packet " << i;
      }
    }
    if (fast) {
      // The half-second pause is gone.
      EXPECT_LT(got.back().us, want.back().us - 400'000);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PacketLengths, RoundTrip, testing::Values(7, 5));

TEST(Replay, HeaderWithoutATabletCannotBePlayed) {
  struct Case {
    const char* name;
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"no tablet found", "vellum-capture 1\nport: 0\npacket-length: 0\n---\n",
       "line 4: the header gives no packet-length"},
      {"no range", "vellum-capture 1\npacket-length: 7\nrange-x: 5000\n\n0 98\n",
       "line 4: the header gives no range"},
  };
  for (const Case& k : cases) {
    Capture c;
    ASSERT_EQ(ParseCapture(k.text, c), "") << k.name;
    emu::EmulatorConfig config;
    config.maxX = 1234;
    emu::Stream stream = {{0x42, false, 0}};
    EXPECT_EQ(emu::BuildReplay(c, false, config, stream).rfind(k.error, 0), 0u) << k.name;
    EXPECT_EQ(config.maxX, 1234) << k.name;
    EXPECT_EQ(stream.size(), 1u) << k.name;
  }
}

TEST(Replay, BytesKeepTheirRecordedTimesButNeverBeatTheLine) {
  const std::string text =
      "vellum-capture 1\npacket-length: 5\nrange-x: 5000\nrange-y: 3750\n---\n"
      "1000 98\n"      // first byte: at once
      "3000 01\n"      // 2 ms later: 0.854 ms of idle line before it
      "3000 02 03\n"   // read together: back to back
      "3001 04\n"      // behind the line already: no pause
      "503001 99\n"    // half a second later
      "503001 < 11\n"  // the probe's lines are not sent
      "503001 close\n";
  Capture c;
  ASSERT_EQ(ParseCapture(text, c), "");
  for (bool fast : {false, true}) {
    emu::EmulatorConfig config;
    emu::Stream s;
    ASSERT_EQ(emu::BuildReplay(c, fast, config, s), "");
    EXPECT_EQ(config.packetLength, 5);
    EXPECT_FALSE(config.loop);
    ASSERT_EQ(s.size(), 6u);
    const std::vector<uint8_t> bytes = {0x98, 0x01, 0x02, 0x03, 0x04, 0x99};
    double clock = 0;  // when each byte is due, as the emulator adds them up
    std::vector<double> due;
    for (size_t i = 0; i < s.size(); ++i) {
      EXPECT_EQ(s[i].byte, bytes[i]);
      EXPECT_EQ(s[i].packetEnd, i == 4);
      clock += s[i].delayMs + emu::kByteMs;
      due.push_back(clock - emu::kByteMs);  // the first byte's end is the origin
    }
    if (fast) {
      for (const emu::OutByte& b : s) EXPECT_EQ(b.delayMs, 0.0f);
    } else {
      EXPECT_NEAR(due[1], 2.0, 1e-3);
      EXPECT_NEAR(due[2], 2.0 + emu::kByteMs, 1e-3);
      EXPECT_NEAR(due[3], 2.0 + 2 * emu::kByteMs, 1e-3);
      EXPECT_NEAR(due[4], 2.0 + 3 * emu::kByteMs, 1e-3);
      EXPECT_NEAR(due[5], 502.001, 1e-3);
    }
  }
}

}  // namespace
}  // namespace vellum
