#include "platform/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace platform {

WindowPlacement ChooseWindowPlacement(std::string_view qtPlatform,
                                      const std::vector<vellum::Rect>& screens, size_t primary) {
  WindowPlacement placement;
  if (screens.empty()) return placement;
  vellum::Rect all = screens.front();
  for (const vellum::Rect& s : screens) {
    all = {std::min(all.left, s.left), std::min(all.top, s.top), std::max(all.right, s.right),
           std::max(all.bottom, s.bottom)};
  }
  placement.screen = primary < screens.size() ? primary : 0;
  placement.screenArea = screens[placement.screen];
  placement.pointerArea = all;
  if (qtPlatform.starts_with("wayland")) {
    placement.fullScreen = true;
    placement.pointerArea = placement.screenArea;
  }
  return placement;
}

vellum::Point ClientOriginOnDesktop(const WindowPlacement& placement, vellum::Point mappedToGlobal,
                                    vellum::Point inWindow) {
  if (!placement.fullScreen) return mappedToGlobal;
  return {placement.screenArea.left + inWindow.x, placement.screenArea.top + inWindow.y};
}

WindowPlacement SystemWindowPlacement() {
  std::vector<vellum::Rect> screens;
  size_t primary = 0;
  const QList<QScreen*> all = QGuiApplication::screens();
  for (const QScreen* s : all) {
    if (s == QGuiApplication::primaryScreen()) primary = screens.size();
    const QRect g = s->geometry();
    screens.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
  }
  return ChooseWindowPlacement(QGuiApplication::platformName().toStdString(), screens, primary);
}

vellum::Point ClientOriginOnDesktop(const QWidget& client) {
  const QPoint global = client.mapToGlobal(QPoint(0, 0));
  const QPoint inWindow = client.mapTo(client.window(), QPoint(0, 0));
  return ClientOriginOnDesktop(SystemWindowPlacement(), {global.x(), global.y()},
                               {inWindow.x(), inWindow.y()});
}

}  // namespace platform
