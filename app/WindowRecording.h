#pragma once
// `vellum --record FILE` in the window: the capture file is made once a tablet has been found (a
// start without one leaves an existing file as it was), written out once a second, and closed
// whenever the program ends: F4, the window closed, SIGTERM or SIGINT. A failed write is shown
// in the status pane and on stderr, and the program then ends with status 1.
#include <atomic>
#include <string>

#include "capture/CaptureRecorder.h"
#include "tablet/Detection.h"
#include "tablet/PortPaths.h"
#include "tablet/Reader.h"

class CVellumView;
class QSocketNotifier;

namespace vellum {

class WindowRecording {
 public:
  WindowRecording(std::string path, PortPaths ports);
  ~WindowRecording();  // SIGTERM and SIGINT take their default action again
  WindowRecording(const WindowRecording&) = delete;
  WindowRecording& operator=(const WindowRecording&) = delete;

  CaptureRecorder& Recorder() { return recorder_; }

  // The tablet has been found and its port opened; no window shows yet. Creates the file (on
  // failure says why and ends the process with status 1) and from now on SIGTERM and SIGINT end
  // the program as F4 does, with the recording complete. Needs the QApplication.
  void Start(const TabletInfo& info);
  // The view whose status pane shows a failure and whose F4 ends the program on a signal.
  void SetView(CVellumView* view) { view_ = view; }

  // Once a second on the UI thread: write out what was recorded; a failure is told once.
  void Tick();
  // The program ends with `status`: close the recording; a failure makes the status 1.
  int Finish(int status);

 private:
  void TellFailure();

  std::string path_;
  PortPaths ports_;
  CaptureRecorder recorder_;
  CVellumView* view_ = nullptr;
  bool told_ = false;
  bool signalsTaken_ = false;
  std::atomic<bool> stop_{false};
  Waker signalled_;
  QSocketNotifier* notifier_ = nullptr;  // owned by the application
};

}  // namespace vellum
