#pragma once
// The primary screen's size in pixels. Needs a QGuiApplication.

namespace platform {

struct ScreenSize {
  int width = 0;
  int height = 0;
};

// {0, 0} when the platform reports no screen.
ScreenSize PrimaryScreenSize();

}  // namespace platform
