#include "platform/Pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <cstdio>

namespace platform {

bool MovePointer(int x, int y) {
  static const bool refused = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  if (refused) {
    static bool told = false;
    if (!told) {
      told = true;
      std::fputs(
          "vellum: this Wayland session does not let programs move the pointer; "
          "the pointer will not follow the tablet\n",
          stderr);
    }
    return false;
  }
  QCursor::setPos(x, y);
  return true;
}

}  // namespace platform
