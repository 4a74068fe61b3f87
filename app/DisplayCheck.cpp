#include "app/DisplayCheck.h"

#include <xcb/xcb.h>

#include <QFileInfo>
#include <QLibraryInfo>
#include <cstring>

namespace vellum {
namespace {

bool Empty(const char* s) {
  return s == nullptr || *s == '\0';
}

bool WaylandPluginInstalled() {
  const QString dir = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/");
  return QFileInfo::exists(dir + QStringLiteral("libqwayland-generic.so")) ||
         QFileInfo::exists(dir + QStringLiteral("libqwayland-egl.so"));
}

}  // namespace

std::string CheckDisplay(const char* platform, const char* display, const char* wayland) {
  // Other platforms (offscreen, wayland, vnc ...) report their own trouble without aborting,
  // or need no display at all.
  if (!Empty(platform) && std::strncmp(platform, "xcb", 3) != 0) return std::string();
  if (Empty(display)) {
    if (Empty(platform) && !Empty(wayland) && WaylandPluginInstalled()) return std::string();
    return "vellum: no DISPLAY set";
  }
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  const bool failed = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  if (failed) return std::string("vellum: cannot open display '") + display + "'";
  return std::string();
}

}  // namespace vellum
