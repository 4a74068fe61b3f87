#pragma once
// Whether a window can be opened at all, asked before Qt starts: Qt ends the process with an
// abort when its platform has no display.
#include <string>

namespace vellum {

// Empty when the GUI can start; else one line for stderr naming what is missing.
// `platform` is $QT_QPA_PLATFORM, `display` $DISPLAY, `wayland` $WAYLAND_DISPLAY (nullptr: unset).
std::string CheckDisplay(const char* platform, const char* display, const char* wayland);

}  // namespace vellum
