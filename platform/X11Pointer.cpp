#include "platform/X11Pointer.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

constexpr uint8_t kWarpPointerOpcode = 41;

int16_t ToInt16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

}  // namespace

X11Pointer::X11Pointer(std::string display) : display_(std::move(display)) {}

X11Pointer::~X11Pointer() {
  Close();
}

bool X11Pointer::Connect() {
  int screenNumber = 0;
  connection_ = xcb_connect(display_.empty() ? nullptr : display_.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection_)) {
    const char* name = display_.empty() ? std::getenv("DISPLAY") : display_.c_str();
    GiveUp(std::string("cannot connect to the X display ") + (name ? name : "(DISPLAY is not set)"));
    return false;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) {
    GiveUp("the X display has no screen " + std::to_string(screenNumber));
    return false;
  }
  root_ = it.data->root;
  return true;
}

bool X11Pointer::MoveTo(int32_t x, int32_t y) {
  if (failed_) return false;
  if (!connection_ && !Connect()) return false;
  // Unchecked: a refusal comes back as an error event, read below without a round trip.
  xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, ToInt16(x), ToInt16(y));
  if (xcb_flush(connection_) <= 0) {
    GiveUp("the connection to the X display broke");
    return false;
  }
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    const bool refused = event->response_type == 0 &&
                         reinterpret_cast<xcb_generic_error_t*>(event)->major_code ==
                             kWarpPointerOpcode;
    const int code = reinterpret_cast<xcb_generic_error_t*>(event)->error_code;
    std::free(event);
    if (refused) {
      GiveUp("the X server refused to move the pointer (error " + std::to_string(code) + ")");
      return false;
    }
  }
  return true;
}

void X11Pointer::GiveUp(const std::string& reason) {
  failed_ = true;
  Close();
  ReportPointerProblem(reason + "; the pointer will not follow the tablet");
}

void X11Pointer::Close() {
  if (connection_) xcb_disconnect(connection_);
  connection_ = nullptr;
}

}  // namespace platform
