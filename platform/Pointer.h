#pragma once
// Moving the system pointer from the reader thread, without waiting for the UI thread.
//
// Threading: a backend is made on the UI thread at start-up (where Qt tells which desktop this
// is), then used only by the reader thread: it opens its connection or device on first use and
// closes it in Close() or its destructor. No Qt call happens behind this interface.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Geometry.h"

namespace platform {

enum class PointerKind { kAuto, kX11, kUinput, kNone };

class IPointer {
 public:
  virtual ~IPointer() = default;
  // Moves the pointer to (x, y) in desktop coordinates. When the pointer cannot follow (no
  // display, a refused move, no uinput device), the backend says once on stderr why and every
  // later call does nothing. Returns whether the move was sent.
  virtual bool MoveTo(int32_t x, int32_t y) = 0;
  // Releases the connection or device; the reader calls it as it ends.
  virtual void Close() = 0;
};

// Which backend `requested` means on this desktop: kAuto picks uinput on a Wayland session
// (WAYLAND_DISPLAY, or Qt's wayland platform), X11 where there is an X display, else uinput.
PointerKind ResolvePointerKind(PointerKind requested, std::string_view qtPlatform,
                               bool hasDisplay, bool hasWaylandDisplay);

// The backend of `kind`; `desktop` is the union of all screens, for uinput's axes. kNone (and
// kAuto, which must be resolved first) never moves the pointer.
std::unique_ptr<IPointer> MakePointer(PointerKind kind, const vellum::Rect& desktop);

// The choice the program makes at start-up, from Qt's platform and the environment. UI thread.
std::unique_ptr<IPointer> MakeSystemPointer(PointerKind requested);

// Says `reason` once on stderr, prefixed with the program's name.
void ReportPointerProblem(const std::string& reason);

}  // namespace platform
