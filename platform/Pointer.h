#pragma once
// Moving the system pointer. UI thread (Qt's cursor calls are not thread-safe).

namespace platform {

// Moves the pointer to (x, y) in screen coordinates. Where the platform does not let programs
// move the pointer (Wayland), says so once on stderr and returns false.
bool MovePointer(int x, int y);

}  // namespace platform
