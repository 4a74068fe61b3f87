// The built programs end to end: a scripted vellum-tablet recorded by `vellum --monitor --record`,
// the capture replayed by `vellum-tablet --replay` into a second monitor; bad captures; the
// probe's recording; a monitor stopped by SIGINT. Every vellum run gets all four ports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "capture/CaptureFormat.h"
#include "tests/tablet/Process.h"

namespace vellum {
namespace {

using test::EmulatorProcess;
using test::EnvPath;
using test::RunProgram;
using test::RunResult;

std::string Temp(const std::string& name) {
  return testing::TempDir() + "capture_e2e_" + name;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The tablet on COM2, the other three ports absent.
std::vector<std::string> Ports(const std::string& com2) {
  return {"--port", "1=/nonexistent/ttyX1", "--port", "2=" + com2,
          "--port", "3=/nonexistent/ttyX3", "--port", "4=/nonexistent/ttyX4"};
}

std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Line {
  long long us;
  std::string values;
};

// The range reply (9000 x 6000 below) has the layout of a data packet. On a busy machine the
// probe may ask for it twice; the second one then waits in the line for the reader, which takes
// it for a packet, as it would from a real tablet. Such lines are left out when comparing.
constexpr const char* kLateRangeReply = "0 9000 6000 0";

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    const std::string values = line.substr(space + 1);
    if (values == kLateRangeReply) continue;
    lines.push_back({std::atoll(line.substr(0, space).c_str()), values});
  }
  return lines;
}

constexpr const char* kScript =
    "stroke 1 500 500 4500 3000 40 0 511\n"
    "raw 80 05\n"  // filler and a stray data byte: recorded and replayed as they are
    "gap 300\n"
    "buttons 2500 1875 300 2\n";
constexpr size_t kScriptPackets = 40 + 16;

TEST(CaptureBinaries, ReplayedRecordingGivesTheSamePacketLines) {
  const std::string script = Temp("script.txt"), capture = Temp("roundtrip.txt");
  WriteFile(script, kScript);
  std::vector<Line> want;
  {
    EmulatorProcess tablet({"--model", "7", "--range", "9000", "6000", "--script", script, "--once",
                            "--hang-up-after", std::to_string(kScriptPackets)});
    const RunResult r = RunProgram(EnvPath("VELLUM_BIN"),
                                   Plus({"--monitor", "--record", capture}, Ports(tablet.path())));
    ASSERT_EQ(r.exitCode, 1) << r.err;  // the tablet is lost
    want = Lines(r.out);
    ASSERT_EQ(want.size(), kScriptPackets) << r.out << r.err;
  }
  Capture parsed;
  ASSERT_EQ(ParseCapture(Slurp(capture), parsed), "");
  EXPECT_EQ(parsed.header.port, 2u);
  EXPECT_EQ(parsed.header.rangeX, 9000);

  for (const char* mode : {"timed", "fast"}) {
    std::vector<std::string> args = {"--replay", capture};
    if (std::string(mode) == "fast") args.push_back("--fast");
    EmulatorProcess replay(args);
    // The replay hangs up after its last packet, which ends the monitor: its tablet is lost.
    const RunResult r =
        RunProgram(EnvPath("VELLUM_BIN"), Plus({"--monitor"}, Ports(replay.path())));
    ASSERT_EQ(r.exitCode, 1) << mode << ": " << r.err;
    const std::vector<Line> got = Lines(r.out);
    ASSERT_EQ(got.size(), want.size()) << mode << ": " << r.out << r.err;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got[i].values, want[i].values) << mode << ", packet " << i;
    }
    // The 300 ms gap before the buttons is kept in time, dropped when fast. Loose bounds: the
    // machine may be busy.
    const long long gapWant = want[40].us - want[39].us;
    const long long gapGot = got[40].us - got[39].us;
    EXPECT_GT(gapWant, 250'000);
    if (std::string(mode) == "timed") {
      EXPECT_GT(gapGot, gapWant / 2) << "timed replay lost the pause";
    } else {
      EXPECT_LT(gapGot, gapWant / 2) << "fast replay kept the pause";
    }
  }
}

