// Decoding and the cutting of byte streams into packets, in both variants.
#include <gtest/gtest.h>

#include <random>

#include "tablet/TabletLink.h"
#include "tests/tablet/FakePort.h"

namespace vellum::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Step = PacketAssembler::Step;

TEST(DecodePacket, Fields) {
  struct Row {
    Bytes bytes;
    TabletPacket expected;
  };
  const Row rows[] = {
      {{0x9D, 0x7F, 0x7F, 0x00, 0x01, 127, 0x15}, {5, 16383, 128, 511}},
      {{0x98, 0x00, 0x00, 0x00, 0x00, 0, 0x04}, {0, 0, 0, 0}},
      {{0x9F, 0x11, 0x13, 0x13, 0x11, 0x00, 0x10}, {7, 0x11 | (0x13 << 7), 0x13 | (0x11 << 7), 1}},
      {{0x99, 0x08, 0x27, 0x16, 0x1D, 0x00, 0x05}, {1, 5000, 3734, 2}},
      {{0x9A, 0x44, 0x13, 0x4A, 0x11}, {2, 2500, 2250, 0}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(DecodePacket(r.bytes.data(), int(r.bytes.size())), r.expected);
  }
}

TEST(EncodePacket, DecodesToWhatWasEncoded) {
  const TabletPacket packets[] = {
      {0, 0, 0, 0},       {7, 16383, 16383, 511}, {1, 127, 128, 1},
      {5, 0x11, 0x13, 2}, {2, 5000, 3750, 3},     {3, 9000, 6000, 256},
  };
  for (int length : {7, 5}) {
    for (const TabletPacket& p : packets) {
      const Bytes bytes = EncodePacket(p, length);
      ASSERT_EQ(bytes.size(), size_t(length));
      const TabletPacket expected{p.buttons, p.x, p.y, length == 7 ? p.pressure : 0};
      EXPECT_EQ(DecodePacket(bytes.data(), length), expected)
          << "length " << length << " pressure " << p.pressure;
      if (length == 7) {
        EXPECT_EQ(bytes[6] & 0xEE, 0x04) << "fixed bits of byte 6";
      }
    }
  }
}

TEST(Ranges, EveryPairFromTheTablesAndNothingElse) {
  for (int32_t v : {2500, 3000, 5000, 6000, 9000}) EXPECT_TRUE(IsAcceptedXRange(v)) << v;
  for (int32_t v : {2250, 2500, 3750, 6000}) EXPECT_TRUE(IsAcceptedYRange(v)) << v;
  for (int32_t v : {0, 2250, 3750, 4000, 9001, -5000}) EXPECT_FALSE(IsAcceptedXRange(v)) << v;
  for (int32_t v : {0, 3000, 5000, 2249}) EXPECT_FALSE(IsAcceptedYRange(v)) << v;
}

std::vector<TabletPacket> Cut(const Bytes& stream, int length, PacketAssembler::Variant v,
                              const std::vector<size_t>& splits) {
  PacketAssembler assembler(length, v);
  std::vector<TabletPacket> packets;
  size_t from = 0;
  auto feed = [&](size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (assembler.Push(stream[i]) == Step::kComplete) packets.push_back(assembler.Packet());
    }
    from = to;
  };
  for (size_t s : splits) feed(std::min(s, stream.size()));
  feed(stream.size());
  return packets;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct StreamCase {
  const char* name;
  int length;
  PacketAssembler::Variant variant;
  Bytes stream;
  std::vector<TabletPacket> expected;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
  *os << c.name;
}

class StreamTable : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTable, SamePacketsHoweverTheStreamIsSplit) {
  const StreamCase& c = GetParam();
  EXPECT_EQ(Cut(c.stream, c.length, c.variant, {}), c.expected) << "whole";
  std::vector<size_t> everyByte;
  for (size_t i = 1; i < c.stream.size(); ++i) everyByte.push_back(i);
  EXPECT_EQ(Cut(c.stream, c.length, c.variant, everyByte), c.expected) << "byte by byte";
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<size_t> splits;
    for (size_t at = 0; at < c.stream.size(); at += 1 + random() % 9) splits.push_back(at);
    EXPECT_EQ(Cut(c.stream, c.length, c.variant, splits), c.expected) << "round " << round;
  }
}

constexpr auto kData = PacketAssembler::Variant::kDataStream;
constexpr auto kRange = PacketAssembler::Variant::kRangeReply;

const Bytes kA = Packet7(1, 100, 200, 300);
const Bytes kB = Packet7(7, 16383, 0, 511);

INSTANTIATE_TEST_SUITE_P(
    Assembler, StreamTable,
    ::testing::Values(
        StreamCase{
            "TwoPackets", 7, kData, Join({kA, kB}), {{1, 100, 200, 300}, {7, 16383, 0, 511}}},
        StreamCase{
            "FillerInsideAPacket",
            7,
            kData,
            Join({Bytes(kA.begin(), kA.begin() + 4), {0x80}, Bytes(kA.begin() + 4, kA.end())}),
            {{1, 100, 200, 300}}},
        StreamCase{"StartByteRestarts",
                   7,
                   kData,
                   Join({Bytes(kA.begin(), kA.begin() + 3), kB}),
                   {{7, 16383, 0, 511}}},
        StreamCase{"DataOutsideAPacketDropped",
                   5,
                   kData,
                   Join({{0x00, 0x11, 0x13}, Packet5(2, 2500, 2250), {0x7F}}),
                   {{2, 2500, 2250, 0}}},
        // 0xD8..0xDF opens a range reply but only resets the data stream.
        StreamCase{"Bit6StartByteInDataStream", 5, kData, Packet5(1, 3, 4, 0xD8), {}},
        StreamCase{"Bit6StartByteInRangeReply", 5, kRange, Packet5(1, 3, 4, 0xD8), {{1, 3, 4, 0}}},
        // In a range reply 0x80 is a high byte like any other: it ends the packet.
        StreamCase{"FillerBreaksARangeReply",
                   5,
                   kRange,
                   Join({Bytes{0x98, 1, 2}, {0x80}, {3, 4}, Packet5(0, 9000, 6000)}),
                   {{0, 9000, 6000, 0}}},
        StreamCase{"Byte6TestedAgainAfterARejection",
                   7,
                   kRange,
                   Join({Bytes(kA.begin(), kA.begin() + 6), {0x06, 0x40, 0x15}}),
                   {{1, 100, 200, 303}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Assembler, RangeReplyStepsAndHighByteCount) {
  PacketAssembler a(7, kRange);
  EXPECT_EQ(a.Push(0x80), Step::kDiscarded);
  EXPECT_EQ(a.Push(0x01), Step::kDiscarded);
  EXPECT_EQ(a.Push(0xDB), Step::kStarted);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a.Push(0x00), Step::kStored);
  EXPECT_EQ(a.Push(0x06), Step::kRejected);
  EXPECT_EQ(a.Position(), 6);
  EXPECT_EQ(a.Push(0x05), Step::kComplete);
  EXPECT_EQ(a.Position(), 0);
  EXPECT_EQ(a.HighBitCount(), 2);
}

TEST(Assembler, DataStreamIgnoresFillerOnly) {
  PacketAssembler a(5);
  EXPECT_EQ(a.Push(0x98), Step::kStarted);
  EXPECT_EQ(a.Push(0x80), Step::kIgnored);
  EXPECT_EQ(a.Position(), 1);
  EXPECT_EQ(a.Push(0x81), Step::kDiscarded);
  EXPECT_EQ(a.Position(), 0);
  EXPECT_EQ(a.HighBitCount(), 0);
}

}  // namespace
}  // namespace vellum::test
