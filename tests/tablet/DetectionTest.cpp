// The probe against scripted devices: the bytes it writes, in order, and what it records.
#include <gtest/gtest.h>

#include <algorithm>

#include "tablet/Detection.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kSevenByteDialogue = {0x13, 'z', '~', 'a', '@', 0x11};

struct ProbeCase {
  const char* name;
  std::function<void(ScriptedTablet&)> setUp;
  Bytes written;        // everything the probe writes, in order
  TabletInfo expected;  // port 0: no tablet
};

TabletInfo Found(int length, int x, int y) {
  TabletInfo info;
  info.port = 1;
  info.packetLength = length;
  info.maxX = x;
  info.maxY = y;
  return info;
}

Bytes Repeat(uint8_t b, size_t n) {
  return Bytes(n, b);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

void PrintTo(const ProbeCase& c, std::ostream* os) {
  *os << c.name;
}

class ProbeTable : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTable, WritesAndRecords) {
  const ProbeCase& c = GetParam();
  auto tablet = std::make_shared<ScriptedTablet>();
  c.setUp(*tablet);
  FakePort port;
  port.Attach(1, tablet);
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_EQ(port.Written(1), c.written);
  EXPECT_EQ(found.port, c.expected.port);
  EXPECT_EQ(found.packetLength, c.expected.packetLength);
  EXPECT_EQ(found.maxX, c.expected.maxX);
  EXPECT_EQ(found.maxY, c.expected.maxY);
  EXPECT_FALSE(port.IsOpen());
}

const Bytes kWrongBlock = IdentifyBlock("TRELVA");

