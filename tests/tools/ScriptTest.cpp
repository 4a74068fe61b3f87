// The emulator's script language, the built-in show and raw streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tablet/TabletLink.h"
#include "tools/emulator/Emulator.h"
#include "tools/emulator/Stream.h"

namespace vellum::emu {
namespace {

// Packets as the reader would cut them out of the stream.
std::vector<TabletPacket> Decode(const Stream& stream, int length) {
  std::vector<TabletPacket> packets;
  PacketAssembler assembler(length);
  for (const OutByte& b : stream) {
    if (assembler.Push(b.byte) == PacketAssembler::Step::kComplete) {
      EXPECT_TRUE(b.packetEnd);
      packets.push_back(assembler.Packet());
    }
  }
  return packets;
}

TEST(Script, CommandsMakeTheirPackets) {
  struct Case {
    const char* script;
    size_t packets;
    TabletPacket first;
    TabletPacket last;
  };
  const Case cases[] = {
      {"packet 1 100 200 300", 1, {1, 100, 200, 300}, {1, 100, 200, 300}},
      {"packet 0 5 6", 1, {0, 5, 6, 0}, {0, 5, 6, 0}},
      {"stroke 1 0 0 1000 500 11 0 500", 11, {1, 0, 0, 0}, {1, 1000, 500, 500}},
      {"stroke 2 10 10 10 10 1", 1, {2, 10, 10, 0}, {2, 10, 10, 0}},
      {"buttons 50 60 7 2", 16, {0, 50, 60, 7}, {7, 50, 60, 7}},
      {"rest 4 1000 1000 0 3 9", 3, {4, 1000, 1000, 9}, {4, 1000, 1000, 9}},
      {"# comment only\n\n  packet 3 1 2 # trailing\n", 1, {3, 1, 2, 0}, {3, 1, 2, 0}},
      {"", 0, {}, {}},
  };
  for (const Case& c : cases) {
    Stream stream;
    ASSERT_EQ(ParseScript(c.script, 7, stream), "") << c.script;
    const std::vector<TabletPacket> packets = Decode(stream, 7);
    ASSERT_EQ(packets.size(), c.packets) << c.script;
    if (c.packets) {
      EXPECT_EQ(packets.front(), c.first) << c.script;
      EXPECT_EQ(packets.back(), c.last) << c.script;
    }
  }
}

TEST(Script, BadLinesAreRefusedWithTheirNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"fly 1 2", "line 1: unknown command \"fly\""},
      {"packet 1 2", "line 1: packet B X Y [P]"},
      {"packet 8 0 0", "line 1: packet B X Y [P]"},
      {"packet 1 16384 0", "line 1: packet B X Y [P]"},
      {"packet 1 0 0 512", "line 1: packet B X Y [P]"},
      {"\npacket 1 x 0", "line 2: \"packet\" takes numbers only"},
      {"stroke 1 0 0 5 5 10 100", "line 1: stroke B X0 Y0 X1 Y1 STEPS [P0 P1]"},
      {"stroke 1 0 0 5 5 0", "line 1: stroke B X0 Y0 X1 Y1 STEPS [P0 P1]"},
      {"rest 1 0 0 5", "line 1: rest B X Y JITTER N [P]"},
      {"gap -1", "line 1: gap MS (0 to 600000)"},
      {"raw 80 1ff", "line 1: raw takes hex bytes, got \"1ff\""},
      {"raw zz", "line 1: raw takes hex bytes, got \"zz\""},
  };
  for (const auto& [script, error] : cases) {
    Stream stream = {OutByte{0xAB, false, 0}};  // must survive a failed parse
    EXPECT_EQ(ParseScript(script, 7, stream), error) << script;
    ASSERT_EQ(stream.size(), 1u);
    EXPECT_EQ(stream[0].byte, 0xAB);
  }
}

