#include "app/GuiMain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/DisplayCheck.h"
#include "app/MainFrame.h"
#include "app/VellumApp.h"
#include "app/WindowRecording.h"
#include "tablet/LatencyIo.h"

namespace vellum {
namespace {

// Root shells and service logins often have no XDG_RUNTIME_DIR; Qt then picks the same private
// folder itself but warns on every start. Give it that folder quietly.
void EnsureRuntimeDir() {
  if (std::getenv("XDG_RUNTIME_DIR") != nullptr) return;
  const std::string dir = "/tmp/runtime-" + std::to_string(::getuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 0077) != 0) {
    return;  // not ours, or open to others: let Qt decide
  }
  ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
}

// On X11 Qt shares the window's image with the server (MIT-SHM) and so must wait for the server
// before every paint: a round trip and a completion event each frame, while packets stream. What
// a frame copies is a few small rectangles, cheaper sent along with the request. A user's own
// setting stands.
void PreferCopiedImages() {
  ::setenv("QT_XCB_NO_MITSHM", "1", 0);
}

}  // namespace

int RunGui(int argc, char** argv, const CommandLine& options) {
  const std::string problem = CheckDisplay(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                           std::getenv("WAYLAND_DISPLAY"));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  // --record: made before the application so that it outlives the view and its reader thread.
  std::unique_ptr<WindowRecording> recording;
  if (!options.record.empty()) {
    recording = std::make_unique<WindowRecording>(options.record, options.ports);
  }
  EnsureRuntimeDir();
  PreferCopiedImages();
  // Qt keeps references to argc and argv for the application's lifetime.
  static int qtArgc = 1;
  static char* qtArgv[] = {argv[0], nullptr};
  (void)argc;
  int status = 0;
  {
    CVellumApp app(qtArgc, qtArgv);
    ViewOptions view;
    view.ports = options.ports;
    view.pointerKind = options.pointer;
    if (recording) {
      WindowRecording* r = recording.get();
      view.tap = &r->Recorder();
      view.tabletFound = [r](const TabletInfo& info) { r->Start(info); };
      // F4 and a stop signal end the process from within the view, the reader stopped first.
      view.exitProcess = [r](int code) {
        code = r->Finish(code);
        UndoLatencyChangesNow();
        std::fflush(nullptr);
        ::_exit(code);
      };
    }
    if (!app.InitInstance(std::move(view), options.document)) return 0;
    QTimer flushTimer;
    if (recording) {
      recording->SetView(app.MainFrame()->View());
      // Also writes out what the reader read before a hang-up ended it.
      QObject::connect(&flushTimer, &QTimer::timeout, [r = recording.get()] { r->Tick(); });
      flushTimer.start(1000);
    }
    status = app.exec();
    if (recording) recording->SetView(nullptr);
  }
  // The window closed: the view and its reader are gone, the recording is complete.
  if (recording) status = recording->Finish(status);
  return status;
}

}  // namespace vellum
