// The reader with the whole view behind it (decode, scale, dispatch, drawing on the backbuffer,
// the present request) fed by an emulated tablet on a pty at 100 times the line rate, and at the
// line rate itself. Reported as counters of one long run each:
//   handle_*   from the read of a packet's last byte to the end of its handling
//   latency_*  from the write of a packet's last byte to the pty to the end of its handling
//              (target: p99 under 1 ms)
//   idle_cpu_pct  the reader thread's CPU while the tablet is quiet (target: under 0.5)
//   peak_rss_mb   the process's peak resident memory
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/TimedLine.h"
#include "tests/support/TestView.h"
#include "tools/emulator/Emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double NowMs() {
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// Packet i carries its own number in X and Y, so both ends can name it: the pen sweeps right
// one count a packet, a row of 5000 at a time, pressed for 500 packets and lifted for 500.
vellum::emu::Pen PenOf(int i) {
  return {(i / 500) % 2, i % 5000, 100 + (i / 5000) * 50, i % 512};
}
int IdOf(const vellum::TabletPacket& p) {
  return ((p.y - 100) / 50) * 5000 + p.x;
}

// Watches the reader: the tap sees each byte as it is read, the hook the end of each packet.
class Probe : public vellum::IByteTap {
 public:
  void OnBytes(const uint8_t* bytes, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      if (assembler_.Push(bytes[i]) == vellum::PacketAssembler::Step::kComplete) {
        currentId_ = IdOf(assembler_.Packet());
        readMs_ = NowMs();
      }
    }
  }
  void Handled() {
    samples_.push_back({currentId_, readMs_, NowMs()});
    handled_.fetch_add(1, std::memory_order_release);
  }
  struct Sample {
    int id;
    double readMs, handledMs;
  };
  std::vector<Sample> samples_;  // reader thread until the reader is stopped
  std::atomic<int> handled_{0};

 private:
  vellum::PacketAssembler assembler_{7};
  int currentId_ = -1;
  double readMs_ = 0;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
  return v[i];
}

ViewOptions Options(const std::string& path, Probe& probe) {
  ViewOptions options;
  options.ports.Set(1, path);
  for (int n = 2; n <= 4; ++n)
    options.ports.Set(n, "/nonexistent/vellum-bench-com" + std::to_string(n));
  options.screenWidth = 1920;
  options.screenHeight = 1080;
  options.movePointer = false;
  options.tap = &probe;
  options.packetHandled = [&probe] { probe.Handled(); };
  options.noTablet = [](const std::string& m) { throw std::runtime_error("no tablet: " + m); };
  return options;
}

void Pump(const std::function<bool()>& done, double timeoutMs) {
  const double end = NowMs() + timeoutMs;
  while (!done() && NowMs() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

double ThreadCpuMs(std::thread& t) {
  clockid_t id;
  if (pthread_getcpuclockid(t.native_handle(), &id) != 0) return 0;
  timespec ts{};
  clock_gettime(id, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Arg 0: rate multiplier; arg 1: packets.
void BM_ViewReaderStream(benchmark::State& state) {
  const double rate = double(state.range(0));
  const int packets = int(state.range(1));
  for (auto _ : state) {
    vellum::emu::Stream stream;
    for (int i = 0; i < packets; ++i) vellum::emu::AppendPacket(stream, PenOf(i), 7);
    vellum::bench::WrittenTimes written(packets);
    vellum::bench::TimedLine tablet(
        std::move(stream),
        [&written](const vellum::TabletPacket& p, double at) { written.Note(IdOf(p), at); }, rate);
    Probe probe;
    TestView view(Options(tablet.Path(), probe));
    view.resize(1920, 1040);
    view.show();
    Pump([&] { return view.IsLaidOut(); }, 2000);
    if (!view.IsLaidOut()) view.InvalidateAndPaint({0, 0, 1920, 1040});
    // Packets written before the reader started waited for start-up, not for the reader.
    const double readerStartMs = NowMs();
    // The whole stream, with the UI thread showing what the reader asks for meanwhile.
    Pump([&] { return probe.handled_.load(std::memory_order_acquire) >= packets; },
         60000 + packets * 8.0 / rate * 2);
    const int handled = probe.handled_.load(std::memory_order_acquire);

    // Quiet tablet: the reader's CPU over a second of nothing to read.
    const double cpu0 = ThreadCpuMs(view.m_readerThread);
    const double wall0 = NowMs();
    Pump([] { return false; }, 1000);
    const double idlePct = 100.0 * (ThreadCpuMs(view.m_readerThread) - cpu0) / (NowMs() - wall0);
    view.StopReader();

    std::vector<double> handle, latency;
    for (const Probe::Sample& s : probe.samples_) {
      handle.push_back((s.handledMs - s.readMs) * 1000.0);
      const double writtenMs = written.Us(s.id) / 1000.0;
      if (writtenMs >= readerStartMs) latency.push_back((s.handledMs - writtenMs) * 1000.0);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["packets"] = handled;
    state.counters["latency_n"] = double(latency.size());
    state.counters["handle_p50_us"] = Percentile(handle, 0.5);
    state.counters["handle_p99_us"] = Percentile(handle, 0.99);
    state.counters["latency_p50_us"] = Percentile(latency, 0.5);
    state.counters["latency_p99_us"] = Percentile(latency, 0.99);
    state.counters["latency_max_us"] = Percentile(latency, 1.0);
    state.counters["idle_cpu_pct"] = idlePct;
    state.counters["peak_rss_mb"] = double(usage.ru_maxrss) / 1024.0;
  }
}
BENCHMARK(BM_ViewReaderStream)
    ->ArgNames({"rate", "packets"})
    ->Args({100, 20000})
    ->Args({1, 400})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
