// The view on a scripted tablet: detection results, scales, the one-time layout and the info
// screen's base picture, checked on the backbuffer and the fake frame.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gdi/Gdi.h"
#include "support/Harness.h"
#include "support/TextCheck.h"

namespace {

using test::TextAt;

constexpr gdi::COLORREF kBlack = 0x000000;
constexpr gdi::COLORREF kRed = 0x0000FF;
constexpr gdi::COLORREF kCyan = 0xFFFF00;

// Runs OnDraw over a black backbuffer: the opaque text boxes then stand out, so a text's
// position and content can be compared with a reference drawing of the expected text.
void DrawOnBlack(TestView& view) {
  const gdi::RECT all{0, 0, view.Backbuffer().Width(), view.Backbuffer().Height()};
  gdi::DC dc(view.Backbuffer());
  const gdi::Brush black(kBlack);
  dc.FillRect(all, black);
  view.OnDraw(dc);
}

struct InfoCase {
  const char* name;
  int model;
  int maxX, maxY;
  int port;
  const char* size;
  const char* resolution;
  const char* installed;
  bool transducerLabel;
  const char* readout;
};

const InfoCase kInfoCases[] = {
    {"SevenByteOnCom1", 7, 5000, 3750, 1, "Tablet Size :5''x3.75''", "Resolution : 1000LPI",
     "Installed on : COM1", false,
     "Current  X:  5000            Current  Y:  3750            Pressed  Value:  512"},
    {"FiveByteOnCom2", 5, 2500, 2250, 2, "Tablet Size :5''x4.50''", "Resolution : 500LPI",
     "Installed on : COM2", true,
     "Current  X:  2500            Current  Y:  2250            Pressed  Value:  0"},
};

class InfoScreen : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoScreen, TextsSeparatorsTitleAndStatusOnA1024x738Client) {
  const InfoCase& c = GetParam();
  test::ViewUnderTest v({c.model, c.maxX, c.maxY, c.port}, 1024, 738);
  EXPECT_EQ(v->m_port, uint32_t(c.port));
  EXPECT_EQ(v->m_packetLength, c.model);
  EXPECT_EQ(v->m_maxX, c.maxX);
  EXPECT_EQ(v->m_maxY, c.maxY);
  EXPECT_EQ(v->ClientRect(), (gdi::RECT{0, 0, 1024, 738}));

  v.frame.status_ = "sentinel";
  v.frame.title_.clear();
  DrawOnBlack(*v);

  EXPECT_TRUE(TextAt(*v, 879, 5, c.size, kRed));
  EXPECT_TRUE(TextAt(*v, 879, 30, c.resolution, kRed));
  EXPECT_TRUE(TextAt(*v, 879, 55, c.installed, kBlack));
  if (c.transducerLabel) {
    EXPECT_TRUE(TextAt(*v, 879, 80, "TRANSDUCER:", kBlack));
  } else {
    EXPECT_EQ(v->Backbuffer().Pixel(879, 80), kBlack) << "no label box where TRANSDUCER: goes";
  }
  EXPECT_TRUE(TextAt(*v, 879, 615, "Button : 0", kBlack));
  EXPECT_TRUE(TextAt(*v, 20, 698, c.readout, kBlack));

  // Separators: 4-pixel cyan lines along y 690 and x 876, and a diagonal to (1024, 738).
  struct Probe {
    int x, y;
    bool cyan;
  };
  const Probe probes[] = {
      {10, 690, true},   {400, 690, true},  {870, 690, true},  {400, 685, false}, {400, 695, false},
      {876, 10, true},   {876, 400, true},  {870, 400, false}, {882, 400, false}, {950, 714, true},
      {1013, 732, true}, {950, 705, false}, {950, 724, false},
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(v->Backbuffer().Pixel(p.x, p.y) == kCyan, p.cyan) << "(" << p.x << ", " << p.y << ")";
  }

  EXPECT_EQ(v.frame.title_,
            "Serial  tablet  test  program  ( Version : 1.1 )  >>>>  F1 : Mode , F3 : Clear , "
            "F4 : Exit");
  EXPECT_EQ(v.frame.status_, "");
}

