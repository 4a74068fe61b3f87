#pragma once
// Test support for the view: a tablet on the in-memory line (or a real pty), a fake frame, a
// counting tone, and a view found on that tablet with the other three ports absent.

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Pointer.h"
#include "platform/Tone.h"
#include "tests/tablet/FakePort.h"
#include "tests/support/TestView.h"
#include "view/ViewFrame.h"

namespace test {

// A tablet at COMn of the in-memory line: it answers the probe, then sends only what a test
// gives it (ViewUnderTest::line).
struct Tablet {
  int model = 7;  // packet length
  int32_t maxX = 5000;
  int32_t maxY = 3750;
  int port = 1;
};

class FakeFrame : public IViewFrame {
 public:
  void SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure, int buttons) override;
  void SetStatusText(const std::string& text) override { status_ = text; }
  void SetTitle(const std::string& title) override { title_ = title; }
  bool IsZoomed() const override { return true; }
  void ShowMaximized() override { ++maximizeCalls_; }
  std::string title_;
  std::string status_;
  int readouts_ = 0;  // SetStatusReadout calls
  int maximizeCalls_ = 0;
};

class CountingTone : public platform::ITone {
 public:
  void Beep(int frequencyHz, int durationMs) override;
  int Count() const;
  std::vector<std::pair<int, int>> Beeps() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<int, int>> beeps_;
};

// The pointer backend as data: every move asked for, and on which thread.
class RecordingPointer : public platform::IPointer {
 public:
  bool MoveTo(int32_t x, int32_t y) override;
  void Close() override;
  std::vector<vellum::Point> Moves() const;
  bool MovedOnlyOn(std::thread::id thread) const;
  bool ClosedOn(std::thread::id thread) const;

 private:
  mutable std::mutex mutex_;
  std::vector<vellum::Point> moves_;
  std::vector<std::thread::id> threads_;
  std::thread::id closedOn_;
  bool closed_ = false;
};

// A view found on its tablet, sized client x client, laid out (first paint done) and with the
// reader running.
struct ViewUnderTest {
  explicit ViewUnderTest(Tablet tablet = {}, int clientWidth = 1024, int clientHeight = 768,
                         int screenWidth = 1024, int screenHeight = 768);
  // On a pty at COM1, for the few tests that need a real line.
  struct OnPty {};
  ViewUnderTest(OnPty, const std::string& ptyPath, int clientWidth, int clientHeight);
  ~ViewUnderTest();
  TestView& operator*() { return *view; }
  TestView* operator->() { return view.get(); }
  FakeFrame frame;
  CountingTone tone;
  // What the view asked of its process end (F4): calls and the last status. The process goes on.
  int exitCalls = 0;
  int exitStatus = -1;
  RecordingPointer* pointer = nullptr;  // owned by the view
  vellum::test::FakePort* line = nullptr;  // the in-memory line, owned by the view; null on a pty
  std::unique_ptr<TestView> view;

 private:
  void Start(ViewOptions options, int clientWidth, int clientHeight);
};

// Pumps the Qt event loop for `ms` milliseconds (lets queued presentation and posts run).
void Pump(int ms = 20);

}  // namespace test
