#pragma once
// Where the window goes, and where on the desktop its client area is, by kind of desktop.
//
// On X11 the window is maximised and top-most wherever the window manager puts it, the program
// can ask where that is, and a uinput pointer's axes span every screen, as the X server maps
// them. A Wayland client cannot learn where the compositor put its window, so there the window
// is shown full-screen on one output, the primary screen, whose place on the desktop the program
// does know (the closest a Wayland window comes to maximised and top-most), and the uinput
// pointer spans exactly that output: a compositor maps an absolute pointer onto one output, its
// first one unless told otherwise, which is the one Qt calls primary.

#include <cstddef>
#include <string_view>
#include <vector>

#include "base/Geometry.h"

class QWidget;

namespace platform {

struct WindowPlacement {
  bool fullScreen = false;   // full-screen on screens[screen] rather than maximised
  size_t screen = 0;         // the screen the window is shown on
  vellum::Rect screenArea;   // that screen on the desktop
  vellum::Rect pointerArea;  // what a uinput pointer's axes span
};

// qtPlatform: Qt's platform name; screens: every screen's geometry on the desktop, in Qt's
// order; primary: the index of the primary screen among them (ignored when out of range).
WindowPlacement ChooseWindowPlacement(std::string_view qtPlatform,
                                      const std::vector<vellum::Rect>& screens, size_t primary);

// The client area's top-left on the desktop. mappedToGlobal is what the toolkit says (right on
// X11); inWindow is the client's offset inside its top-level window, which a full-screen
// window has at its screen's top-left.
vellum::Point ClientOriginOnDesktop(const WindowPlacement& placement, vellum::Point mappedToGlobal,
                                    vellum::Point inWindow);

// The choice for this desktop, from Qt's platform and screens. Needs a QGuiApplication.
WindowPlacement SystemWindowPlacement();

// ClientOriginOnDesktop for a widget on this desktop. UI thread.
vellum::Point ClientOriginOnDesktop(const QWidget& client);

}  // namespace platform
