#include "app/WindowRecording.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <utility>

#include "app/MonitorCommand.h"
#include "view/VellumView.h"

namespace vellum {

WindowRecording::WindowRecording(std::string path, PortPaths ports)
    : path_(std::move(path)), ports_(std::move(ports)) {}

WindowRecording::~WindowRecording() {
  // The handlers reach members of this object.
  if (!signalsTaken_) return;
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
}

void WindowRecording::Start(const TabletInfo& info) {
  const std::string error = recorder_.Open(path_);
  if (!error.empty()) {
    std::fprintf(stderr, "vellum: cannot record: %s\n", error.c_str());
    UndoLatencyChangesNow();
    std::fflush(nullptr);
    ::_exit(1);
  }
  recorder_.SetHeader(CaptureHeaderFor(info, ports_.Path(int(info.port))));

  // The signal only fires the waker; the UI thread ends the program as F4 does, so the reader
  // has stopped before the recording is closed.
  struct sigaction previousPipe {};
  sigaction(SIGPIPE, nullptr, &previousPipe);
  InstallMonitorStopSignals(stop_, signalled_);
  sigaction(SIGPIPE, &previousPipe, nullptr);  // the monitor's concern only
  signalsTaken_ = true;
  notifier_ = new QSocketNotifier(signalled_.Fd(), QSocketNotifier::Read,
                                  QCoreApplication::instance());
  QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
    notifier_->setEnabled(false);  // the waker stays readable
    if (view_) {
      view_->StopReaderAndExit();
    } else {
      const int status = Finish(0);
      UndoLatencyChangesNow();
      std::fflush(nullptr);
      ::_exit(status);
    }
  });
}

void WindowRecording::Tick() {
  recorder_.Flush();
  if (told_ || recorder_.Error().empty()) return;
  TellFailure();
  if (view_) view_->ShowStatusNotice("Recording " + path_ + " failed: " + recorder_.Error() + ".");
}

int WindowRecording::Finish(int status) {
  recorder_.Close();
  if (recorder_.Error().empty()) return status;
  if (!told_) TellFailure();  // the window may be gone: stderr only
  return status == 0 ? 1 : status;
}

void WindowRecording::TellFailure() {
  told_ = true;
  std::fprintf(stderr, "vellum: recording %s failed: %s\n", path_.c_str(),
               recorder_.Error().c_str());
  std::fflush(stderr);
}

}  // namespace vellum
