// Start-up to the first frame: runs a command (vellum with its options) on the X server of
// $DISPLAY and watches one column of the root window until the info screen's cyan separator
// shows in it. Prints "first_frame_ms <ms from exec to that frame>" and "pid <pid>", then waits
// for the command and exits with its status (or 3 when no frame came within 20 s).
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// A 24-bit visual stores a pixel as B, G, R, pad.
bool ColumnHasCyan(xcb_connection_t* c, xcb_window_t root, int x, int height) {
  xcb_get_image_reply_t* reply = xcb_get_image_reply(
      c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x), 0, 1, uint16_t(height), ~0u),
      nullptr);
  if (reply == nullptr) return false;
  const uint8_t* p = xcb_get_image_data(reply);
  const int length = xcb_get_image_data_length(reply);
  bool found = false;
  for (int i = 0; i + 3 < length && !found; i += 4)
    found = p[i] == 255 && p[i + 1] == 255 && p[i + 2] == 0;
  std::free(reply);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_first_frame COMMAND [ARGS...]\n");
    return 2;
  }
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "bench_first_frame: cannot open the display\n");
    return 2;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const int x = 100;  // left of the side panel on any screen: the separator crosses it
  if (ColumnHasCyan(c, screen->root, x, screen->height_in_pixels)) {
    std::fprintf(stderr, "bench_first_frame: the screen shows cyan already\n");
    return 2;
  }
  const double start = NowMs();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  double frame = -1;
  while (NowMs() - start < 20000) {
    if (ColumnHasCyan(c, screen->root, x, screen->height_in_pixels)) {
      frame = NowMs() - start;
      break;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return 3;
    usleep(500);
  }
  std::printf("first_frame_ms %.3f\npid %d\n", frame, int(pid));
  std::fflush(stdout);
  xcb_disconnect(c);
  int status = 0;
  waitpid(pid, &status, 0);
  if (frame < 0) return 3;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
