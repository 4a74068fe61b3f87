#include "app/StopSignals.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

#include "tablet/LatencyIo.h"

namespace vellum {
namespace {

std::atomic<bool>* g_stop = nullptr;
Waker* g_waker = nullptr;
std::atomic<int> g_stopSignal{0};
std::atomic<int64_t> g_firstSignalNs{0};
static_assert(std::atomic<int64_t>::is_always_lock_free);
constexpr int64_t kRepeatedStopSignalNs = 500'000'000;

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);  // async-signal-safe
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

extern "C" void OnStopSignal(int signo) {
  const int64_t now = MonotonicNs();
  if (g_stop->load(std::memory_order_relaxed)) {
    if (now - g_firstSignalNs.load(std::memory_order_relaxed) >= kRepeatedStopSignalNs) {
      // The kernel removes any uinput device with us; the port's settings need putting back.
      UndoLatencyChangesNow();
      _exit(130);
    }
    return;
  }
  g_firstSignalNs.store(now, std::memory_order_relaxed);
  g_stopSignal.store(signo, std::memory_order_relaxed);
  g_stop->store(true, std::memory_order_relaxed);
  g_waker->Wake();  // a write(2): safe here
}

}  // namespace

void InstallStopSignals(std::atomic<bool>& stop, Waker& waker, std::initializer_list<int> signals) {
  g_stop = &stop;
  g_waker = &waker;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;  // standard output must not fail half-way through a line
  sigemptyset(&action.sa_mask);
  for (const int signo : signals) sigaction(signo, &action, nullptr);
}

std::string StopSignalName() {
  const int signo = g_stopSignal.load(std::memory_order_relaxed);
  switch (signo) {
    case 0:
      return "";
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signo);
  }
}

}  // namespace vellum
