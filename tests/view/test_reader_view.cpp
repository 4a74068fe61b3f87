// Tablet events in the view: what each screen does with one, the values kept for the readouts,
// the pointer asked to follow; then the reader thread on the in-memory line and on real ptys.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Harness.h"
#include "support/TextCheck.h"
#include "tools/emulator/PtyTablet.h"

namespace {

using vellum::Point;
using vellum::TabletEvent;

// The event of a packet of `code` at tablet (x, y) with `pressure`, on a 5000 x 3750 tablet.
TabletEvent Event(TestView& v, int code, int x, int y, int pressure = 0) {
  const vellum::ReaderConfig config{v.ClientRect().right, v.ClientRect().bottom, 5000, 3750,
                                    v.m_packetLength};
  return vellum::DecodeEvent(vellum::test::Packet7(code, x, y, pressure).data(), config);
}

// Where the pointer was last asked to go, in client coordinates; the origin before any move.
Point PointerInClient(test::ViewUnderTest& v) {
  const std::vector<Point> moves = v.pointer->Moves();
  const Point screen = moves.empty() ? Point{0, 0} : moves.back();
  return {screen.x - v->m_originX.load(), screen.y - v->m_originY.load()};
}

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    test::Pump(2);
  }
  return true;
}

// What each screen does with one packet, on a view that has seen none before.
TEST(Screens, EachDoesItsShareOfAnEvent) {
  const struct {
    const char* name;
    int model;
    uint32_t mode;
    int transducer;
    int code;
    bool stored;     // the status copies hold the packet's values
    bool pointer;    // the pointer is asked to the packet's point
    bool trace;      // the trace takes the point as its last
    bool indicator;  // the picture's buttons (or the Keystroke circles) show the code
    bool readout;    // the side panel's button line shows the code
  } cases[] = {
      // Tablet (2500, 1875) with pressure 300 is client (512, 384) on a 1024 x 768 client.
      {"InfoSevenByte", 7, 0, 4, 1, false, true, true, true, true},
      {"InfoSevenByteCodeSix", 7, 0, 4, 6, false, true, true, false, false},
      {"InfoFiveByteCursor", 5, 0, 4, 2, false, true, true, true, true},
      {"InfoFiveByteTwoButton", 5, 0, 2, 3, false, true, true, true, true},
      {"InfoFiveByteThreeButton", 5, 0, 3, 1, false, true, true, true, true},
      {"InfoFiveByteNoTransducer", 5, 0, 1, 2, false, true, true, false, true},
      {"Linear", 7, 1, 4, 3, true, true, true, false, false},
      {"Shake", 5, 3, 4, 1, true, true, false, false, false},
      {"Keystroke", 7, 4, 4, 5, false, false, false, true, false},
      {"NoSuchScreen", 5, 5, 4, 5, true, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ViewUnderTest v({c.model});
    // A packet on the Linear screen first: what the screen leaves alone keeps its values.
    v->m_mode = vellum::TestMode::kLinear;
    v->OnTabletEvent(Event(*v, 0, 100, 200, 500));
    const Point before = PointerInClient(v);
    const int32_t width = v->m_penWidth.load();
    v->m_mode = vellum::TestMode(c.mode);
    v->m_transducer = vellum::Transducer(c.transducer);
    v->m_shownButtons = 99;  // a code no packet carries
    v->OnTabletEvent(Event(*v, c.code, 2500, 1875, 300));

    const bool seven = c.model == 7;
    EXPECT_EQ(v->m_buttons.load(), c.code);
    EXPECT_EQ(v->m_statusX.load(), c.stored ? 2500 : 100);
    EXPECT_EQ(v->m_statusY.load(), c.stored ? 1875 : 200);
    EXPECT_EQ(v->m_pressure.load(), seven ? (c.stored ? 300 : 500) : 0);
    EXPECT_EQ(PointerInClient(v), (c.pointer ? Point{512, 384} : before));
    EXPECT_EQ(v->m_lastPoint == (Point{512, 384}), c.trace);
    EXPECT_EQ(v->m_shownButtons.load(), c.indicator ? c.code : 99);
    const std::string button = "Button : " + std::to_string(c.code);
    EXPECT_EQ(bool(test::TextAt(*v, 1024 - 145, 5 * 768 / 6, button, 0, 0xFFFFFF)), c.readout);
    if (c.mode == 3) {
      EXPECT_EQ(v->m_shakeShown, (Point{2500, 1875})) << "the tablet's own Y";
    }
    if (c.mode == 4) {
      EXPECT_EQ(v->m_penWidth.load(), width) << "Keystroke decodes nothing";
    }
    EXPECT_EQ(v->m_packetsHandled.load(), 2u);
  }
}

struct ScaleRow {
  int x, y, pressure;
  int clientX, clientY, penWidth;
};

TEST(Events, AreScaledToTheClientAndThePointerFollows) {
  const ScaleRow rows[] = {
      {2500, 3750, 511, 512, 0, 50},  // the middle of X; Y at its range is the top
      {1, 0, 5, 0, 768, 0},           // 0.2048 rounds down; Y 0 is the bottom
      {3, 0, 6, 1, 768, 1},           // 0.6144 rounds up; pressure 6 is width 1
      {5000, 1875, 0, 1024, 384, 0},
      {6000, 4000, 256, 1229, -51, 25},  // beyond the range: not clipped
  };
  test::ViewUnderTest v;
  for (const ScaleRow& r : rows) {
    SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                 std::to_string(r.pressure));
    v->OnTabletEvent(Event(*v, 1, r.x, r.y, r.pressure));
    EXPECT_EQ(PointerInClient(v), (Point{r.clientX, r.clientY}));
    EXPECT_EQ(v->m_penWidth.load(), r.penWidth);
  }
}

