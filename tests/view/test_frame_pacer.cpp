// Presentation at most once a display frame: the pacer's rule on a virtual clock, and the view
// copying a stream of packets to its window.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QScreen>

#include "support/Harness.h"
#include "view/FramePacer.h"

namespace {

TEST(FramePacer, WaitsOutTheRestOfTheFrame) {
  vellum::FramePacer pacer(16667);
  EXPECT_EQ(pacer.WaitUs(5), 0) << "the first copy waits for nothing";
  pacer.Presented(1000);
  const struct {
    int64_t now, wait;
  } rows[] = {
      {1000, 16667},  // just presented
      {9000, 8667},   // mid-frame
      {17666, 1},     // one microsecond short
      {17667, 0},     // a frame later
      {50000, 0},     // a quiet line: at once
      {999, 16667},   // a clock that stepped back waits a frame, no more
  };
  for (const auto& r : rows) EXPECT_EQ(pacer.WaitUs(r.now), r.wait) << r.now;
}

TEST(FramePacer, FrameOfARefreshRate) {
  const struct {
    double hz;
    int64_t us;
  } rows[] = {{59.95, 16681}, {144, 6944}, {0, 16667}, {1e9, 16667}};
  for (const auto& r : rows) EXPECT_EQ(vellum::FrameUsForRate(r.hz), r.us) << r.hz;
}

// Counts the paints that reach the view: each is one copy to the window.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// A packet every 2 ms for a third of a second: the window gets a frame's worth of copies at most,
// and the last packet's drawing still reaches it.
TEST(Presentation, AtMostOnceADisplayFrame) {
  test::ViewUnderTest v;
  test::Pump(40);
  PaintCounter counter;
  v->installEventFilter(&counter);
  const vellum::ReaderConfig config{v->ClientRect().right, v->ClientRect().bottom, 5000, 3750, 7};
  QElapsedTimer clock;
  clock.start();
  int packets = 0;
  while (clock.elapsed() < 330) {
    const int x = 500 + 10 * (packets % 300);
    v->OnTabletEvent(vellum::DecodeEvent(vellum::test::Packet7(1, x, 2000, 300).data(), config));
    ++packets;
    test::Pump(2);
  }
  const int64_t elapsedUs = clock.nsecsElapsed() / 1000;
  const int64_t frameUs = vellum::FrameUsForRate(v->screen()->refreshRate());
  EXPECT_GE(counter.paints, 1);
  EXPECT_LE(counter.paints, elapsedUs / frameUs + 1) << packets << " packets";
  test::Pump(2 * int(frameUs / 1000) + 10);
  std::lock_guard lock(v->m_presentMutex);
  EXPECT_TRUE(v->m_pendingDirty.IsEmpty()) << "the last packet's drawing was never shown";
  EXPECT_FALSE(v->m_presentQueued);
}

// On the Linear screen the status bar follows every packet; its text, too, reaches the window
// with the frame, and the last packet's values are the ones left showing.
TEST(Presentation, StatusReadoutGoesWithTheFrame) {
  test::ViewUnderTest v;
  v->OnKeyDown(kVkF1, 1, 0);  // the Linear screen
  test::Pump(40);
  const vellum::ReaderConfig config{v->ClientRect().right, v->ClientRect().bottom, 5000, 3750, 7};
  const int before = v.frame.readouts_;
  QElapsedTimer clock;
  clock.start();
  int x = 0;
  while (clock.elapsed() < 330) {
    x = 500 + 10 * (x % 300 + 1);
    v->OnTabletEvent(vellum::DecodeEvent(vellum::test::Packet7(1, x, 2000, 300).data(), config));
    test::Pump(2);
  }
  const int64_t frameUs = vellum::FrameUsForRate(v->screen()->refreshRate());
  test::Pump(2 * int(frameUs / 1000) + 10);
  const int64_t elapsedUs = clock.nsecsElapsed() / 1000;
  EXPECT_GE(v.frame.readouts_ - before, 1);
  EXPECT_LE(v.frame.readouts_ - before, elapsedUs / frameUs + 1);
  EXPECT_NE(v.frame.status_.find("X = " + std::to_string(x)), std::string::npos)
      << v.frame.status_;
}

}  // namespace