TEST(Script, GapsAndRawBytesKeepTheirPlace) {
  Stream stream;
  ASSERT_EQ(ParseScript("packet 1 1 1\ngap 250\nraw 80 9a\ngap 5\n", 5, stream), "");
  ASSERT_EQ(stream.size(), 7u);
  EXPECT_EQ(stream[5].byte, 0x80);
  EXPECT_FLOAT_EQ(stream[5].delayMs, 250);
  EXPECT_FALSE(stream[6].packetEnd);
  EXPECT_FLOAT_EQ(stream[0].delayMs, 5) << "a closing gap comes before the next round";
}

TEST(Script, DemoShowsEveryCodeAndTheWholePressureScale) {
  for (int length : {7, 5}) {
    const int32_t maxX = 6000, maxY = 4500;
    const std::vector<TabletPacket> packets = Decode(DemoStream(maxX, maxY, length), length);
    ASSERT_GT(packets.size(), 500u);
    std::set<int32_t> codes;
    int32_t lowest = 511, highest = 0;
    for (const TabletPacket& p : packets) {
      codes.insert(p.buttons);
      lowest = std::min(lowest, p.pressure);
      highest = std::max(highest, p.pressure);
      EXPECT_TRUE(p.x >= 0 && p.x <= maxX && p.y >= 0 && p.y <= maxY) << p.x << "," << p.y;
    }
    EXPECT_EQ(codes.size(), 8u);
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, length == 7 ? 511 : 0);
  }
}

TEST(Script, RawStreamMarksPacketEndsLikeTheReader) {
  // A packet broken by a new start byte, filler inside one, then a whole packet.
  const std::vector<uint8_t> bytes = {0x99, 0x01, 0x98, 0x01, 0x02, 0x80, 0x03, 0x04, 0x05};
  const Stream stream = RawStream(bytes, 5);
  ASSERT_EQ(stream.size(), bytes.size());
  for (size_t i = 0; i < stream.size(); ++i) EXPECT_EQ(stream[i].packetEnd, i == 7) << i;
}


// 100 packets of a pen at rest after one that moved there, under each fault alone.
TEST(LineFaults, EachFaultDoesWhatItSays) {
  Stream base;
  ASSERT_EQ(ParseScript("packet 1 900 700\nrest 1 1000 700 0 100\n", 7, base), "");
  struct Row {
    const char* name;
    LineFaults faults;
    size_t packets, strays;
    double lineBytes;   // the time on the line, idle included, in byte times (101 packets: 707)
    int32_t noiseUpTo;  // largest distance from 1000, 700 among the resting packets
  };
  const Row rows[] = {
      {"none", {}, 101, 0, 707, 0},
      {"rest noise 3", {3, 0, 0, 1}, 101, 0, 707, 3},
      {"drop a tenth, its time kept", {0, 0.1, 0, 1}, 91, 0, 707, 0},
      {"a stray byte after every 4th packet", {0, 0, 4, 1}, 101, 25, 707 + 25, 0},
      {"half the line rate", {0, 0, 0, 0.5}, 101, 0, 2 * 707, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Stream s = base;
    ApplyLineFaults(s, r.faults, 7);
    const std::vector<TabletPacket> packets = Decode(s, 7);
    EXPECT_EQ(packets.size(), r.packets);
    EXPECT_EQ(s.size() - packets.size() * 7, r.strays) << "bytes beyond whole packets";
    double ms = 0;
    for (const OutByte& b : s) ms += b.delayMs + kByteMs;
    EXPECT_NEAR(ms, r.lineBytes * kByteMs, 0.01);
    EXPECT_EQ(packets.front().x, 900) << "a packet that moved keeps its place";
    int32_t farthest = 0;
    std::set<int32_t> xs;
    for (size_t i = 1; i < packets.size(); ++i) {
      farthest = std::max({farthest, std::abs(packets[i].x - 1000), std::abs(packets[i].y - 700)});
      xs.insert(packets[i].x);
    }
    EXPECT_EQ(farthest, r.noiseUpTo);
    EXPECT_GE(xs.size(), r.noiseUpTo > 0 ? 5u : 1u) << "the noise spreads over the range";
  }
}

}  // namespace
}  // namespace vellum::emu