// The status bar's figures sleep while the line is quiet; only the first packet after may wake
// them, and on the UI thread.
TEST(Events, OnlyTheFirstPacketAfterArmingWakesTheFigures) {
  test::ViewUnderTest v;
  int wakes = 0;
  v->OnTabletEvent(Event(*v, 0, 100, 100));
  test::Pump(10);
  v->WakeOnNextPacket([&] { ++wakes; });
  EXPECT_EQ(wakes, 0) << "arming wakes nothing";
  v->OnTabletEvent(Event(*v, 0, 110, 100));
  EXPECT_EQ(wakes, 0) << "queued to the UI thread, not called by the reader";
  v->OnTabletEvent(Event(*v, 0, 120, 100));
  test::Pump(10);
  EXPECT_EQ(wakes, 1);
}

// The reader thread on the in-memory line moves the pointer itself, through the backend, without
// the UI thread's turn: no event loop runs here while the packets are handled. Its stop closes
// both ends, unannounced.
TEST(ReaderOnTheLine, MovesThePointerOnItsOwnThreadAndStopIsNotALostTablet) {
  test::ViewUnderTest v;
  // X 2500, Y 1875, pressure 256, code 1, with a filler 0x80 between bytes 3 and 4: kept.
  std::vector<uint8_t> stream{0x99, 0x44, 0x13, 0x53, 0x80, 0x0E, 0x40, 0x04};
  for (int i = 1; i <= 3; ++i) {
    const auto p = vellum::test::Packet7(1, 1000 * i, 1000 * i, 100);
    stream.insert(stream.end(), p.begin(), p.end());
  }
  v.line->Send(stream);
  QElapsedTimer timer;
  timer.start();
  while (v->m_packetsHandled.load() < 4 && timer.elapsed() < 5000) std::this_thread::yield();
  ASSERT_EQ(v->m_packetsHandled.load(), 4u);
  const std::vector<Point> moves = v.pointer->Moves();
  ASSERT_EQ(moves.size(), 4u);
  // Tablets (2500, 1875) and (3000, 3000) of 5000 x 3750 on a 1024 x 768 client, plus the origin.
  const Point origin{v->m_originX.load(), v->m_originY.load()};
  EXPECT_EQ(moves.front(), (Point{512 + origin.x, 384 + origin.y}));
  EXPECT_EQ(moves.back(), (Point{614 + origin.x, 154 + origin.y}));
  const std::thread::id reader = v->m_readerThread.get_id();
  EXPECT_TRUE(v.pointer->MovedOnlyOn(reader));
  v->StopReader();
  EXPECT_TRUE(v.pointer->ClosedOn(reader)) << "the backend goes with the reader";
  EXPECT_TRUE(v->m_readerEnded.load());
  EXPECT_FALSE(v.line->IsOpen());
  test::Pump(30);
  EXPECT_EQ(v.frame.status_, "") << "a stop is not a lost tablet";
}