TEST(CaptureBinaries, BadCapturesNameTheLineAndExit2) {
  const std::string h =
      "vellum-capture 1\nport: 1\npacket-length: 7\nrange-x: 5000\nrange-y: 3750\n---\n";
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"cut", h + "0 98 01\n1146 0", "line 8: cut off"},
      {"hex", h + "0 98\n1146 9g\n", "line 8: bad hex byte \"9g\""},
      {"version", "vellum-capture 2\n---\n", "line 1: capture version 2 is unknown"},
      {"empty", "", "line 1: empty file"},
      {"no-tablet", "vellum-capture 1\nport: 0\npacket-length: 0\n---\n", "line 4: the header"},
  };
  for (const Case& k : cases) {
    const std::string path = Temp(std::string("bad_") + k.name + ".txt");
    WriteFile(path, k.text);
    const RunResult r = RunProgram(EnvPath("VELLUM_TABLET"), {"--replay", path}, 10);
    EXPECT_EQ(r.exitCode, 2) << k.name;
    EXPECT_NE(r.err.find(path + ": " + k.message), std::string::npos) << k.name << ": " << r.err;
  }
}

TEST(CaptureBinaries, ProbeRecordingHoldsTheDialogueAndTheResult) {
  EmulatorProcess tablet({"--model", "5", "--range", "2500", "2250"});
  const std::string capture = Temp("probe.txt");
  const RunResult r = RunProgram(EnvPath("VELLUM_BIN"),
                                 Plus({"--probe", "--record", capture}, Ports(tablet.path())));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(capture), c), "");
  EXPECT_EQ(c.header.port, 2u);
  EXPECT_EQ(c.header.path, tablet.path());
  EXPECT_EQ(c.header.packetLength, 5);
  EXPECT_EQ(c.header.rangeX, 2500);
  EXPECT_EQ(c.header.rangeY, 2250);
  int opens = 0, writes = 0, reads = 0;
  for (const CaptureRecord& rec : c.records) {
    opens += rec.event == CaptureEvent::kOpen;
    writes += rec.event == CaptureEvent::kProbeWrite;
    reads += rec.event == CaptureEvent::kProbeRead;
    EXPECT_NE(rec.event, CaptureEvent::kRead);
  }
  EXPECT_EQ(opens, 5);   // the four probes and the second open of COM2
  EXPECT_GE(writes, 5);  // DC3, "z~", "a", "@", DC1
  EXPECT_GE(reads, 5);   // the 5-byte range reply (twice if the machine was slow to answer)
}

// Stopped from outside while the tablet still streams: exit 0 and every packet printed is in the
// recording, which is complete up to its last line.
TEST(CaptureBinaries, InterruptedMonitorLeavesACompleteRecording) {
  EmulatorProcess tablet({"--model", "7"});
  const std::string capture = Temp("interrupted.txt");
  // --foreground: one SIGINT to vellum alone. Otherwise timeout also signals its group and then
  // sends SIGCONT, which can cancel the stop LeakSanitizer's exit check waits for, and hang it.
  const RunResult r =
      RunProgram("/usr/bin/timeout", Plus({"--foreground", "--preserve-status", "-s", "INT", "1.5",
                                           EnvPath("VELLUM_BIN"), "--monitor", "--record", capture},
                                          Ports(tablet.path())));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::vector<Line> printed = Lines(r.out);
  ASSERT_GT(printed.size(), 10u) << r.err;
  Capture c;
  ASSERT_EQ(ParseCapture(Slurp(capture), c), "");
  ASSERT_FALSE(c.records.empty());
  // The packet lines carry the recording's own times.
  EXPECT_GE(c.records.back().timeUs, printed.back().us);
  bool found = false;
  for (const CaptureRecord& rec : c.records) found = found || rec.timeUs == printed.back().us;
  EXPECT_TRUE(found) << "no byte recorded at " << printed.back().us;
}

}  // namespace
}  // namespace vellum
