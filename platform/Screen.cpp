#include "platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

ScreenSize PrimaryScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRect g = screen->geometry();
  return {g.width(), g.height()};
}

}  // namespace platform
