// Last byte written -> pointer seen at the packet's place, as another X client sees it.
//
// Runs vellum (its path and options after the arguments) on the X server of $DISPLAY against a
// tablet emulated on a pty of our own, so the moment each packet's last byte is written is known
// here. The pen rests at A, then at B (the pointer's place for each is read back with
// QueryPointer), then jumps between them packet by packet at the line rate. This client polls
// QueryPointer (a query every ~100 us); latency = the first reply that shows the pointer at a
// packet's place - the write of that packet's last byte (the newest one for that place).
//
// Prints "key value" lines with the given label: pointer_<label>_p50_us, _p99_us, _max_us,
// _packets (matched) and _missed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/TimedLine.h"
#include "bench/VellumProcess.h"
#include "bench/XClient.h"

namespace {

using vellum::bench::Percentile;
using vellum::bench::Place;
using vellum::bench::QueryPointer;

constexpr int kRest = 150;  // packets at each calibration place (1.2 s at the line rate)
constexpr long kPollNapNs = 30'000;

using vellum::bench::MonotonicUs;
double NowUs() {
  return MonotonicUs();
}

struct Written {
  int place;  // 0: A, 1: B
  double us;
};

// Which place each streamed packet went to and when its last byte left, noted on the line's
// thread.
class PlaceLog {
 public:
  explicit PlaceLog(std::vector<int> places) : places_(std::move(places)) {}
  void Note(double at) {
    std::lock_guard lock(mutex_);
    const size_t k = written_.size();
    if (k < places_.size()) written_.push_back({places_[k], at});
  }
  std::vector<Written> Log() const {
    std::lock_guard lock(mutex_);
    return written_;
  }

 private:
  std::vector<int> places_;
  mutable std::mutex mutex_;
  std::vector<Written> written_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_pointer LABEL PACKETS VELLUM [ARGS...]\n");
    return 2;
  }
  const std::string label = argv[1];
  // Naps of tens of microseconds need the timer to keep them short (the default slack is 50 us).
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  const int packets = std::max(2, std::atoi(argv[2]));
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "bench_pointer: cannot open the display\n");
    return 2;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;

  // A and B inside the trace area at any size: a third and a half of the tablet's range.
  const vellum::emu::Pen a{1, 1600, 2500, 300}, b{1, 2600, 1800, 300};
  vellum::emu::Stream stream;
  std::vector<int> places;
  for (int i = 0; i < 2 * kRest + packets; ++i) {
    const int place = i < kRest ? 0 : i < 2 * kRest ? 1 : i % 2;
    vellum::emu::AppendPacket(stream, place ? b : a, 7);
    places.push_back(place);
  }
  stream.front().delayMs = 2000;  // the window is up and painted before the pen comes
  PlaceLog placeLog(places);
  vellum::bench::TimedLine line(
      stream, [&placeLog](const vellum::TabletPacket&, double at) { placeLog.Note(at); });

  const pid_t pid =
      vellum::bench::StartVellumOn(std::vector<std::string>(argv + 3, argv + argc), line.Path());

  auto waitSent = [&](int n) {
    const double deadline = NowUs() + 30e6;
    while (line.Sent() < n && NowUs() < deadline) usleep(2000);
    return line.Sent() >= n;
  };
  if (std::getenv("BENCH_POINTER_DEBUG")) std::fprintf(stderr, "started %d\n", int(pid));
  if (!waitSent(kRest / 2)) {
    std::fprintf(stderr, "bench_pointer: the tablet's packets were not taken\n");
    kill(pid, SIGTERM);
    return 3;
  }
  usleep(100000);
  const Place pa = QueryPointer(c, screen->root);
  waitSent(kRest + kRest / 2);
  usleep(100000);
  const Place pb = QueryPointer(c, screen->root);
  if (pa.x == pb.x && pa.y == pb.y) {
    std::fprintf(stderr, "bench_pointer: the pointer does not follow the tablet\n");
    kill(pid, SIGTERM);
    return 3;
  }

  if (std::getenv("BENCH_POINTER_DEBUG"))
    std::fprintf(stderr, "A %d,%d B %d,%d sent %d\n", pa.x, pa.y, pb.x, pb.y, line.Sent());
  // Polled, with a short sleep between queries: the X server may leave a warp in its input
  // queue until a request arrives, so an event-driven watcher would time the next packet's
  // request rather than the pointer. Each query costs tens of microseconds.
  struct Seen {
    int place;
    double us;
  };
  std::vector<Seen> seen;
  const int total = 2 * kRest + packets;
  const Place at[2] = {pa, pb};
  int where = -1;
  // Ends when the stream has been sent, or the line has been quiet for half a second.
  double quietSince = NowUs();
  int lastSent = -1;
  const timespec nap{0, kPollNapNs};
  while (true) {
    const Place p = QueryPointer(c, screen->root);
    const double now = NowUs();
    for (int i = 0; i < 2; ++i) {
      if (p.x == at[i].x && p.y == at[i].y && where != i) {
        where = i;
        if (line.Sent() > 2 * kRest) seen.push_back({i, now});
      }
    }
    const int sent = line.Sent();
    if (sent != lastSent) {
      lastSent = sent;
      quietSince = now;
    } else if (now - quietSince > (sent >= total ? 300e3 : 500e3)) {
      break;
    }
    if (xcb_connection_has_error(c)) break;
    nanosleep(&nap, nullptr);
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);

  // Each arrival belongs to the newest packet for its place written before it.
  const std::vector<Written> log = placeLog.Log();
  std::vector<bool> used(log.size(), false);
  std::vector<double> latency;
  for (const Seen& s : seen) {
    for (size_t k = log.size(); k-- > size_t(2 * kRest);) {
      if (log[k].us <= s.us && log[k].place == s.place) {
        if (!used[k]) {
          used[k] = true;
          latency.push_back(s.us - log[k].us);
        }
        break;
      }
    }
  }
  const int matched = int(latency.size());
  auto print = [&](const char* key, double v) {
    std::printf("pointer_%s_%s %.3f\n", label.c_str(), key, v);
  };
  print("p50_us", Percentile(latency, 0.5));
  print("p99_us", Percentile(latency, 0.99));
  print("max_us", Percentile(latency, 1.0));
  print("packets", matched);
  print("missed", packets - matched);
  xcb_disconnect(c);
  return matched >= packets * 9 / 10 ? 0 : 3;
}
