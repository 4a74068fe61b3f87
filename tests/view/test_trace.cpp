// The pen trace on the backbuffer, fed the way the reader feeds it: button code (and, on 7-byte
// tablets, pressure width) stored first, then one DrawTraceSegment per packet.
#include <gtest/gtest.h>

#include <string>

#include "ScreenChecks.h"
#include "base/MulDiv.h"

namespace {

using screens::Px;

constexpr gdi::COLORREF kColours[8] = {0x000000, 0xFFFFFF, 0xFF00FF, 0x0000FF,
                                       0xFFFF00, 0x00FF00, 0x00FFFF, 0xFF0000};

using screens::Rig;

// One packet: what the reader stores, then the segment.
void Packet(Rig& rig, int code, int x, int y, int pressure = 0) {
  TestView& view = rig.view();
  view.m_buttons.store(code);
  if (view.m_packetLength == 7) view.m_penWidth.store(vellum::MulDiv(pressure, 50, 512));
  view.DrawTraceSegment({x, y});
}

TEST(Trace, EveryCodeDrawsItsColourOnLinearAndPressure) {
  Rig rig(7);
  for (uint32_t mode : {1u, 2u}) {
    rig.EnterMode(mode);
    for (int code = 1; code <= 7; ++code) {
      const int y = 300 + 20 * code;
      Packet(rig, code, 200, y, 20);  // pressure width 2
      Packet(rig, code, 500, y, 20);
      Packet(rig, 0, 500, y);
      EXPECT_EQ(Px(rig.view(), 350, y), kColours[code]) << "mode " << mode << " code " << code;
    }
  }
}

TEST(Trace, InfoScreenDrawsCodeOneBlackAndKeepsTheOtherColours) {
  Rig rig(7);
  for (int code = 1; code <= 7; ++code) {
    const int y = 300 + 20 * code;
    Packet(rig, code, 200, y, 20);
    Packet(rig, code, 500, y, 20);
    Packet(rig, 0, 500, y);
    EXPECT_EQ(Px(rig.view(), 350, y), code == 1 ? screens::kBlack : kColours[code]) << code;
  }
}

TEST(Trace, CodeZeroDrawsNothingAndEndsTheStroke) {
  Rig rig(7);
  rig.EnterMode(1);
  Packet(rig, 1, 100, 400);
  Packet(rig, 0, 300, 400);
  Packet(rig, 1, 500, 400);
  EXPECT_EQ(screens::CountInRow(rig.view(), 400, 90, 510, screens::kWhite), 0)
      << "neither 100->300 nor 300->500 is drawn";
  EXPECT_EQ(rig.view().m_lastPoint, (gdi::POINT{500, 400}));
}

// A segment that runs from the trace area into the side panel.
TEST(Trace, InfoScreenCutsAtTheTraceAreaLinearDrawsInFull) {
  const gdi::RECT traceArea{0, 0, 1024 - 150, 768 - 50};
  {
    Rig rig(7);
    const QImage before = screens::Snapshot(rig.view());
    Packet(rig, 3, 700, 100, 100);
    Packet(rig, 3, 1000, 750, 100);
    const QImage after = screens::Snapshot(rig.view());
    EXPECT_EQ(screens::ChangedOutside(before, after, traceArea), 0) << "nothing past the edge";
    EXPECT_GT(screens::ChangedInside(before, after, traceArea), 0);
  }
  {
    Rig rig(7);
    rig.EnterMode(1);
    Packet(rig, 3, 700, 100, 100);
    Packet(rig, 3, 1000, 750, 100);
    EXPECT_EQ(Px(rig.view(), 700, 100), screens::kRed);
    EXPECT_EQ(Px(rig.view(), 950, 642), screens::kRed) << "past the info screen's panel edge";
    EXPECT_EQ(Px(rig.view(), 995, 739), screens::kRed) << "into the readout strip";
  }
}

struct WidthCase {
  int model;
  uint32_t mode;
  int code;
  int pressure;
  int width;  // pixels across a horizontal segment
};

class TraceWidth : public testing::TestWithParam<WidthCase> {};

TEST_P(TraceWidth, FollowsTheWidthRule) {
  const WidthCase& c = GetParam();
  Rig rig(c.model);
  rig.EnterMode(c.mode);
  Packet(rig, c.code, 300, 400, c.pressure);
  Packet(rig, c.code, 600, 400, c.pressure);
  const gdi::COLORREF colour = kColours[c.code];
  const int column = c.model == 5 ? 600 : 450;  // 5-byte tablets leave a dot at each point
  EXPECT_EQ(screens::CountInColumn(rig.view(), column, 340, 460, colour), c.width);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TraceWidth,
    testing::Values(WidthCase{7, 2, 3, 511, 50},  // full pressure
                    WidthCase{7, 2, 5, 300, 29},  // MulDiv(300, 50, 512) = 29
                    WidthCase{7, 2, 2, 511, 1},   // side-switch halves stay thin
                    WidthCase{7, 2, 4, 511, 1},
                    WidthCase{7, 1, 3, 511, 1},   // Linear is always thin
                    WidthCase{7, 2, 3, 5, 1},     // width 0 still draws one pixel
                    WidthCase{7, 0, 3, 511, 50},  // the info screen keeps the pressure width
                    WidthCase{5, 1, 1, 0, 5},     // 5-byte: the 5-pixel pen, dots only
                    WidthCase{5, 0, 3, 0, 5}),
    [](const testing::TestParamInfo<WidthCase>& info) {
      const WidthCase& c = info.param;
      return "Model" + std::to_string(c.model) + "Mode" + std::to_string(c.mode) + "Code" +
             std::to_string(c.code) + "Pressure" + std::to_string(c.pressure);
    });

TEST(Trace, FiveByteTabletLeavesIsolatedFivePixelDots) {
  Rig rig(5);
  rig.EnterMode(1);
  Packet(rig, 1, 300, 400);
  Packet(rig, 1, 340, 400);
  TestView& view = rig.view();
  EXPECT_EQ(screens::CountInRow(view, 400, 290, 350, screens::kWhite), 10) << "two dots";
  EXPECT_EQ(Px(view, 320, 400), screens::kBlack) << "not joined";
  EXPECT_EQ(screens::CountInColumn(view, 300, 390, 410, screens::kWhite), 5);
  EXPECT_EQ(view.m_penWidth.load(), 5);
}

TEST(Trace, AStrokeReachingTheCornerIsDrawnButNotContinuedFromIt) {
  Rig rig(7);
  rig.EnterMode(2);
  Packet(rig, 1, 100, 0, 5);
  Packet(rig, 1, 0, 0, 5);  // drawn up to (0, 0)
  EXPECT_EQ(Px(rig.view(), 50, 0), screens::kWhite);
  Packet(rig, 1, 200, 100, 5);  // starts afresh here
  EXPECT_EQ(Px(rig.view(), 100, 50), screens::kBlack) << "no segment from (0, 0)";
  Packet(rig, 1, 300, 100, 5);
  EXPECT_EQ(Px(rig.view(), 250, 100), screens::kWhite) << "the new stroke goes on";
}

TEST(Trace, LastPointSurvivesARepaint) {
  Rig rig(7);
  rig.EnterMode(1);
  Packet(rig, 1, 100, 500);
  Packet(rig, 1, 200, 500);
  rig.view().OnKeyDown(kVkF3, 1, 0);
  ASSERT_EQ(Px(rig.view(), 150, 500), screens::kBlack);
  Packet(rig, 1, 300, 500);
  EXPECT_EQ(Px(rig.view(), 250, 500), screens::kWhite) << "joined to the point before F3";
}

}  // namespace
