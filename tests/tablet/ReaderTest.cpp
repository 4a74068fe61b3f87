// One packet's handling by mode, and the loop over a scripted byte stream.
#include <gtest/gtest.h>

#include <deque>

#include "tablet/Reader.h"
#include "tests/tablet/FakePort.h"
#include "tests/tablet/RecordingTarget.h"

namespace vellum::test {
namespace {

using Calls = std::vector<std::string>;

ReaderConfig Config(int length, int maxX = 5000, int maxY = 3750) {
  ReaderConfig c;
  c.width = 1024;
  c.height = 768;
  c.maxX = maxX;
  c.maxY = maxY;
  c.packetLength = length;
  return c;
}

Calls Handle(const ReaderConfig& config, RecordingTarget& target,
             std::initializer_list<std::vector<uint8_t>> packets) {
  PacketDispatcher dispatcher(config, target);
  for (const auto& p : packets) dispatcher.Handle(p.data());
  return target.calls;
}

TEST(Dispatch, ScalingToTheClientArea) {
  struct Row {
    int x, y;
    ClientPoint client;
  };
  for (const Row& r : {Row{2500, 3750, {512, 0}}, Row{1, 0, {0, 768}}, Row{3, 1875, {1, 384}},
                       Row{5001, 3751, {1024, 0}}, Row{10000, 7500, {2048, -768}}}) {
    RecordingTarget target;
    target.modes = {1};
    const Calls calls = Handle(Config(5), target, {Packet5(0, r.x, r.y)});
    const std::string trace =
        "trace " + std::to_string(r.client.x) + " " + std::to_string(r.client.y);
    EXPECT_NE(std::find(calls.begin(), calls.end(), trace), calls.end()) << r.x << "," << r.y;
  }
}

TEST(Dispatch, PenWidthFromPressure) {
  for (auto [pressure, width] : {std::pair{511, 50}, {5, 0}, {6, 1}, {0, 0}, {256, 25}}) {
    RecordingTarget target;
    const Calls calls = Handle(Config(7), target, {Packet7(1, 10, 10, pressure)});
    EXPECT_EQ(calls.front(), "width " + std::to_string(width)) << pressure;
  }
}

struct ModeCase {
  const char* name;
  int length;
  std::vector<uint32_t> modes;
  int32_t shownButtons;
  int32_t transducer;
  int code;
  Calls expected;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << c.name;
}

class ModeTable : public ::testing::TestWithParam<ModeCase> {};

// Tablet (2500, 1875) on a 5000 x 3750 tablet is client (512, 384), screen (612, 434).
TEST_P(ModeTable, CallsInOrder) {
  const ModeCase& c = GetParam();
  RecordingTarget target;
  target.modes = c.modes;
  target.shownButtons = c.shownButtons;
  target.transducer = c.transducer;
  const auto packet =
      c.length == 7 ? Packet7(c.code, 2500, 1875, 300) : Packet5(c.code, 2500, 1875);
  EXPECT_EQ(Handle(Config(c.length), target, {packet}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dispatch, ModeTable,
    ::testing::Values(
        ModeCase{"InfoSevenByte",
                 7,
                 {0},
                 0,
                 4,
                 1,
                 {"width 29", "buttons 1", "pointer 612 434", "trace 512 384", "stylus 1",
                  "readout 1 2500 1875 300"}},
        ModeCase{"InfoSevenByteCode6",
                 7,
                 {0},
                 0,
                 4,
                 6,
                 {"width 29", "buttons 6", "pointer 612 434", "trace 512 384"}},
        ModeCase{"InfoSevenByteCode7",
                 7,
                 {0},
                 0,
                 4,
                 7,
                 {"width 29", "buttons 7", "pointer 612 434", "trace 512 384"}},
        ModeCase{"InfoFiveByteNewCodeCursor",
                 5,
                 {0},
                 0,
                 4,
                 2,
                 {"buttons 2", "pointer 612 434", "trace 512 384", "latch", "cursor 2",
                  "readout 2 2500 1875 0", "selector 2 612 434"}},
        ModeCase{"InfoFiveByteSameCodeTwoButton",
                 5,
                 {0},
                 3,
                 2,
                 3,
                 {"buttons 3", "pointer 612 434", "trace 512 384", "stylus2 3",
                  "readout 3 2500 1875 0", "selector 3 612 434"}},
        ModeCase{"InfoFiveByteCodeZeroThreeButton",
                 5,
                 {0},
                 1,
                 3,
                 0,
                 {"buttons 0", "pointer 612 434", "trace 512 384", "latch", "stylus3 0",
                  "readout 0 2500 1875 0"}},
        ModeCase{"InfoFiveByteUnknownTransducer",
                 5,
                 {0},
                 0,
                 9,
                 0,
                 {"buttons 0", "pointer 612 434", "trace 512 384", "readout 0 2500 1875 0"}},
        ModeCase{
            "Linear",
            7,
            {1},
            0,
            4,
            3,
            {"width 29", "buttons 3", "status 2500 1875 300", "pointer 612 434", "trace 512 384"}},
        ModeCase{
            "Pressure",
            7,
            {2},
            0,
            4,
            0,
            {"width 29", "buttons 0", "status 2500 1875 300", "pointer 612 434", "trace 512 384"}},
        ModeCase{"ShakePassesTabletYUninverted",
                 5,
                 {3},
                 0,
                 4,
                 1,
                 {"buttons 1", "status 2500 1875 0", "pointer 612 434", "shake 2500 1875"}},
        // Nothing decoded: the kept values (zero before any packet) are stored, no pointer.
        ModeCase{"KeystrokeDecodesNothing",
                 7,
                 {4},
                 0,
                 4,
                 5,
                 {"buttons 5", "status 0 0 0", "keystroke 5"}},
        ModeCase{"UnknownModeOnlyStores", 5, {9}, 0, 4, 5, {"buttons 5", "status 2500 1875 0"}},
        // A key between the reads: decoded for Linear, status skipped for the info screen,
        // dispatched as Keystroke.
        ModeCase{"ModeReadAtThreePoints",
                 7,
                 {1, 0, 4},
                 0,
                 4,
                 2,
                 {"width 29", "buttons 2", "keystroke 2"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dispatch, KeystrokeKeepsTheLastDecodedValues) {
  RecordingTarget target;
  target.modes = {1, 1, 1, 4};
  PacketDispatcher dispatcher(Config(7), target);
  dispatcher.Handle(Packet7(1, 2500, 1875, 300).data());
  target.calls.clear();
  dispatcher.Handle(Packet7(2, 100, 100, 10).data());
  EXPECT_EQ(target.calls, (Calls{"buttons 2", "status 2500 1875 300", "keystroke 2"}));
}

// Serves a fixed byte stream, then fails the read that follows it.
class StreamPort final : public IPort {
 public:
  explicit StreamPort(std::vector<int> items) : items_(items.begin(), items.end()) {}
  OpenResult Open(int) override { return OpenResult::kOk; }
  void Write(const uint8_t*, size_t) override {}
  ReadResult ReadByte() override {
    ++reads;
    if (items_.empty()) return {};
    const int item = items_.front();
    items_.pop_front();
    if (item < 0) return {true, 0, 0};  // an empty read
    return {true, 1, uint8_t(item)};
  }
  uint32_t InputQueueCount() override { return 0; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Pause(int ms) override { pauses.push_back(ms); }
  int64_t NowMs() const override { return 0; }
  std::vector<int> pauses;
  int reads = 0;

 private:
  std::deque<int> items_;
};

class TapRecorder : public IByteTap {
 public:
  void OnBytes(const uint8_t* b, size_t n) override { bytes.insert(bytes.end(), b, b + n); }
  std::vector<uint8_t> bytes;
};

TEST(RunReader, FillerInsidePacketCostsOnePauseAndKeepsThePacket) {
  const auto p = Packet7(1, 2500, 1875, 300);
  StreamPort port({p[0], p[1], p[2], p[3], 0x80, p[4], p[5], p[6], -1});
  RecordingTarget target;
  target.modes = {1};
  std::atomic<bool> stop{false};
  TapRecorder tap;
  EXPECT_EQ(RunReader(port, Config(7), target, stop, nullptr, &tap), 0);
  EXPECT_EQ(target.packets.load(), 1);
  EXPECT_EQ(port.pauses, (std::vector<int>{5, 5}));  // the filler and the empty read
  EXPECT_EQ(tap.bytes, (std::vector<uint8_t>{p[0], p[1], p[2], p[3], 0x80, p[4], p[5], p[6]}));
  EXPECT_EQ(port.reads, 10);  // the last one fails and ends the loop
}

TEST(RunReader, StopIsCheckedBeforeTheFirstRead) {
  StreamPort port({0x98});
  RecordingTarget target;
  std::atomic<bool> stop{true};
  EXPECT_EQ(RunReader(port, Config(5), target, stop, nullptr), 0);
  EXPECT_EQ(port.reads, 0);
}

TEST(RunReader, DiscardedAndDataBytesCostNoPause) {
  std::vector<int> stream = {0x00, 0xC8, 0x11};
  for (uint8_t b : Packet5(3, 2500, 2250)) stream.push_back(b);
  StreamPort port(stream);
  RecordingTarget target;
  std::atomic<bool> stop{false};
  RunReader(port, Config(5, 2500, 2250), target, stop, nullptr);
  EXPECT_TRUE(port.pauses.empty());
  EXPECT_EQ(target.packets.load(), 1);
}

}  // namespace
}  // namespace vellum::test
