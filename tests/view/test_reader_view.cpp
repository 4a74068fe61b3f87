// The reader's view end: packets scaled into the view's client area, values stored in the view,
// the pointer asked to follow, the mode rules, and the live loop on an emulated tablet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Harness.h"
#include "support/TextCheck.h"

namespace {

// A 7-byte packet as the tablet sends it.
std::array<uint8_t, 7> Packet7(int buttons, int x, int y, int pressure) {
  return {uint8_t(0x98 | (buttons & 7)),
          uint8_t(x & 0x7F),
          uint8_t((x >> 7) & 0x7F),
          uint8_t(y & 0x7F),
          uint8_t((y >> 7) & 0x7F),
          uint8_t((pressure >> 2) & 0x7F),
          uint8_t(0x04 | ((pressure >> 1) & 1) | ((pressure & 1) << 4))};
}

vellum::Point PointerInClient(CVellumView& view) {
  const vellum::Point screen = view.PendingPointer();
  return {screen.x - view.m_originX.load(), screen.y - view.m_originY.load()};
}

std::string WriteScript(const std::string& text) {
  char name[] = "/tmp/vellum-reader-script-XXXXXX";
  const int fd = ::mkstemp(name);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
  ::close(fd);
  return name;
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

class ReaderView : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tablet_ = std::make_unique<test::Emulator>(std::vector<std::string>{
        "--model", "7", "--range", "5000", "3750", "--script", "/dev/null"});
  }
  static void TearDownTestSuite() { tablet_.reset(); }
  static std::unique_ptr<test::Emulator> tablet_;
};
std::unique_ptr<test::Emulator> ReaderView::tablet_;

struct ScaleRow {
  int x, y, pressure;
  int clientX, clientY, penWidth;
};

TEST_F(ReaderView, PacketsAreScaledToTheClientAndThePointerFollows) {
  const ScaleRow rows[] = {
      {2500, 3750, 511, 512, 0, 50},  // the middle of X; Y at its range is the top
      {1, 0, 5, 0, 768, 0},           // 0.2048 rounds down; Y 0 is the bottom
      {3, 0, 6, 1, 768, 1},           // 0.6144 rounds up; pressure 6 is width 1
      {5000, 1875, 0, 1024, 384, 0},
      {6000, 4000, 256, 1229, -51, 25},  // beyond the range: not clipped
  };
  test::ViewUnderTest v(tablet_->Path(), 1, 1024, 768);
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, 7};
  auto dispatch = [&](const auto& packet) {
    v->OnTabletEvent(vellum::DecodeEvent(packet.data(), config));
  };
  for (const ScaleRow& r : rows) {
    SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                 std::to_string(r.pressure));
    const auto packet = Packet7(1, r.x, r.y, r.pressure);
    dispatch(packet);
    EXPECT_EQ(PointerInClient(*v), (vellum::Point{r.clientX, r.clientY}));
    EXPECT_EQ(v->m_penWidth.load(), r.penWidth);
    EXPECT_EQ(v->m_buttons.load(), 1);
  }
  // Mode 0 keeps the status copies untouched.
  EXPECT_EQ(v->m_statusX.load(), 0);
  EXPECT_EQ(v->m_statusY.load(), 0);
  test::Pump(10);
  EXPECT_FALSE(v->m_pointerQueued.load()) << "the posted pointer move has run";
}

TEST_F(ReaderView, ModeFourStoresTheCodeAndTheKeptValuesAndLeavesThePointer) {
  test::ViewUnderTest v(tablet_->Path(), 1, 1024, 768);
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, 7};
  auto dispatch = [&](const auto& packet) {
    v->OnTabletEvent(vellum::DecodeEvent(packet.data(), config));
  };
  v->m_mode = 1;
  const auto first = Packet7(1, 2500, 1875, 300);
  dispatch(first);
  EXPECT_EQ(v->m_statusX.load(), 2500);
  EXPECT_EQ(v->m_statusY.load(), 1875);
  EXPECT_EQ(v->m_pressure.load(), 300);
  const vellum::Point pointer = v->PendingPointer();
  const int32_t width = v->m_penWidth.load();

  v->m_mode = 4;
  const auto second = Packet7(3, 100, 200, 500);
  dispatch(second);
  EXPECT_EQ(v->m_buttons.load(), 3);
  EXPECT_EQ(v->m_statusX.load(), 2500) << "mode 4 decodes nothing";
  EXPECT_EQ(v->m_statusY.load(), 1875);
  EXPECT_EQ(v->m_pressure.load(), 300);
  EXPECT_EQ(v->m_penWidth.load(), width);
  EXPECT_EQ(v->PendingPointer(), pointer) << "the pointer stays where it is";
  v->m_mode = 0;
}

TEST_F(ReaderView, ModeThreeMovesThePointer) {
  test::ViewUnderTest v(tablet_->Path(), 1, 1024, 768);
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, 7};
  auto dispatch = [&](const auto& packet) {
    v->OnTabletEvent(vellum::DecodeEvent(packet.data(), config));
  };
  v->m_mode = 3;
  const auto packet = Packet7(0, 1250, 3750, 0);
  dispatch(packet);
  EXPECT_EQ(PointerInClient(*v), (vellum::Point{256, 0}));
  EXPECT_EQ(v->m_statusY.load(), 3750) << "status keeps the tablet's own Y";
  v->m_mode = 0;
}