INSTANTIATE_TEST_SUITE_P(
    Probe, ProbeTable,
    ::testing::Values(
        ProbeCase{"SevenByteAnswer", [](ScriptedTablet&) {}, kSevenByteDialogue,
                  Found(7, 5000, 3750)},
        ProbeCase{"FiveByteSilentToIdentify",
                  [](ScriptedTablet& t) {
                    t.packetLength = 5;
                    t.x = 2500;
                    t.y = 2250;
                  },
                  kSevenByteDialogue, Found(5, 2500, 2250)},
        // The block keeps filling from where it stopped after the second "z~".
        ProbeCase{"IdentifyBlockInPieces",
                  [](ScriptedTablet& t) {
                    const Bytes block = IdentifyBlock();
                    t.identAnswers = {Bytes(block.begin(), block.begin() + 10),
                                      Bytes(block.begin() + 10, block.end())};
                  },
                  {0x13, 'z', '~', 'z', '~', 'a', '@', 0x11},
                  Found(7, 5000, 3750)},
        ProbeCase{"WrongBlockThenSilenceIsFiveByte",
                  [](ScriptedTablet& t) {
                    t.identAnswers = {kWrongBlock, {}};
                    t.packetLength = 5;
                  },
                  {0x13, 'z', '~', 'z', '~', 'a', '@', 0x11},
                  Found(5, 5000, 3750)},
        // Eleven blocks: "z~" after each wrong one, then the port is closed with nothing more.
        ProbeCase{"ElevenWrongBlocksGiveUp",
                  [](ScriptedTablet& t) { t.identAnswers = {kWrongBlock}; },
                  [] {
                    Bytes b{0x13};
                    for (int i = 0; i < 12; ++i) b.insert(b.end(), {'z', '~'});
                    return b;
                  }(),
                  TabletInfo{}},
        // TRELVO in the eleventh block is too late.
        ProbeCase{"NamedEleventhBlockGivesUp",
                  [](ScriptedTablet& t) {
                    t.identAnswers.assign(10, kWrongBlock);
                    t.identAnswers.push_back(IdentifyBlock());
                  },
                  [] {
                    Bytes b{0x13};
                    for (int i = 0; i < 11; ++i) b.insert(b.end(), {'z', '~'});
                    return b;
                  }(),
                  TabletInfo{}},
        ProbeCase{"StartByteWithBit6", [](ScriptedTablet& t) { t.startByte = 0xD9; },
                  kSevenByteDialogue, Found(7, 5000, 3750)},
        ProbeCase{"Byte6Is0x14", [](ScriptedTablet& t) { t.byte6 = 0x14; }, kSevenByteDialogue,
                  Found(7, 5000, 3750)},
        ProbeCase{"Byte6Is0x05", [](ScriptedTablet& t) { t.byte6 = 0x05; }, kSevenByteDialogue,
                  Found(7, 5000, 3750)},
        // Each rejected byte 6 asks again; the eleventh start byte ends the probe.
        ProbeCase{"Byte6Is0x06Rejected", [](ScriptedTablet& t) { t.byte6 = 0x06; },
                  Concat({{0x13, 'z', '~', 'a', '@'}, Repeat('a', 10), {0x11}}), TabletInfo{}},
        ProbeCase{"X4000AsksAgain",
                  [](ScriptedTablet& t) {
                    t.rangeAnswers = {Packet7(0, 4000, 3750, 0), Packet7(0, 9000, 2250, 0)};
                  },
                  {0x13, 'z', '~', 'a', '@', 'a', 0x11},
                  Found(7, 9000, 2250)},
        ProbeCase{"ElevenHighBytesEndTheRangePhase",
                  [](ScriptedTablet& t) { t.rangeAnswers = {Repeat(0x98, 12)}; },
                  {0x13, 'z', '~', 'a', '@', 0x11},
                  TabletInfo{}},
        // A 5-byte tablet's reply is complete after 5 bytes; bytes 5 and 6 of a 7-byte reply
        // are then dropped outside a packet.
        ProbeCase{"EveryRangePairAccepted",
                  [](ScriptedTablet& t) {
                    t.x = 2500;
                    t.y = 6000;
                  },
                  kSevenByteDialogue, Found(7, 2500, 6000)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Probe, MissingPortCostsNothing) {
  FakePort port;
  TabletInfo found;
  ProbePort(port, 2, found);
  EXPECT_EQ(port.Log(), (std::vector<std::string>{"open 2"}));
  EXPECT_EQ(found.port, 0u);
}

TEST(Probe, RefusedSettingsSkipThePort) {
  FakePort port;
  port.Attach(1, std::make_shared<ScriptedTablet>());
  port.RefuseSettings(1);
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_TRUE(port.Written(1).empty());
  EXPECT_EQ(found.port, 0u);
}

// A silent device: "z~" and "a" each get one 50 ms wait, and no 0x11 is written.
TEST(Probe, SilentDeviceTwoPausesNoEndByte) {
  auto dead = std::make_shared<ScriptedTablet>();
  dead->packetLength = 5;
  dead->rangeAnswers = {{}};
  FakePort port;
  port.Attach(1, dead);
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_EQ(port.Written(1), (Bytes{0x13, 'z', '~', 'a', '@'}));
  EXPECT_EQ(port.now(), 100);
  EXPECT_EQ(found.port, 0u);
}

// The exact order of writes, waits and queue queries for a 7-byte tablet.
TEST(Probe, SevenByteOperationOrder) {
  FakePort port;
  port.Attach(1, std::make_shared<ScriptedTablet>());
  TabletInfo found;
  ProbePort(port, 1, found);
  const std::vector<std::string> head = {"open 1", "w 13",     "count 0", "w 7A",
                                         "w 7E",   "pause 50", "count 28"};
  ASSERT_GE(port.Log().size(), head.size());
  EXPECT_EQ(std::vector<std::string>(port.Log().begin(), port.Log().begin() + 7), head);
  const std::vector<std::string> tail = {"count 0", "w 61",    "pause 50", "w 40",
                                         "count 7", "count 0", "w 11",     "close 1"};
  EXPECT_EQ(std::vector<std::string>(port.Log().end() - 8, port.Log().end()), tail);
}

// Regression: on a busy machine the range reply came in two parts; the probe asked again, as it
// must, and the second reply, still waiting at the end, outlived the close on a pty and reached
// the reader as a pen packet. Nothing of it is left waiting when the end byte goes out.
TEST(Probe, ReplyToARepeatedRangeRequestIsNotLeftWaiting) {
  struct SecondReply : ScriptedTablet {
    size_t waitingAtEnd = 99;
    void OnWrite(uint8_t b, FakeLine& line) override {
      if (b == kProbeEndByte) {
        waitingAtEnd = 0;
        for (const auto& p : line.input) waitingAtEnd += p.at <= line.now ? 1 : 0;
      }
      ScriptedTablet::OnWrite(b, line);
    }
  };
  auto tablet = std::make_shared<SecondReply>();
  const Bytes reply = tablet->RangeReply();
  Bytes rest(reply.begin() + 3, reply.end());
  rest.insert(rest.end(), reply.begin(), reply.end());  // then the whole second reply
  tablet->rangeAnswers = {Bytes(reply.begin(), reply.begin() + 3), rest};
  FakePort port;
  port.Attach(1, tablet);
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_EQ(found.port, 1u);
  EXPECT_EQ(port.Written(1), (Bytes{0x13, 'z', '~', 'a', '@', 'a', 0x11}));
  EXPECT_EQ(tablet->waitingAtEnd, 0u);
}

// Answers every "a" with bytes that can never be stored: only the time bound ends the phase.
class UnstorableStream : public FakeDevice {
 public:
  void OnWrite(uint8_t b, FakeLine& line) override {
    if (b == 'a') line.Send(Bytes{0x01, 0xC0, 0x02, 0x7F, 0xA0}, 1);
  }
};

TEST(Probe, RangePhaseEndsAfterTwoSecondsOfUnstorableBytes) {
  FakePort port;
  port.Attach(1, std::make_shared<UnstorableStream>());
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_EQ(found.port, 0u);
  ASSERT_FALSE(port.Written(1).empty());
  EXPECT_EQ(port.Written(1).back(), 0x11);
  EXPECT_GE(port.now(), 50 + kRangePhaseLimitMs);
  EXPECT_LE(port.now(), 50 + kRangePhaseLimitMs + 100);
}

// Answers the first "a" with one stray byte and then falls silent.
TEST(Probe, RangePhaseEndsAfterTwoSecondsOfSilence) {
  auto once = std::make_shared<ScriptedTablet>();
  once->packetLength = 5;
  once->rangeAnswers = {{0x01}, {}};
  FakePort port;
  port.Attach(1, once);
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_EQ(port.Written(1).back(), 0x11);
  EXPECT_LE(port.now(), 50 + kRangePhaseLimitMs + 100);
}

// A port that says input is waiting but never delivers it.
TEST(Probe, IdentifyPhaseIsBoundedInTime) {
  class Port final : public IPort {
   public:
    OpenResult Open(int) override { return OpenResult::kOk; }
    void Write(const uint8_t* b, size_t n) override { written.insert(written.end(), b, b + n); }
    ReadResult ReadByte() override { return {true, 0, 0}; }
    uint32_t InputQueueCount() override { return 1; }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void Pause(int ms) override { now += ms; }
    int64_t NowMs() const override { return now; }
    Bytes written;
    int64_t now = 0;
    bool open = true;
  } port;
  TabletInfo found;
  ProbePort(port, 1, found);
  EXPECT_EQ(found.port, 0u);
  EXPECT_FALSE(port.open);
  EXPECT_LE(port.now, kIdentifyPhaseLimitMs + 100);
  EXPECT_EQ(std::count(port.written.begin(), port.written.end(), 'a'), 0);
}

TEST(Scan, FirstOfTwoTabletsWinsAndAllFourAreProbed) {
  FakePort port;
  auto first = std::make_shared<ScriptedTablet>();
  auto third = std::make_shared<ScriptedTablet>();
  third->x = 9000;
  third->y = 6000;
  port.Attach(1, first);
  port.Attach(3, third);
  const TabletInfo found = ScanPorts(port);
  EXPECT_EQ(found.port, 1u);
  EXPECT_EQ(found.maxX, 5000);
  EXPECT_EQ(found.maxY, 3750);
  EXPECT_EQ(port.Written(3), kSevenByteDialogue);  // probed in full, recorded nothing
  for (int n = 1; n <= 4; ++n) {
    EXPECT_NE(std::find(port.Log().begin(), port.Log().end(), "open " + std::to_string(n)),
              port.Log().end());
  }
}

TEST(Scan, FiveByteTabletOnComTwoOnly) {
  FakePort port;
  auto silent = std::make_shared<ScriptedTablet>();
  silent->packetLength = 5;
  silent->rangeAnswers = {{}};
  auto tablet = std::make_shared<ScriptedTablet>();
  tablet->packetLength = 5;
  tablet->x = 2500;
  tablet->y = 2250;
  port.Attach(1, silent);
  port.Attach(2, tablet);
  const TabletInfo found = ScanPorts(port);
  EXPECT_EQ(found.port, 2u);
  EXPECT_EQ(found.packetLength, 5);
  EXPECT_EQ(found.maxX, 2500);
  EXPECT_EQ(found.maxY, 2250);
  EXPECT_EQ(found.Resolution(), 500);
  EXPECT_EQ(port.Written(1), (Bytes{0x13, 'z', '~', 'a', '@'}));
}

TEST(OpenTabletPort, WritesNothing) {
  FakePort port;
  port.Attach(2, std::make_shared<ScriptedTablet>());
  TabletInfo info;
  info.port = 2;
  EXPECT_TRUE(OpenTabletPort(port, info));
  EXPECT_TRUE(port.Written(2).empty());
  info.port = 3;
  EXPECT_FALSE(OpenTabletPort(port, info));
}

TEST(ScaleFactors, FloatRules) {
  struct Row {
    int w, h;
    float x, y;
  };
  for (const Row& r : {Row{1024, 768, 1.0f, 1.0f}, Row{1280, 1024, 1.25f, 1.3333333730697632f},
                       Row{1280, 800, 1.25f, 1.0416667461395264f}}) {
    const ScaleFactors s = ComputeScaleFactors(r.w, r.h);
    EXPECT_EQ(s.x, r.x) << r.w << "x" << r.h;
    EXPECT_EQ(s.y, r.y) << r.w << "x" << r.h;
  }
}

}  // namespace
}  // namespace vellum::test