// Regression: the status pane followed the pen only through the mouse moves its pointer's warps
// cause, so a pen pressing harder at one spot (a warp to the same place moves nothing), or no
// pointer backend at all, left P frozen. The recording pointer here makes no mouse moves.
TEST(ReaderOnTheLine, StatusPaneFollowsThePressureWithoutPointerMoves) {
  test::ViewUnderTest v;
  v->OnKeyDown(kVkF1, 1, 0);
  v->OnKeyDown(kVkF5, 1, 0);  // the Pressure screen; its paint shows the ranges and 512
  ASSERT_EQ(v.frame.status_,
            "        X = 5000,        Y = 3750,        P = 512,        Button = 0");
  for (int pressure : {100, 250, 511}) {
    v.line->Send(vellum::test::Packet7(1, 2500, 1875, pressure));
    const std::string want =
        "        X = 2500,        Y = 1875,        P = " + std::to_string(pressure) +
        ",        Button = 1";
    EXPECT_TRUE(WaitFor([&] { return v.frame.status_ == want; })) << v.frame.status_;
  }
  EXPECT_EQ(v.pointer->Moves().size(), 3u);
}

// Presentation copies what was drawn: a trace segment and the side panel's readout stay apart.
TEST(Presentation, SegmentAndReadoutAreSmallSeparateCopies) {
  test::ViewUnderTest v;
  test::Pump(20);
  auto pending = [&v](bool clear = false) {
    std::lock_guard lock(v->m_presentMutex);
    std::vector<vellum::Rect> copies(v->m_pendingDirty.begin(), v->m_pendingDirty.end());
    if (clear) v->m_pendingDirty.Clear();
    return copies;
  };
  pending(true);
  v->OnTabletEvent(Event(*v, 1, 500, 3000, 300));  // client (102, 154), code 1: the readout
  v->OnTabletEvent(Event(*v, 1, 520, 2990, 300));
  const std::vector<vellum::Rect> copies = pending();
  ASSERT_GE(copies.size(), 2u);
  int64_t area = 0;
  for (const vellum::Rect& r : copies) {
    area += int64_t{r.right - r.left} * (r.bottom - r.top);
    const bool trace = r.left <= 102 && r.right > 104;
    const bool panel = r.right > 1024 - 150;
    EXPECT_FALSE(trace && panel) << "one copy spans the trace and the side panel: " << r.left << ","
                                 << r.top << "," << r.right << "," << r.bottom;
  }
  EXPECT_LT(area, 1024 * 768 / 4) << "copies nearly the size of the window";
  test::Pump(60);  // the update within a frame, and a frame with nothing new after it
  EXPECT_TRUE(pending().empty()) << "one update took them all";
  std::lock_guard lock(v->m_presentMutex);
  EXPECT_FALSE(v->m_presentQueued);
}

// The emulated 5000 x 3750 tablet's show on a pty at COM1, read by a view; the line drops after
// `hangUpAfter` packets (-1: never).
struct PtyView {
  static vellum::emu::EmulatorConfig Tablet(int hangUpAfter) {
    vellum::emu::EmulatorConfig config;
    config.maxX = 5000;
    config.maxY = 3750;
    config.hangUpAfter = hangUpAfter;
    return config;
  }
  explicit PtyView(int hangUpAfter = -1)
      : tablet(Tablet(hangUpAfter), vellum::emu::DemoStream(5000, 3750, 7)),
        v(test::ViewUnderTest::OnPty{}, tablet.Path(), 1024, 768) {}
  vellum::emu::PtyTablet tablet;
  test::ViewUnderTest v;
};

