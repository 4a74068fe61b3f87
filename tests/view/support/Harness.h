#pragma once
// Test support for the view: the emulator as a child process, a fake frame, a counting tone and
// a view set up on an emulator pty with the other three ports absent.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Tone.h"
#include "view/VellumView.h"
#include "view/ViewFrame.h"

namespace test {

// vellum-tablet ($VELLUM_TABLET) with the given arguments; the pty path is its first output line.
class Emulator {
 public:
  explicit Emulator(const std::vector<std::string>& args);
  ~Emulator();  // SIGTERM, then wait
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;
  const std::string& Path() const { return path_; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

class FakeFrame : public IViewFrame {
 public:
  void SetStatusReadout(int type, int x, int y, int pressure, int buttons) override;
  void SetStatusText(const std::string& text) override { status_ = text; }
  void SetTitle(const std::string& title) override { title_ = title; }
  bool IsZoomed() const override { return true; }
  void ShowMaximized() override { ++maximizeCalls_; }
  std::string title_;
  std::string status_;
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

// A view on an emulator at COMn (other ports missing), sized client x client, laid out (first
// paint done) and with the reader running. The emulator should be started with a script that
// sends nothing unless the test wants live packets.
struct ViewUnderTest {
  ViewUnderTest(const std::string& ptyPath, int port, int clientWidth, int clientHeight,
                int screenWidth = 1024, int screenHeight = 768);
  ~ViewUnderTest();
  CVellumView& operator*() { return *view; }
  CVellumView* operator->() { return view.get(); }
  FakeFrame frame;
  CountingTone tone;
  // What the view asked of its process end (F4): calls and the last status. The process goes on.
  int exitCalls = 0;
  int exitStatus = -1;
  std::unique_ptr<CVellumView> view;
};

// Pumps the Qt event loop for `ms` milliseconds (lets queued presentation and posts run).
void Pump(int ms = 20);

}  // namespace test
