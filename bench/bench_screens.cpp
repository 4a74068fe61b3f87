// The reader's time per packet on the Shake and Keystroke screens, next to Linear in the same
// run, with the whole view behind it and the tone left out (a tone that returns at once). Every
// packet changes what the screen shows (a new position, a new button code), the costliest case.
// An emulated tablet on a pty streams at 10 times the line rate: fast enough to keep the reader
// busy, slow enough that the line never overruns while a packet is drawn. Counters, one run each:
//   handle_p50_us, handle_p99_us  from the read of a packet's last byte to the end of its handling
// Compare with bench_view_reader's handle_* figures.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tools/emulator/PtyTablet.h"
#include "tests/support/TestView.h"

namespace {

using Clock = std::chrono::steady_clock;

double NowUs() {
  return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count();
}

class SilentTone : public platform::ITone {
 public:
  void Beep(int, int) override {}
};

// Times each packet from the read of its last byte (the tap) to the end of its handling.
class Timer : public vellum::IByteTap {
 public:
  void OnBytes(const uint8_t* bytes, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      if (assembler_.Push(bytes[i]) == vellum::PacketAssembler::Step::kComplete) readUs_ = NowUs();
    }
  }
  void Handled() {
    samples_.push_back(NowUs() - readUs_);
    handled_.fetch_add(1, std::memory_order_release);
  }
  std::vector<double> samples_;  // reader thread until the reader is stopped
  std::atomic<int> handled_{0};

 private:
  vellum::PacketAssembler assembler_{7};
  double readUs_ = 0;
};

// Packet i: on Shake a new position every packet; on Keystroke codes 1..7 in turn; on Linear a
// pressed pen sweeping right.
vellum::emu::Stream StreamFor(uint32_t mode, int packets) {
  vellum::emu::Stream stream;
  for (int i = 0; i < packets; ++i) {
    vellum::emu::Pen pen{1, 100 + i % 4800, 200 + (i / 4800) * 40, 300};
    if (mode == 4) pen.buttons = 1 + i % 7;
    vellum::emu::AppendPacket(stream, pen, 7);
  }
  return stream;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

void Pump(const std::function<bool()>& done, double timeoutMs) {
  const double end = NowUs() + timeoutMs * 1000;
  while (!done() && NowUs() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Arg 0: the screen (1 Linear, 3 Shake, 4 Keystroke); arg 1: packets.
void BM_ScreenPackets(benchmark::State& state) {
  const uint32_t mode = uint32_t(state.range(0));
  const int packets = int(state.range(1));
  for (auto _ : state) {
    vellum::emu::EmulatorConfig config;
    config.loop = false;
    config.rateMultiplier = 10;
    vellum::emu::PtyTablet tablet(config, StreamFor(mode, packets));

    Timer timer;
    SilentTone tone;
    ViewOptions options;
    options.ports.Set(1, tablet.Path());
    for (int n = 2; n <= 4; ++n)
      options.ports.Set(n, "/nonexistent/vellum-bench-com" + std::to_string(n));
    options.screenWidth = 1920;
    options.screenHeight = 1080;
    options.movePointer = false;
    options.tone = &tone;
    options.tap = &timer;
    options.packetHandled = [&timer] { timer.Handled(); };
    options.noTablet = [](const std::string& m) { throw std::runtime_error("no tablet: " + m); };

    TestView view(std::move(options));
    // The screen is chosen before the first paint, so the reader starts on it.
    view.m_mode.store(vellum::TestMode(mode));
    view.resize(1920, 1040);
    view.show();
    Pump([&] { return view.IsLaidOut(); }, 2000);
    if (!view.IsLaidOut()) view.InvalidateAndPaint({0, 0, 1920, 1040});
    Pump([&] { return timer.handled_.load(std::memory_order_acquire) >= packets; },
         60000.0 + packets * 8.0);
    const int handled = timer.handled_.load(std::memory_order_acquire);
    view.StopReader();

    state.counters["packets"] = handled;
    state.counters["handle_p50_us"] = Percentile(timer.samples_, 0.5);
    state.counters["handle_p99_us"] = Percentile(timer.samples_, 0.99);
  }
}
BENCHMARK(BM_ScreenPackets)
    ->ArgNames({"mode", "packets"})
    ->Args({1, 5000})
    ->Args({3, 5000})
    ->Args({4, 5000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
