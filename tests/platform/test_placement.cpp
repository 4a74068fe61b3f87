// Where the window goes and what the uinput pointer spans, by desktop: on Wayland, where a
// client cannot learn its window's place, full screen on the primary output and the pointer
// spanning exactly that output; on X11 maximised, the pointer spanning every screen.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Placement.h"

namespace platform {
namespace {

using vellum::Point;
using vellum::Rect;

const Rect kLeft{0, 0, 1920, 1080};
const Rect kRight{1920, 0, 3200, 800};

TEST(Placement, ByDesktopAndScreens) {
  const struct {
    const char* name;
    const char* qt;
    std::vector<Rect> screens;
    size_t primary;
    bool fullScreen;
    size_t screen;
    Rect pointer;
  } cases[] = {
      {"X11OneScreen", "xcb", {kLeft}, 0, false, 0, kLeft},
      {"X11TwoScreens", "xcb", {kLeft, kRight}, 1, false, 1, {0, 0, 3200, 1080}},
      {"WaylandOneOutput", "wayland", {{0, 0, 1280, 800}}, 0, true, 0, {0, 0, 1280, 800}},
      {"WaylandThePrimaryOutputOnly", "wayland-egl", {kLeft, kRight}, 1, true, 1, kRight},
      {"WaylandPrimaryUnknown", "wayland", {kLeft, kRight}, 7, true, 0, kLeft},
      {"NoScreen", "wayland", {}, 0, false, 0, {}},
      {"Offscreen", "offscreen", {{0, 0, 800, 600}}, 0, false, 0, {0, 0, 800, 600}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowPlacement p = ChooseWindowPlacement(c.qt, c.screens, c.primary);
    EXPECT_EQ(p.fullScreen, c.fullScreen);
    EXPECT_EQ(p.screen, c.screen);
    EXPECT_EQ(p.pointerArea, c.pointer);
    if (!c.screens.empty()) {
      EXPECT_EQ(p.screenArea, c.screens[c.screen]);
    }
  }
}

TEST(Placement, ClientOriginOnTheDesktop) {
  const WindowPlacement x11 = ChooseWindowPlacement("xcb", {kLeft, kRight}, 0);
  const WindowPlacement wayland = ChooseWindowPlacement("wayland", {kLeft, kRight}, 1);
  const struct {
    const char* name;
    const WindowPlacement& placement;
    Point mapped, inWindow, origin;
  } cases[] = {
      // X11: where the window manager put it, as the server says.
      {"X11", x11, {1930, 45}, {0, 20}, {1930, 45}},
      // Wayland: Qt's answer is not the desktop's; the full-screen output's corner is.
      {"Wayland", wayland, {0, 0}, {0, 0}, {1920, 0}},
      {"WaylandBelowAToolBar", wayland, {0, 20}, {0, 20}, {1920, 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ClientOriginOnDesktop(c.placement, c.mapped, c.inWindow), c.origin);
  }
}

}  // namespace
}  // namespace platform
