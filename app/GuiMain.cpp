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
#include "tablet/CaptureRecorder.h"

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

}  // namespace

int RunGui(int argc, char** argv, const CommandLine& options) {
  const std::string problem = CheckDisplay(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                           std::getenv("WAYLAND_DISPLAY"));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  // --record: made before the application so that it outlives the view and its reader thread.
  std::unique_ptr<CaptureRecorder> recorder;
  if (!options.record.empty()) {
    recorder = std::make_unique<CaptureRecorder>();
    const std::string error = recorder->Open(options.record);
    if (!error.empty()) {
      std::fprintf(stderr, "vellum: cannot record: %s\n", error.c_str());
      return 1;
    }
  }
  EnsureRuntimeDir();
  // Qt keeps references to argc and argv for the application's lifetime.
  static int qtArgc = 1;
  static char* qtArgv[] = {argv[0], nullptr};
  (void)argc;
  CVellumApp app(qtArgc, qtArgv);
  ViewOptions view;
  view.ports = options.ports;
  if (recorder) {
    view.tap = recorder.get();
    view.beforeExit = [r = recorder.get()] { r->Close(); };  // F4 ends the process right after
  }
  if (!app.InitInstance(std::move(view), options.document)) return 0;
  QTimer flushTimer;
  if (recorder) {
    // Detection is over: the header can name the tablet before the reader's first byte.
    const CVellumView* v = app.MainFrame()->View();
    const TabletInfo found{v->m_port, v->m_packetLength, v->m_maxX, v->m_maxY};
    recorder->SetHeader(CaptureHeaderFor(found, options.ports.Path(int(v->m_port))));
    // Also writes out what the reader read before a hang-up ended it.
    QObject::connect(&flushTimer, &QTimer::timeout, [r = recorder.get()] { r->Flush(); });
    flushTimer.start(1000);
  }
  return app.exec();
}

}  // namespace vellum
