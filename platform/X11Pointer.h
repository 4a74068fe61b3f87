#pragma once
// The pointer on X11: the reader's own XCB connection, a WarpPointer to root coordinates and a
// flush per move. No Xlib and no Qt: Qt's connection belongs to the UI thread.
#include <string>

#include "platform/Pointer.h"

struct xcb_connection_t;

namespace platform {

class X11Pointer final : public IPointer {
 public:
  // `display`: the X display name; "" for $DISPLAY.
  explicit X11Pointer(std::string display);
  ~X11Pointer() override;
  X11Pointer(const X11Pointer&) = delete;
  X11Pointer& operator=(const X11Pointer&) = delete;

  bool MoveTo(int32_t x, int32_t y) override;
  void Close() override;

 private:
  bool Connect();
  void GiveUp(const std::string& reason);

  std::string display_;
  xcb_connection_t* connection_ = nullptr;
  uint32_t root_ = 0;
  bool failed_ = false;
};

}  // namespace platform
