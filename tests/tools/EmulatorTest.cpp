// The emulated tablet on a virtual clock: what it answers, when each byte is done, and its faults.
#include <gtest/gtest.h>

#include <string>

#include "tablet/TabletLink.h"
#include "tools/emulator/Emulator.h"

namespace vellum::emu {
namespace {

using Bytes = std::vector<uint8_t>;

void Send(TabletEmulator& tablet, const std::string& bytes, double nowMs) {
  for (char c : bytes) tablet.Receive(uint8_t(c), nowMs);
}

Bytes Until(TabletEmulator& tablet, double nowMs) {
  Bytes out;
  tablet.Transmit(nowMs, out);
  return out;
}

Stream Packets(int count, int length) {
  Stream s;
  for (int i = 0; i < count; ++i) AppendPacket(s, Pen{1, 100 + i, 200 + i, 300}, length);
  return s;
}

EmulatorConfig Model(int length, Fault fault = Fault::kNone) {
  EmulatorConfig c;
  c.packetLength = length;
  c.fault = fault;
  return c;
}

const std::string kDc3 = "\x13", kDc1 = "\x11";

TEST(Emulator, IdentifyReplyDependsOnTheModel) {
  struct Case {
    int length;
    size_t bytes;
  };
  for (const Case& c : {Case{7, kIdentifyReplyLength}, Case{5, 0}}) {
    TabletEmulator tablet(Model(c.length), {});
    Send(tablet, kDc3 + "z~", 0);
    const Bytes out = Until(tablet, 1000);
    ASSERT_EQ(out.size(), c.bytes) << "model " << c.length;
    if (c.bytes) {
      EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "TRELVO");
    }
  }
}

TEST(Emulator, EachByteTakesElevenBitTimes) {
  TabletEmulator tablet(Model(7), {});
  Send(tablet, "z~", 10);
  const double last = 10 + kIdentifyReplyLength * kByteMs;
  EXPECT_EQ(Until(tablet, 10 + kByteMs - 0.001).size(), 0u);
  EXPECT_EQ(Until(tablet, last - 0.001).size(), kIdentifyReplyLength - 1);
  EXPECT_EQ(Until(tablet, last + 0.001).size(), 1u);
  EXPECT_GT(tablet.NextDueMs(), 1e9);  // nothing left to send
}

TEST(Emulator, RangeReplyCarriesTheRange) {
  struct Case {
    int length;
    int32_t x, y;
    Fault fault;
    int32_t wantX;
  };
  const Case cases[] = {
      {7, 5000, 3750, Fault::kNone, 5000},
      {5, 9000, 2250, Fault::kNone, 9000},
      {7, 2500, 6000, Fault::kBadRange, 4000},  // never one of the accepted X ranges
      {5, 1234, 99, Fault::kNone, 1234},        // any pair may be asked for
  };
  for (const Case& c : cases) {
    EmulatorConfig config = Model(c.length, c.fault);
    config.maxX = c.x;
    config.maxY = c.y;
    TabletEmulator tablet(config, {});
    Send(tablet, "a@", 0);
    PacketAssembler reply(c.length, PacketAssembler::Variant::kRangeReply);
    PacketAssembler::Step last = PacketAssembler::Step::kDiscarded;
    for (uint8_t b : Until(tablet, 100)) last = reply.Push(b);
    ASSERT_EQ(last, PacketAssembler::Step::kComplete) << c.x << "x" << c.y;
    EXPECT_EQ(reply.Packet().x, c.wantX);
    EXPECT_EQ(reply.Packet().y, c.y);
  }
}

TEST(Emulator, StreamStartsOnDc1UnlessLeftRunning) {
  for (bool leftRunning : {false, true}) {
    EmulatorConfig config = Model(7);
    config.loop = false;
    config.streamAtStart = leftRunning;
    TabletEmulator tablet(config, Packets(3, 7));
    EXPECT_EQ(Until(tablet, 1000).size(), leftRunning ? 21u : 0u);
    Send(tablet, kDc1, 1000);
    EXPECT_EQ(Until(tablet, 2000).size(), leftRunning ? 0u : 21u);
  }
}

TEST(Emulator, Dc3LetsThePacketOnItsWayFinish) {
  TabletEmulator tablet(Model(7), Packets(2, 7));
  Send(tablet, kDc1, 0);
  const double threeBytes = 3 * kByteMs + 0.001;
  EXPECT_EQ(Until(tablet, threeBytes).size(), 3u);
  Send(tablet, kDc3, threeBytes);
  EXPECT_EQ(Until(tablet, 1000).size(), 4u);
  EXPECT_FALSE(tablet.Streaming());
  EXPECT_EQ(tablet.PacketsSent(), 1u);
}

TEST(Emulator, RepliesWaitForThePacketOnItsWay) {
  TabletEmulator tablet(Model(5), Packets(1, 5));
  Send(tablet, kDc1, 0);
  const double twoBytes = 2 * kByteMs + 0.001;
  Until(tablet, twoBytes);
  Send(tablet, kDc3 + "a", twoBytes);
  const Bytes out = Until(tablet, 1000);
  ASSERT_EQ(out.size(), 3u + 5u);
  EXPECT_EQ(out[3] & 0xF8, 0x98) << "the reply starts after the packet's last 3 bytes";
}

TEST(Emulator, IdentifyRepeatedWhileAnsweringIsIgnored) {
  TabletEmulator tablet(Model(7), {});
  Send(tablet, "z~", 0);
  Send(tablet, "z~", 5);
  EXPECT_EQ(Until(tablet, 1000).size(), kIdentifyReplyLength);
  Send(tablet, "z~", 1000);
  EXPECT_EQ(Until(tablet, 2000).size(), kIdentifyReplyLength);
}

// Regression: a repeated range request on a busy machine queued a second reply that went out
// after the probe's DC1, into the port opened for good, where it read as a pen packet.
TEST(Emulator, Dc1DropsTheRepliesStillQueued) {
  EmulatorConfig config = Model(7);
  config.loop = false;
  TabletEmulator tablet(config, Packets(2, 7));
  Send(tablet, "a", 0);
  EXPECT_EQ(Until(tablet, 100).size(), 7u);
  Send(tablet, "a" + kDc1, 100);  // together, as a starved emulator reads them
  const Bytes out = Until(tablet, 1000);
  EXPECT_EQ(out.size(), 14u) << "the stream's two packets and nothing else";
  EXPECT_EQ(tablet.PacketsSent(), 2u);
}

// Regression: a tablet left running started its line at the clock's zero, so the first look at
// a steady clock hours after boot produced millions of bytes at once and starved its replies.
TEST(Emulator, LeftRunningStartsSendingWhenTheLineComesUp) {
  EmulatorConfig config = Model(7);
  config.streamAtStart = true;
  const double bootedHoursAgo = 5 * 3600e3;
  TabletEmulator tablet(config, Packets(3, 7), bootedHoursAgo);
  EXPECT_EQ(Until(tablet, bootedHoursAgo + 7 * kByteMs + 0.001).size(), 7u);
  // A stalled caller gets at most a second of backlog, not everything since the start.
  const size_t backlog = Until(tablet, bootedHoursAgo + 60e3).size();
  EXPECT_LE(backlog, size_t(1000 / kByteMs) + 1);
  EXPECT_GE(backlog, size_t(1000 / kByteMs) - 1);
}

TEST(Emulator, PauseLongerThanTheCatchUpBoundStillEnds) {
  // Regression: a scripted pause of a second or more never ended, because the catch-up bound
  // kept moving the line forward as the clock did.
  EmulatorConfig config = Model(7);
  config.streamAtStart = true;
  Stream s = Packets(1, 7);
  Stream later = Packets(1, 7);
  later.front().delayMs = 2500;
  s.insert(s.end(), later.begin(), later.end());
  config.loop = false;
  TabletEmulator tablet(config, s, 0);
  EXPECT_EQ(Until(tablet, 100).size(), 7u);
  for (double t = 200; t < 2500; t += 100) EXPECT_EQ(Until(tablet, t).size(), 0u) << t;
  EXPECT_EQ(Until(tablet, 2700).size(), 7u);
}

TEST(Emulator, SilentFaultSendsNothingAtAll) {
  EmulatorConfig config = Model(7, Fault::kSilent);
  config.streamAtStart = true;
  TabletEmulator tablet(config, Packets(5, 7));
  Send(tablet, kDc3 + "z~a@" + kDc1, 0);
  EXPECT_TRUE(Until(tablet, 10000).empty());
}

TEST(Emulator, SlowIdentifyArrivesInPieces) {
  TabletEmulator tablet(Model(7, Fault::kSlowIdentify), {});
  Send(tablet, "z~", 0);
  // Where the probe first looks (50 ms) part of the block is there, not all of it.
  const size_t first = Until(tablet, 50).size();
  EXPECT_GT(first, 0u);
  EXPECT_LT(first, kIdentifyReplyLength);
  EXPECT_EQ(first + Until(tablet, 1000).size(), kIdentifyReplyLength);
}

TEST(Emulator, GarbageAnswersWithNoise) {
  EmulatorConfig config = Model(7, Fault::kGarbage);
  TabletEmulator tablet(config, {});
  Send(tablet, "z~", 0);
  const Bytes identify = Until(tablet, 100);
  ASSERT_EQ(identify.size(), kIdentifyReplyLength);
  EXPECT_NE(std::string(identify.begin(), identify.begin() + 6), "TRELVO");
  Send(tablet, "a", 100);
  EXPECT_EQ(Until(tablet, 200).size(), kIdentifyReplyLength);
  Send(tablet, kDc1, 200);
  EXPECT_GT(Until(tablet, 300).size(), 50u) << "noise as the stream too";
}

TEST(Emulator, HangsUpAfterTheGivenPacketCount) {
  EmulatorConfig config = Model(7);
  config.hangUpAfter = 5;
  TabletEmulator tablet(config, Packets(3, 7));  // looped: the count runs over the stream's end
  Send(tablet, kDc1, 0);
  EXPECT_EQ(Until(tablet, 10000).size(), 5u * 7u);
  EXPECT_TRUE(tablet.HungUp());
  EXPECT_EQ(tablet.PacketsSent(), 5u);
  Send(tablet, "z~", 10000);
  EXPECT_TRUE(Until(tablet, 20000).empty());
}

}  // namespace
}  // namespace vellum::emu
