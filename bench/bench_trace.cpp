// Last byte written -> the trace's pixel on the X server, as another X client sees it.
//
// Runs vellum (its path and options after the arguments) on the X server of $DISPLAY against a
// tablet emulated on a pty of our own. The pen rests at A, then at B (the pointer's place for
// each, read with QueryPointer, gives the mapping from tablet counts to the screen), then draws
// rows across the info screen's trace area at the line rate, each packet a few pixels right of
// the one before. This client reads the row of the screen with GetImage, about every 100 us;
// a packet is shown once the row's trace reaches its place, and its latency is that moment -
// the write of its last byte. The path: pty, reader, decoding, drawing on the backbuffer, the
// presentation request, the UI thread's update at the next display frame, Qt's paint and flush,
// the X server.
//
// Prints "key value" lines: trace_<label>_p50_us, _p99_us, _max_us, _packets and _missed.
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "bench/TimedLine.h"
#include "bench/VellumProcess.h"
#include "bench/XClient.h"

namespace {

using vellum::bench::Percentile;
using vellum::bench::Place;
using vellum::bench::QueryPointer;
using vellum::bench::MonotonicUs;

constexpr int kRest = 150;  // packets at each calibration place
constexpr int32_t kRowStartX = 600;
constexpr int32_t kStepX = 20;  // ~4 px at 1024 wide, more than the pen's half width
constexpr int kPerRow = 160;
constexpr int32_t kRowY[] = {2500, 1800, 1100};
constexpr int kSkipAtRowStart = 8;  // the jump from the row before crosses the row's start
constexpr int32_t kPressure = 52;   // pen width 5: round ends, so a packet's place is inked
constexpr long kPollNapNs = 60'000;

// The rightmost black pixel of screen row y between x0 and x1 (-1: none). A 24-bit visual
// stores a pixel as B, G, R, pad.
int RightmostBlack(xcb_connection_t* c, xcb_window_t root, int x0, int x1, int y) {
  xcb_get_image_reply_t* reply =
      xcb_get_image_reply(c,
                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x0), int16_t(y),
                                        uint16_t(x1 - x0), 1, ~0u),
                          nullptr);
  if (!reply) return -1;
  const uint8_t* p = xcb_get_image_data(reply);
  const int n = xcb_get_image_data_length(reply) / 4;
  int found = -1;
  for (int i = n - 1; i >= 0; --i) {
    if (p[4 * i] == 0 && p[4 * i + 1] == 0 && p[4 * i + 2] == 0) {
      found = x0 + i;
      break;
    }
  }
  std::free(reply);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_trace LABEL PACKETS VELLUM [ARGS...]\n");
    return 2;
  }
  const std::string label = argv[1];
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  const int packets = std::clamp(std::atoi(argv[2]), 2 * kSkipAtRowStart, 3 * kPerRow);
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "bench_trace: cannot open the display\n");
    return 2;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;

  // A and B above the rows, apart on both axes; the trace they leave is not in a row.
  const vellum::emu::Pen a{1, 800, 3400, kPressure}, b{1, 2400, 3000, kPressure};
  struct Mark {
    int row;
    int32_t x;
  };
  std::vector<Mark> marks;
  vellum::emu::Stream stream;
  for (int i = 0; i < kRest; ++i) vellum::emu::AppendPacket(stream, a, 7);
  for (int i = 0; i < kRest; ++i) vellum::emu::AppendPacket(stream, b, 7);
  for (int i = 0; i < packets; ++i) {
    const Mark m{i / kPerRow, kRowStartX + kStepX * (i % kPerRow)};
    marks.push_back(m);
    vellum::emu::AppendPacket(stream, {1, m.x, kRowY[m.row], kPressure}, 7);
  }
  stream.front().delayMs = 2000;  // the window is up and painted before the pen comes
  std::mutex mutex;
  std::vector<double> written;
  vellum::bench::TimedLine line(stream, [&](const vellum::TabletPacket&, double at) {
    std::lock_guard lock(mutex);
    written.push_back(at);
  });

  const pid_t pid =
      vellum::bench::StartVellumOn(std::vector<std::string>(argv + 3, argv + argc), line.Path());
  auto stop = [&](int status) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(c);
    return status;
  };
  auto waitSent = [&](int n) {
    const double deadline = MonotonicUs() + 30e6;
    while (line.Sent() < n && MonotonicUs() < deadline) usleep(2000);
    return line.Sent() >= n;
  };
  if (!waitSent(kRest / 2)) {
    std::fprintf(stderr, "bench_trace: the tablet's packets were not taken\n");
    return stop(3);
  }
  usleep(100000);
  const Place pa = QueryPointer(c, screen->root);
  waitSent(kRest + kRest / 2);
  usleep(100000);
  const Place pb = QueryPointer(c, screen->root);
  if (pa.x == pb.x || pa.y == pb.y) {
    std::fprintf(stderr, "bench_trace: the pointer does not follow the tablet\n");
    return stop(3);
  }
  // Screen place of tablet (x, y), to a pixel or so: the client's size and origin from A and B.
  const double sx = double(pb.x - pa.x) / (b.x - a.x), sy = double(pb.y - pa.y) / (a.y - b.y);
  auto screenX = [&](int32_t x) { return int(std::lround(pa.x + (x - a.x) * sx)); };
  auto screenY = [&](int32_t y) { return int(std::lround(pa.y + (a.y - y) * sy)); };

  std::vector<double> seenUs(size_t(packets), -1);
  int next = 0;  // the oldest packet not yet seen
  const timespec nap{0, kPollNapNs};
  const double deadline = MonotonicUs() + 30e6;
  while (next < packets && MonotonicUs() < deadline) {
    const int row = marks[size_t(next)].row;
    const int x0 = screenX(kRowStartX) - 2;
    const int x1 = screenX(kRowStartX + kStepX * (kPerRow - 1)) + 12;
    const int y = screenY(kRowY[row]);
    const int skipX = screenX(kRowStartX + kStepX * kSkipAtRowStart);
    const int reach = RightmostBlack(c, screen->root, std::max(x0, skipX - 1), x1, y);
    const double now = MonotonicUs();
    // Every packet of this row up to the trace's end is on the screen now.
    while (next < packets && marks[size_t(next)].row == row) {
      const Mark& m = marks[size_t(next)];
      const bool atStart = (next % kPerRow) < kSkipAtRowStart;
      if (!atStart && reach < screenX(m.x)) break;
      if (!atStart) seenUs[size_t(next)] = now;
      ++next;
    }
    if (xcb_connection_has_error(c)) break;
    nanosleep(&nap, nullptr);
  }
  stop(0);

  std::vector<double> latency;
  {
    std::lock_guard lock(mutex);
    for (int i = 0; i < packets; ++i) {
      const size_t k = size_t(2 * kRest + i);
      if (seenUs[size_t(i)] >= 0 && k < written.size()) {
        latency.push_back(seenUs[size_t(i)] - written[k]);
      }
    }
  }
  if (std::getenv("BENCH_TRACE_DEBUG")) {
    std::lock_guard lock(mutex);
    for (int i = 0; i < packets; ++i) {
      const size_t k = size_t(2 * kRest + i);
      std::fprintf(
          stderr, "%d row %d x %d seen %.0f lat %.0f\n", i, marks[size_t(i)].row,
          screenX(marks[size_t(i)].x), seenUs[size_t(i)],
          k < written.size() && seenUs[size_t(i)] >= 0 ? seenUs[size_t(i)] - written[k] : -1);
    }
  }
  const int measured = packets - (packets + kPerRow - 1) / kPerRow * kSkipAtRowStart;
  auto print = [&](const char* key, double v) {
    std::printf("trace_%s_%s %.3f\n", label.c_str(), key, v);
  };
  print("p50_us", Percentile(latency, 0.5));
  print("p99_us", Percentile(latency, 0.99));
  print("max_us", Percentile(latency, 1.0));
  print("packets", double(latency.size()));
  print("missed", double(measured - int(latency.size())));
  return int(latency.size()) >= measured * 9 / 10 ? 0 : 3;
}
