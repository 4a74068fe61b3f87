#include "app/GuiMain.h"

#include <cstdio>
#include <cstdlib>

#include "app/DisplayCheck.h"
#include "app/VellumApp.h"

namespace vellum {

int RunGui(int argc, char** argv, const CommandLine& options) {
  const std::string problem = CheckDisplay(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                           std::getenv("WAYLAND_DISPLAY"));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  // Qt keeps references to argc and argv for the application's lifetime.
  static int qtArgc = 1;
  static char* qtArgv[] = {argv[0], nullptr};
  (void)argc;
  CVellumApp app(qtArgc, qtArgv);
  ViewOptions view;
  view.ports = options.ports;
  if (!app.InitInstance(std::move(view))) return 0;
  return app.exec();
}

}  // namespace vellum