INSTANTIATE_TEST_SUITE_P(Tablets, InfoScreen, ::testing::ValuesIn(kInfoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InfoScreen, RealPaintErasesToWhiteAndKeepsTheTextBoxesOpaque) {
  test::ViewUnderTest v({}, 1024, 738);
  v->InvalidateAndPaint(v->ClientRect());
  EXPECT_EQ(v->Backbuffer().Pixel(400, 300), 0xFFFFFFu);  // the trace area is the background
  EXPECT_EQ(v->Backbuffer().Pixel(400, 690), kCyan);
  int red = 0;
  for (int x = 879; x < 1024; ++x) {
    for (int y = 5; y < 21; ++y) red += v->Backbuffer().Pixel(x, y) == kRed;
  }
  EXPECT_GT(red, 20) << "the size line is drawn in red";
}

TEST(InfoScreen, RestoredFrameIsMaximisedAgainAtTheNextPaint) {
  struct RestoredFrame : test::FakeFrame {
    bool IsZoomed() const override { return false; }
  };
  test::ViewUnderTest v({}, 1024, 738);
  RestoredFrame restored;
  v->SetFrame(&restored);
  v->InvalidateAndPaint(v->ClientRect());
  EXPECT_EQ(restored.maximizeCalls_, 1);
  v->InvalidateAndPaint({0, 0, 10, 10});
  EXPECT_EQ(restored.maximizeCalls_, 2);
  EXPECT_EQ(v.frame.maximizeCalls_, 0);  // the fake frame of the harness says it is zoomed
  v->SetFrame(&v.frame);
}

struct ScaleCase {
  int width, height;
  double scaleX, scaleY;
};

TEST(ViewState, ScaleFactorsFollowTheScreen) {
  const ScaleCase cases[] = {
      {1024, 768, 1.0, 1.0},
      {1280, 1024, 1.25, 1.3333333730697632},
      {1280, 800, 1.25, 1.0416667461395264},
  };
  for (const ScaleCase& c : cases) {
    test::ViewUnderTest v({}, 640, 480, c.width, c.height);
    EXPECT_EQ(double(v->m_scaleX), c.scaleX) << c.width << "x" << c.height;
    EXPECT_EQ(double(v->m_scaleY), c.scaleY) << c.width << "x" << c.height;
    EXPECT_EQ(v->m_transducer.load(), vellum::Transducer::kFourButtonCursor);
  }
}

struct LayoutCase {
  int width, height;
  int cell;
  int middle;
};

TEST(ViewState, LayoutCellsCirclesTraceRegionAndFont) {
  const LayoutCase cases[] = {
      {1024, 738, 34, 369},
      {1019, 738, 33, 369},  // the cell truncates
      {1024, 741, 34, 370},  // so does the mid-line
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    test::ViewUnderTest v({5, 2500, 2250}, c.width, c.height);
    EXPECT_EQ(v->m_cellSize, c.cell);
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(v->m_keyCircles[i], (gdi::RECT{(4 * i + 2) * c.cell, c.middle - c.cell,
                                               (4 * i + 4) * c.cell, c.middle + c.cell}));
    }
    EXPECT_EQ(v->m_keyCircles[0].left, 2 * c.cell);
    EXPECT_EQ(v->m_keyCircles[6].right, 28 * c.cell);
    ASSERT_TRUE(v->m_traceRegion);
    EXPECT_EQ(v->m_traceRegion->Rect(), (gdi::RECT{0, 0, c.width - 150, c.height - 50}));
    ASSERT_TRUE(v->m_font);
    EXPECT_EQ(v->m_font->CellHeight(), c.cell);
    EXPECT_NE(v->m_selector, nullptr) << "5-byte tablets get the selector";
  }
}

TEST(ViewState, LayoutRunsOnceAndStartsOneReader) {
  test::ViewUnderTest v({}, 1024, 738);
  ASSERT_TRUE(v->IsLaidOut());
  ASSERT_TRUE(v->m_readerThread.joinable());
  const auto reader = v->m_readerThread.get_id();
  v->resize(800, 600);
  test::Pump(20);
  v->InvalidateAndPaint({0, 0, 800, 600});
  v->m_mode = vellum::TestMode::kLinear;
  v->InvalidateAndPaint({0, 0, 800, 600});
  v->m_mode = vellum::TestMode::kInfo;
  EXPECT_EQ(v->ClientRect(), (gdi::RECT{0, 0, 1024, 738}));
  EXPECT_EQ(v->m_readerThread.get_id(), reader);
  EXPECT_EQ(v->m_cellSize, 34);
}

TEST(ViewState, TestScreenIsBlackWithTheRangesInTheStatusPane) {
  test::ViewUnderTest v({}, 1024, 738);
  v->m_mode = vellum::TestMode::kPressure;
  v->InvalidateAndPaint(v->ClientRect());
  int black = 0;
  for (int y = 0; y < 738; y += 7) {
    for (int x = 0; x < 1024; x += 7) black += v->Backbuffer().Pixel(x, y) == kBlack;
  }
  EXPECT_GT(black, 146 * 106 * 8 / 10) << "mostly black, whatever the mode's decorations";
  EXPECT_EQ(v.frame.status_,
            "        X = 5000,        Y = 3750,        P = 512,        Button = 0");
  v->m_mode = vellum::TestMode::kShake;
  v->InvalidateAndPaint(v->ClientRect());
  EXPECT_EQ(v.frame.status_, "");
}

TEST(ViewState, StopClosesThePortAndEndsTheReader) {
  test::ViewUnderTest v({}, 640, 480);
  ASSERT_TRUE(v->m_hPort && v->m_hPort->IsOpen());
  v->StopReader();
  EXPECT_FALSE(v->m_readerThread.joinable());
  EXPECT_FALSE(v->m_hPort->IsOpen());
  v->StopReader();  // the destructor runs it again
}

TEST(ViewState, F4StopsTheReaderAndEndsWithStatusZero) {
  test::ViewUnderTest v({}, 640, 480);
  bool flushed = false;
  v->m_options.beforeExit = [&] {
    flushed = true;
    EXPECT_FALSE(v->m_readerThread.joinable()) << "the reader ends before the exit hooks";
  };
  v->StopReaderAndExit();
  EXPECT_TRUE(flushed);
  EXPECT_EQ(v.exitCalls, 1);
  EXPECT_EQ(v.exitStatus, 0);
  EXPECT_FALSE(v->m_hPort->IsOpen());
}

TEST(ViewState, NoTabletGivesTheMessageAndNoPort) {
  ViewOptions options;
  for (int n = 1; n <= 4; ++n)
    options.ports.Set(n, "/nonexistent/vellum-test-" + std::to_string(n));
  options.screenWidth = 1024;
  options.screenHeight = 768;
  std::vector<std::string> messages;
  options.noTablet = [&](const std::string& m) { messages.push_back(m); };
  int exits = 0;
  options.exitProcess = [&](int) { ++exits; };
  TestView view(std::move(options));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Tablet  not  found  or  no  response  at  any  COM  port !");
  EXPECT_EQ(view.m_port, 0u);
  EXPECT_FALSE(view.m_hPort);
  EXPECT_EQ(exits, 0) << "the replaced no-tablet path decides about the process itself";
}

}  // namespace
