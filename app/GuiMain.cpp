#include "app/GuiMain.h"

#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/DisplayCheck.h"
#include "app/MainFrame.h"
#include "app/VellumApp.h"
#include "tablet/CaptureRecorder.h"

namespace vellum {

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
  if (!app.InitInstance(std::move(view))) return 0;
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