TEST_F(ReaderView, CodesSixAndSevenLeaveTheReadoutsOnASevenByteTablet) {
  test::ViewUnderTest v(tablet_->Path(), 1, 1024, 738);
  const vellum::ReaderConfig config{1024, 738, 5000, 3750, 7};
  auto dispatch = [&](const auto& packet) {
    v->OnTabletEvent(vellum::DecodeEvent(packet.data(), config));
  };
  const auto two = Packet7(2, 2500, 1875, 100);
  dispatch(two);
  ASSERT_TRUE(test::TextAt(*v, 879, 615, "Button : 2", 0x000000, 0xFFFFFF));
  for (int code : {6, 7}) {
    const auto packet = Packet7(code, 1000, 1000, 400);
    dispatch(packet);
    EXPECT_EQ(v->m_buttons.load(), code);
    EXPECT_TRUE(test::TextAt(*v, 879, 615, "Button : 2", 0x000000, 0xFFFFFF)) << code;
  }
}

TEST(ReaderLive, FillerByteInsideAPacketKeepsThePacket) {
  // X 2500, Y 1875, pressure 256, code 1, with 0x80 between bytes 3 and 4.
  const std::string script = WriteScript("gap 300\nraw 99 44 13 53 80 0E 40 04\n");
  test::Emulator tablet({"--model", "7", "--range", "5000", "3750", "--once", "--script", script});
  test::ViewUnderTest v(tablet.Path(), 1, 1024, 768);
  ASSERT_TRUE(WaitFor([&] { return v->m_packetsHandled.load() >= 1; }));
  EXPECT_EQ(v->m_packetsHandled.load(), 1u);
  EXPECT_EQ(v->m_buttons.load(), 1);
  EXPECT_EQ(v->m_penWidth.load(), 25);
  EXPECT_EQ(PointerInClient(*v), (vellum::Point{512, 384}));
  std::remove(script.c_str());
}

// Regression: the lost tablet went unsaid; the screens froze with nothing said anywhere.
TEST(ReaderLive, HangUpIsToldAndTheViewGoesOn) {
  const std::string script = WriteScript("gap 300\nstroke 1 500 500 4500 3000 10 100 400\n");
  test::Emulator tablet(
      {"--model", "7", "--range", "5000", "3750", "--hang-up-after", "3", "--script", script});
  ::testing::internal::CaptureStderr();
  test::ViewUnderTest v(tablet.Path(), 1, 1024, 768);
  const std::string notice = "Tablet on COM1 lost: the line hung up. F4 ends the program.";
  const bool told = WaitFor([&] { return v.frame.status_ == notice; });
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(told) << "status pane: \"" << v.frame.status_ << "\"";
  EXPECT_TRUE(v->m_readerEnded.load());
  EXPECT_EQ(v->m_packetsHandled.load(), 3u);
  const std::string line =
      "vellum: tablet on COM1 (" + tablet.Path() + ") lost: the line hung up\n";
  const size_t at = err.find(line);
  EXPECT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("lost:", at + line.size()), std::string::npos) << "said once: " << err;

  // The UI thread goes on painting, every key keeps the notice until F4: the info screen, the
  // Linear screen (whose readout would be in the pane) and its mouse moves, F3, back again.
  v->InvalidateAndPaint(v->m_clientRect);
  EXPECT_EQ(v.frame.status_, notice);
  v->OnKeyDown(kVkF1, 1, 0);
  EXPECT_EQ(v->Backbuffer().Pixel(400, 300), 0x000000u);
  EXPECT_EQ(v.frame.status_, notice);
  v->OnMouseMove();
  EXPECT_EQ(v.frame.status_, notice);
  for (uint32_t key : {kVkF5, kVkF3, kVkF5, kVkF1}) {
    v->OnKeyDown(key, 1, 0);
    EXPECT_EQ(v.frame.status_, notice) << "after key " << key << " in mode " << v->m_mode.load();
  }
  EXPECT_EQ(v->m_mode.load(), 0u);
  EXPECT_EQ(v.exitCalls, 0);
  v->OnKeyDown(kVkF4, 1, 0);
  EXPECT_EQ(v.exitCalls, 1);
  EXPECT_EQ(v.exitStatus, 0);
  std::remove(script.c_str());
}

TEST(ReaderLive, StopIsNotALostTablet) {
  test::Emulator tablet({"--model", "7", "--range", "5000", "3750", "--script", "/dev/null"});
  test::ViewUnderTest v(tablet.Path(), 1, 1024, 768);
  v->StopReader();
  test::Pump(30);
  EXPECT_EQ(v.frame.status_, "");
}

TEST(ReaderLive, StopEndsAStreamingReaderAndClosesThePort) {
  test::Emulator tablet({"--model", "7", "--range", "5000", "3750"});  // the built-in show
  test::ViewUnderTest v(tablet.Path(), 1, 1024, 768);
  ASSERT_TRUE(WaitFor([&] { return v->m_packetsHandled.load() >= 20; }));
  QElapsedTimer timer;
  timer.start();
  v->StopReader();
  EXPECT_LT(timer.elapsed(), 1000) << "a stop ends the reader within a packet or an idle wait";
  EXPECT_TRUE(v->m_readerEnded.load());
  EXPECT_FALSE(v->m_hPort->IsOpen());
}

}  // namespace
