// Packet sequences to the exact evdev frames the pen tablet writes, without a kernel.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <string>
#include <vector>

#include "pen/FrameMaker.h"

namespace vellum::pen {
namespace {

// A frame as the test writes it: the device, then its events.
struct Expected {
  Device device;
  std::vector<Event> events;
  friend bool operator==(const Expected&, const Expected&) = default;
};

std::vector<Expected> Of(const Frames& frames) {
  std::vector<Expected> out;
  for (const Frame& f : frames) out.push_back({f.device, {f.begin(), f.end()}});
  return out;
}

std::string Describe(const std::vector<Expected>& frames) {
  std::string s;
  for (const Expected& f : frames) {
    s += f.device == Device::kPen ? "pen[" : "puck[";
    for (const Event& e : f.events) {
      s += " " + std::to_string(e.type) + ":" + std::to_string(e.code) + "=" +
           std::to_string(e.value);
    }
    s += " ] ";
  }
  return s;
}

Event Abs(uint16_t code, int32_t v) {
  return {EV_ABS, code, v};
}
Event Key(uint16_t code, int32_t v) {
  return {EV_KEY, code, v};
}
const Event kSyn{EV_SYN, SYN_REPORT, 0};

// A 7-byte tablet, 5000 x 3750 counts: 2.54 units a count, 12700 x 9525 units.
const TabletGeometry k7{7, 5000, 3750};
// A 5-byte tablet, 2500 x 2250 counts: 5.08 units a count, 12700 x 11430 units.
const TabletGeometry k5{5, 2500, 2250};

// The stylus frame of a 7-byte tablet: position (Y turned), pressure, tool, tip, buttons.
Expected Pen7(int32_t x, int32_t y, int32_t pressure, int tip, int lower, int upper) {
  return {Device::kPen,
          {Abs(ABS_X, x), Abs(ABS_Y, y), Abs(ABS_PRESSURE, pressure), Key(BTN_TOOL_PEN, 1),
           Key(BTN_TOUCH, tip), Key(BTN_STYLUS, lower), Key(BTN_STYLUS2, upper), kSyn}};
}
Expected Pen5(int32_t x, int32_t y, int tip, int lower, int upper) {
  return {Device::kPen,
          {Abs(ABS_X, x), Abs(ABS_Y, y), Key(BTN_TOOL_PEN, 1), Key(BTN_TOUCH, tip),
           Key(BTN_STYLUS, lower), Key(BTN_STYLUS2, upper), kSyn}};
}
// Leaving proximity: pressure, tip and buttons released before the tool key, one frame.
const Expected kPen7Out{Device::kPen,
                        {Abs(ABS_PRESSURE, 0), Key(BTN_TOUCH, 0), Key(BTN_STYLUS, 0),
                         Key(BTN_STYLUS2, 0), Key(BTN_TOOL_PEN, 0), kSyn}};
const Expected kPen5Out{
    Device::kPen,
    {Key(BTN_TOUCH, 0), Key(BTN_STYLUS, 0), Key(BTN_STYLUS2, 0), Key(BTN_TOOL_PEN, 0), kSyn}};
Expected Puck(int32_t x, int32_t y, int left, int right, int middle, int side) {
  return {Device::kPuck,
          {Abs(ABS_X, x), Abs(ABS_Y, y), Key(BTN_LEFT, left), Key(BTN_RIGHT, right),
           Key(BTN_MIDDLE, middle), Key(BTN_SIDE, side), kSyn}};
}
const Expected kPuckOut{
    Device::kPuck,
    {Key(BTN_LEFT, 0), Key(BTN_RIGHT, 0), Key(BTN_MIDDLE, 0), Key(BTN_SIDE, 0), kSyn}};

constexpr int64_t kPacketUs = 8'021;  // a 7-byte packet's time on the line

// One step of a sequence: a packet (code, x, y, pressure) at a time, or a quiet line checked at
// a time (code -1), and the frames it must give.
struct Step {
  int64_t atUs;
  int code;
  int x, y, pressure;
  std::vector<Expected> frames;
};

void Expect(const char* name, const TabletGeometry& g, Tool tool, const std::vector<Step>& steps) {
  SCOPED_TRACE(name);
  FrameMaker maker(g);
  int i = 0;
  for (const Step& s : steps) {
    const Frames out = s.code < 0 ? maker.OnQuiet(s.atUs)
                                  : maker.OnPacket({s.code, s.x, s.y, s.pressure}, tool, s.atUs);
    EXPECT_EQ(Of(out), s.frames) << "step " << i << ": " << Describe(Of(out));
    ++i;
  }
}

TEST(FrameMaker, PressureStylusStroke) {
  const int64_t quiet = FrameMaker::QuietTimeUs(7);
  Expect("7-byte", k7, Tool::kPressureStylus,
         {
             // Hovering at the tablet's centre: the tool enters with its first packet.
             {0, 0, 2500, 1875, 0, {Pen7(6350, 4763, 0, 0, 0, 0)}},
             // Tip down with pressure.
             {kPacketUs, 1, 2500, 1875, 120, {Pen7(6350, 4763, 120, 1, 0, 0)}},
             {2 * kPacketUs, 1, 2501, 1874, 300, {Pen7(6353, 4765, 300, 1, 0, 0)}},
             // The lower half of the rocker with the tip, then the upper half alone.
             {3 * kPacketUs, 3, 2501, 1874, 310, {Pen7(6353, 4765, 310, 1, 1, 0)}},
             {4 * kPacketUs, 4, 2501, 1874, 0, {Pen7(6353, 4765, 0, 0, 0, 1)}},
             // Tip up: a pressure reading without the tip switch is no contact.
             {5 * kPacketUs, 0, 2501, 1874, 40, {Pen7(6353, 4765, 0, 0, 0, 0)}},
             // Quiet, but not yet for long enough; then long enough.
             {5 * kPacketUs + quiet - 1, -1, 0, 0, 0, {}},
             {5 * kPacketUs + quiet, -1, 0, 0, 0, {kPen7Out}},
             {5 * kPacketUs + quiet + 1000, -1, 0, 0, 0, {}},
             // The next packet brings the tool back.
             {6 * kPacketUs + quiet, 0, 0, 3750, 0, {Pen7(0, 0, 0, 0, 0, 0)}},
         });
}

TEST(FrameMaker, ButtonsOfEachStylus) {
  struct Row {
    const char* name;
    Tool tool;
    int code;
    int tip, lower, upper;
  };
  const Row rows[] = {
      {"rocker both halves", Tool::kPressureStylus, 7, 1, 1, 1},
      {"2-button side", Tool::kTwoButtonStylus, 2, 0, 1, 0},
      {"2-button has no value 4", Tool::kTwoButtonStylus, 5, 1, 0, 0},
      {"2-button code 6", Tool::kTwoButtonStylus, 6, 0, 1, 0},
      {"3-button lower", Tool::kThreeButtonStylus, 2, 0, 1, 0},
      {"3-button upper with tip", Tool::kThreeButtonStylus, 5, 1, 0, 1},
      {"3-button both sides", Tool::kThreeButtonStylus, 6, 0, 1, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(StylusKeysOf(r.tool, r.code), (StylusKeys{r.tip == 1, r.lower == 1, r.upper == 1}));
  }
}

TEST(FrameMaker, FiveByteTabletTipWithoutPressure) {
  const int64_t quiet = FrameMaker::QuietTimeUs(5);
  Expect("5-byte", k5, Tool::kThreeButtonStylus,
         {
             {0, 0, 1250, 1125, 0, {Pen5(6350, 5715, 0, 0, 0)}},
             {5'729, 1, 1250, 1125, 0, {Pen5(6350, 5715, 1, 0, 0)}},
             {11'458, 5, 0, 0, 0, {Pen5(0, 11430, 1, 0, 1)}},
             {17'187, 0, 2500, 2250, 0, {Pen5(12700, 0, 0, 0, 0)}},
             {17'187 + quiet, -1, 0, 0, 0, {kPen5Out}},
         });
}

// Counts beyond the active area are held at its edge.
TEST(FrameMaker, PositionsOutsideTheAreaStayOnTheAxes) {
  Expect("7-byte", k7, Tool::kPressureStylus,
         {{0, 0, 16383, 16383, 0, {Pen7(12700, 0, 0, 0, 0, 0)}},
          {kPacketUs, 0, 0, 0, 0, {Pen7(0, 9525, 0, 0, 0, 0)}}});
}

TEST(FrameMaker, CursorDrivesThePuckWithMouseButtons) {
  Expect("cursor", k5, Tool::kCursor,
         {
             {0, 0, 1250, 1125, 0, {Puck(6350, 5715, 0, 0, 0, 0)}},
             {5'729, 1, 1250, 1125, 0, {Puck(6350, 5715, 1, 0, 0, 0)}},
             // 3 after 1: the left and right buttons, not the lower centre one.
             {11'458, 3, 1250, 1125, 0, {Puck(6350, 5715, 1, 1, 0, 0)}},
             {17'187, 0, 1250, 1125, 0, {Puck(6350, 5715, 0, 0, 0, 0)}},
             // 3 after 0: the lower centre button; 4 after 0: the upper centre one.
             {22'916, 3, 1250, 1125, 0, {Puck(6350, 5715, 0, 0, 0, 1)}},
             {28'645, 0, 1250, 1125, 0, {Puck(6350, 5715, 0, 0, 0, 0)}},
             {34'374, 4, 1250, 1125, 0, {Puck(6350, 5715, 0, 0, 1, 0)}},
             {34'374 + FrameMaker::QuietTimeUs(5), -1, 0, 0, 0, {kPuckOut}},
         });
}

// The cursor's sums, read as its picture reads them: by the code shown before.
TEST(CursorDecoder, SumsByTheCodeBefore) {
  constexpr CursorButtons L = 1, R = 2, C3 = 4, C4 = 8;
  struct Row {
    std::vector<int> codes;
    CursorButtons last;
  };
  const Row rows[] = {
      {{3}, C3},
      {{1, 3}, L | R},
      {{2, 3}, L | R},
      {{4}, C4},
      {{1, 4}, L | C3},
      {{3, 4}, L | C3},
      {{1, 5}, L | C4},
      {{4, 5}, L | C4},
      {{2, 5}, R | C3},
      {{5}, 0},
      {{2, 6}, R | C4},
      {{1, 6}, L | R | C3},
      {{6}, 0},
      {{3, 7}, C3 | C4},
      {{1, 7}, L | R | C4},
      {{7}, 0},
      // A repeated code keeps its first reading, though the code before is now itself.
      {{1, 3, 3, 3}, L | R},
      // The reading carries over a change: 3 (lower centre), then 6 after 3 is 1 + 2 + 3.
      {{0, 3, 6}, L | R | C3},
  };
  for (const Row& r : rows) {
    CursorDecoder d;
    CursorButtons got = 0;
    for (int c : r.codes) got = d.Decode(c);
    EXPECT_EQ(got, r.last) << ::testing::PrintToString(r.codes);
  }
}

// Old tool out, sync, new tool in: each tool's device gets its own frame.
TEST(FrameMaker, ToolChangeLeavesBeforeTheNewToolEnters) {
  FrameMaker maker(k5);
  EXPECT_EQ(Of(maker.OnPacket({1, 1250, 1125, 0}, Tool::kThreeButtonStylus, 0)),
            (std::vector<Expected>{Pen5(6350, 5715, 1, 0, 0)}));
  EXPECT_EQ(Of(maker.OnPacket({2, 1250, 1125, 0}, Tool::kCursor, 5'729)),
            (std::vector<Expected>{kPen5Out, Puck(6350, 5715, 0, 1, 0, 0)}));
  EXPECT_EQ(Of(maker.OnPacket({0, 0, 0, 0}, Tool::kTwoButtonStylus, 11'458)),
            (std::vector<Expected>{kPuckOut, Pen5(0, 11430, 0, 0, 0)}));
}

// Only a quiet line or a stop ends the proximity: a packet the reader got late (held up behind
// others in a burst) continues it.
TEST(FrameMaker, LatePacketsContinueAndAStopEndsTheProximity) {
  FrameMaker maker(k7);
  EXPECT_TRUE(Of(maker.Leave()).empty()) << "nothing is in proximity yet";
  EXPECT_EQ(maker.QuietDeadlineUs(), -1);
  maker.OnPacket({1, 0, 0, 200}, Tool::kPressureStylus, 1'000);
  EXPECT_EQ(maker.QuietDeadlineUs(), 1'000 + FrameMaker::QuietTimeUs(7));
  EXPECT_EQ(Of(maker.OnPacket({1, 0, 0, 200}, Tool::kPressureStylus, 100'000)),
            (std::vector<Expected>{Pen7(0, 9525, 200, 1, 0, 0)}));
  // Stopped while the tip is down.
  EXPECT_EQ(Of(maker.Leave()), (std::vector<Expected>{kPen7Out}));
  EXPECT_EQ(maker.QuietDeadlineUs(), -1);
  EXPECT_TRUE(Of(maker.Leave()).empty());
}

TEST(FrameMaker, QuietTimeIsAFewPacketsAndWellUnderFiftyMs) {
  EXPECT_EQ(FrameMaker::QuietTimeUs(7), 24'062);
  EXPECT_EQ(FrameMaker::QuietTimeUs(5), 20'000);
}

}  // namespace
}  // namespace vellum::pen