// Regression: the lost tablet went unsaid; the screens froze with nothing said anywhere. A pty
// goes with its emulator, as an adapter pulled out does: "unplugged".
TEST(ReaderOnPty, HangUpIsToldAndTheViewGoesOn) {
  ::testing::internal::CaptureStderr();
  PtyView pty(3);
  test::ViewUnderTest& v = pty.v;
  const std::string notice = "Tablet on COM1 lost: unplugged (read: hang-up). F4 ends the program.";
  const bool told = WaitFor([&] { return v.frame.status_ == notice; });
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(told) << "status pane: \"" << v.frame.status_ << "\"";
  EXPECT_TRUE(v->m_readerEnded.load());
  EXPECT_EQ(v->m_packetsHandled.load(), 3u);
  const std::string line =
      "vellum: tablet on COM1 (" + pty.tablet.Path() + ") lost: unplugged (read: hang-up)\n";
  const size_t at = err.find(line);
  EXPECT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("lost:", at + line.size()), std::string::npos) << "said once: " << err;

  // The UI thread goes on painting, every key keeps the notice until F4: the info screen, the
  // Linear screen (whose readout would be in the pane) and its mouse moves, F3, back again.
  v->InvalidateAndPaint(v->ClientRect());
  EXPECT_EQ(v.frame.status_, notice);
  v->OnKeyDown(kVkF1, 1, 0);
  EXPECT_EQ(v->Backbuffer().Pixel(400, 300), 0x000000u);
  EXPECT_EQ(v.frame.status_, notice);
  v->OnMouseMove();
  EXPECT_EQ(v.frame.status_, notice);
  for (uint32_t key : {kVkF5, kVkF3, kVkF5, kVkF1}) {
    v->OnKeyDown(key, 1, 0);
    EXPECT_EQ(v.frame.status_, notice)
        << "after key " << key << " in mode " << int(v->m_mode.load());
  }
  EXPECT_EQ(v->m_mode.load(), vellum::TestMode::kInfo);
  EXPECT_EQ(v.exitCalls, 0);
  v->OnKeyDown(kVkF4, 1, 0);
  EXPECT_EQ(v.exitCalls, 1);
  EXPECT_EQ(v.exitStatus, 0);
}

// The second status pane's text: the reader feeds the figures, the UI thread reads them. A pty
// has no error counters, and a second without packets (the tablet stopped) reads 0/s.
TEST(ReaderOnPty, LineFiguresFollowTheLine) {
  ::testing::internal::CaptureStderr();
  PtyView pty(200);
  test::ViewUnderTest& v = pty.v;
  ASSERT_TRUE(WaitFor([&] { return v->m_packetsHandled.load() >= 160; }));
  const std::string running = v->LineQualityText();
  // Field by field, not std::regex (g++ 12 warns inside it under the sanitizers' -O2) and not
  // scanf across the separator (a UTF-8 locale will not match it).
  std::vector<std::string> fields;
  for (size_t from = 0;;) {
    const size_t to = running.find(" \u00b7 ", from);
    fields.push_back(running.substr(from, to == std::string::npos ? to : to - from));
    if (to == std::string::npos) break;
    from = to + 4;  // " \u00b7 " is four bytes
  }
  ASSERT_EQ(fields.size(), 5u) << running;
  double rate = 0, jitterMs = -1, noiseX = 0, noiseY = 0;
  EXPECT_EQ(std::sscanf(fields[0].c_str(), "%lf/s of 124.7", &rate), 1) << running;
  EXPECT_TRUE(rate >= 100 && rate < 130) << running;
  EXPECT_EQ(std::sscanf(fields[1].c_str(), "jitter %lf ms", &jitterMs), 1) << running;
  EXPECT_TRUE(fields[2] == "noise moving" ||
              std::sscanf(fields[2].c_str(), "noise %lf x %lf", &noiseX, &noiseY) == 2)
      << running;
  EXPECT_EQ(fields[3], "garbled 0");
  EXPECT_EQ(fields[4], "line errors n/a");
  EXPECT_FALSE(v->LineIsQuiet());
  ASSERT_TRUE(WaitFor([&] { return v->m_readerEnded.load(); }));
  QElapsedTimer quiet;
  quiet.start();
  ASSERT_TRUE(WaitFor([&] { return v->LineQualityText().starts_with("0/s of 124.7"); }, 3000))
      << v->LineQualityText();
  EXPECT_GE(quiet.elapsed(), 200) << "the last second's figures stay until it has passed";
  EXPECT_TRUE(v->LineIsQuiet());
  ::testing::internal::GetCapturedStderr();
}

TEST(ReaderOnPty, StopEndsAStreamingReaderAndClosesThePort) {
  PtyView pty;
  test::ViewUnderTest& v = pty.v;
  ASSERT_TRUE(WaitFor([&] { return v->m_packetsHandled.load() >= 20; }));
  QElapsedTimer timer;
  timer.start();
  v->StopReader();
  EXPECT_LT(timer.elapsed(), 1000) << "a stop ends the reader within a packet or an idle wait";
  EXPECT_TRUE(v->m_readerEnded.load());
  EXPECT_FALSE(v->m_hPort->IsOpen());
}

}  // namespace
