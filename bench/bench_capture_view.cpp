// What recording adds to the reader's CPU time per packet in the program: the whole view behind
// the reader (decode, scale, dispatch, drawing on the backbuffer), an emulated tablet on a pty
// as fast as a real line or faster, and the window's 1 s flush timer. At the line rate and at 10
// times it the timer does all the writing, as in the program; at 100 times the recorder's batch
// fills between two ticks and the reader writes part of it out itself (the worst case). Counters of
// one run each:
//   reader_cpu_us_per_packet  the reader thread's CPU over the stream, divided by its packets
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <time.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "capture/CaptureRecorder.h"
#include "tools/emulator/PtyTablet.h"
#include "tests/support/TestView.h"

namespace {

using namespace vellum;

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double ThreadCpuMs(std::thread& t) {
  clockid_t id;
  if (pthread_getcpuclockid(t.native_handle(), &id) != 0) return 0;
  timespec ts{};
  clock_gettime(id, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void Pump(const std::function<bool()>& done, double timeoutMs) {
  const double end = NowMs() + timeoutMs;
  while (!done() && NowMs() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Args: record (0/1), mode (0 info screen, 1 Linear), line rate multiplier.
void BM_ViewReaderRecording(benchmark::State& state) {
  const bool record = state.range(0) == 1;
  const double rate = double(state.range(2));
  const int packetCount = int(300 * rate);  // 2.4 s of stream (8 ms a packet at the line rate)
  const std::string path = std::string(P_tmpdir) + "/vellum-bench-capture-view.txt";
  for (auto _ : state) {
    emu::Stream stream;
    for (int i = 0; i < packetCount; ++i) {
      emu::AppendPacket(stream, {(i / 500) % 2, 200 + i % 4600, 300 + (i * 7) % 3000, i % 512}, 7);
    }
    emu::EmulatorConfig config;
    config.loop = false;
    config.rateMultiplier = rate;
    emu::PtyTablet tablet(config, std::move(stream));

    std::unique_ptr<CaptureRecorder> recorder;
    if (record) {
      recorder = std::make_unique<CaptureRecorder>();
      if (!recorder->Open(path).empty()) {
        state.SkipWithError("cannot write the recording");
        return;
      }
    }
    std::atomic<int> handled{0};
    ViewOptions options;
    options.ports.Set(1, tablet.Path());
    for (int n = 2; n <= 4; ++n)
      options.ports.Set(n, "/nonexistent/vellum-bench-com" + std::to_string(n));
    options.screenWidth = 1920;
    options.screenHeight = 1080;
    options.movePointer = false;
    options.tap = recorder.get();
    options.packetHandled = [&handled] { handled.fetch_add(1, std::memory_order_relaxed); };
    options.noTablet = [](const std::string& m) { throw std::runtime_error("no tablet: " + m); };
    TestView view(std::move(options));
    if (recorder) {
      recorder->SetHeader(CaptureHeaderFor(
          {view.m_port, view.m_packetLength, view.m_maxX, view.m_maxY}, tablet.Path()));
    }
    QTimer flushTimer;
    if (recorder) {
      QObject::connect(&flushTimer, &QTimer::timeout, [r = recorder.get()] { r->Flush(); });
      flushTimer.start(1000);
    }
    if (state.range(1) == 1) view.m_mode = vellum::TestMode::kLinear;
    view.resize(1920, 1040);
    view.show();
    Pump([&] { return view.IsLaidOut(); }, 2000);
    if (!view.IsLaidOut()) view.InvalidateAndPaint({0, 0, 1920, 1040});
    Pump([&] { return handled.load(std::memory_order_relaxed) >= packetCount; }, 60000);
    const double cpuMs = ThreadCpuMs(view.m_readerThread);
    const int packets = handled.load();
    view.StopReader();
    if (recorder) recorder->Close();
    std::remove(path.c_str());
    state.counters["packets"] = packets;
    state.counters["reader_cpu_us_per_packet"] = packets ? cpuMs * 1000.0 / packets : 0;
  }
}
BENCHMARK(BM_ViewReaderRecording)
    ->ArgNames({"record", "mode", "rate"})
    ->Args({0, 1, 1})
    ->Args({1, 1, 1})
    ->Args({0, 0, 10})
    ->Args({1, 0, 10})
    ->Args({0, 1, 10})
    ->Args({1, 1, 10})
    ->Args({0, 1, 100})
    ->Args({1, 1, 100})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
