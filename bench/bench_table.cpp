// The in-process half of the performance table (scripts/bench.sh prints the table). Prints one
// "key value" line per figure:
//   detect_*_ms        ScanPorts over real ptys: a 7-byte tablet on COM1 with COM2..COM4 absent,
//                      no device anywhere, a silent device on every port (median of a few runs)
//   packet_mN_p50_us / _p99_us / _cpu_p99_us
//                      the reader's time per packet in mode N with the whole view behind it
//                      (1920x1080, offscreen): from the read of the packet's last byte to the end
//                      of its handling, decoding and drawing included, over the built-in show;
//                      _cpu_ on the thread's CPU clock, which other processes do not inflate
//   latency_p50_us / _p99_us
//                      from the write of a packet's last byte to the pty (the moment before the
//                      call) to the end of its handling by the running reader thread, at the
//                      line rate, bytes written one at a time 1.146 ms apart as a UART delivers
//                      them
//   cpu_line_pct, cpu_idle_pct
//                      the reader thread's CPU (its own clock) while packets arrive at the line
//                      rate, and while the line is quiet, in percent of one core
// The tone is silent: the Keystroke and Shake beeps wait out their length on purpose, which is
// not the reader's work.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/MemoryLine.h"
#include "bench/TimedLine.h"
#include "tablet/Detection.h"
#include "tests/support/TestView.h"
#include "tools/emulator/Emulator.h"
#include "tools/emulator/PtyTablet.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

// Packets of the line-rate run carry their number in X and Y.
vellum::emu::Pen IdPen(int i) {
  return {1, 500 + i % 4000, 1000 + i / 4000, 300};
}
int IdOf(const vellum::TabletPacket& p) {
  return (p.y - 1000) * 4000 + (p.x - 500);
}

double NowUs() {
  return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count();
}

double ThreadCpuNowUs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

void Print(const char* key, double value) {
  std::printf("%s %.3f\n", key, value);
  std::fflush(stdout);
}

std::string Absent(int n) {
  return "/nonexistent/vellum-bench-com" + std::to_string(n);
}

// ---- detection ----

// `expected`: the port the scan must find (0: none), so that a broken set-up is not timed.
double MedianScanMs(const vellum::PortPaths& paths, int runs, uint32_t expected) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    vellum::SerialPort port(paths);
    const double t0 = NowUs();
    const vellum::TabletInfo found = vellum::ScanPorts(port);
    ms.push_back((NowUs() - t0) / 1000.0);
    if (found.port != expected)
      throw std::runtime_error("the scan found COM" + std::to_string(found.port));
  }
  return Percentile(ms, 0.5);
}

void Detection() {
  {
    vellum::emu::EmulatorConfig config;
    vellum::emu::PtyTablet tablet(config, {});
    vellum::PortPaths paths;
    paths.Set(1, tablet.Path());
    for (int n = 2; n <= 4; ++n) paths.Set(n, Absent(n));
    Print("detect_tablet_com1_ms", MedianScanMs(paths, 7, 1));
  }
  {
    vellum::PortPaths paths;
    for (int n = 1; n <= 4; ++n) paths.Set(n, Absent(n));
    Print("detect_none_ms", MedianScanMs(paths, 7, 0));
  }
  {
    vellum::emu::EmulatorConfig config;
    config.fault = vellum::emu::Fault::kSilent;
    std::vector<std::unique_ptr<vellum::emu::PtyTablet>> silent;
    vellum::PortPaths paths;
    for (int n = 1; n <= 4; ++n) {
      silent.push_back(std::make_unique<vellum::emu::PtyTablet>(config, vellum::emu::Stream{}));
      paths.Set(n, silent.back()->Path());
    }
    Print("detect_silent_all_ms", MedianScanMs(paths, 3, 0));
  }
}

// ---- the view ----

class SilentTone final : public platform::ITone {
 public:
  void Beep(int, int) override {}
};

// Stamps each packet when the reader reads its last byte and when its handling ends. Packet ids
// ride in the coordinates (see IdPacket) so that the writer's times can be matched.
class Stopwatch final : public vellum::IByteTap {
 public:
  void OnBytes(const uint8_t* bytes, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      if (assembler_.Push(bytes[i]) != vellum::PacketAssembler::Step::kComplete) continue;
      id_ = IdOf(assembler_.Packet());
      readUs_ = NowUs();
      readCpuUs_ = ThreadCpuNowUs();
    }
  }
  void Handled() {
    const double now = NowUs();
    handleUs.push_back(now - readUs_);
    handleCpuUs.push_back(ThreadCpuNowUs() - readCpuUs_);
    handled.push_back({id_, now});
    count.fetch_add(1, std::memory_order_release);
  }
  void Clear() {
    handleUs.clear();
    handleCpuUs.clear();
    handled.clear();
    count.store(0);
  }
  struct Done {
    int id;
    double us;
  };
  std::vector<double> handleUs;     // written by the thread that runs the reader
  std::vector<double> handleCpuUs;  // the same spans on that thread's CPU clock
  std::vector<Done> handled;
  std::atomic<int> count{0};

 private:
  vellum::PacketAssembler assembler_{7};
  int id_ = -1;
  double readUs_ = 0;
  double readCpuUs_ = 0;
};

std::unique_ptr<TestView> MakeView(const std::string& com1, Stopwatch& watch, SilentTone& tone) {
  ViewOptions options;
  options.ports.Set(1, com1);
  for (int n = 2; n <= 4; ++n) options.ports.Set(n, Absent(n));
  options.screenWidth = kScreenWidth;
  options.screenHeight = kScreenHeight;
  options.movePointer = false;
  options.tone = &tone;
  options.tap = &watch;
  options.packetHandled = [&watch] { watch.Handled(); };
  options.noTablet = [](const std::string& m) { throw std::runtime_error("no tablet: " + m); };
  auto view = std::make_unique<TestView>(std::move(options));
  view->resize(kScreenWidth, kScreenHeight - 40);
  return view;
}

void PerPacket() {
  SilentTone tone;
  Stopwatch watch;
  std::unique_ptr<TestView> view;
  {
    vellum::emu::EmulatorConfig config;
    vellum::emu::PtyTablet tablet(config, {});
    view = MakeView(tablet.Path(), watch, tone);
    view->m_hPort->Close();  // the reader runs here, on this thread, over the show's bytes
  }
  view->show();
  view->InvalidateAndPaint({0, 0, view->width(), view->height()});
  QCoreApplication::processEvents();

  std::vector<uint8_t> bytes;
  const vellum::emu::Stream show = vellum::emu::DemoStream(view->m_maxX, view->m_maxY, 7);
  while (bytes.size() < 7 * 6000) {
    for (const vellum::emu::OutByte& b : show) bytes.push_back(b.byte);
  }
  const vellum::ReaderConfig config{view->ClientRect().right, view->ClientRect().bottom,
                                    view->m_maxX, view->m_maxY, 7};
  for (uint32_t mode = 0; mode <= 4; ++mode) {
    view->m_mode.store(vellum::TestMode(mode));
    view->InvalidateAndPaint({0, 0, view->width(), view->height()});
    QCoreApplication::processEvents();
    watch.Clear();
    vellum::bench::MemoryPort port;
    port.Add(bytes);
    const std::atomic<bool> stop{false};
    vellum::RunReader(port, config, *view, stop, nullptr, &watch);
    QCoreApplication::processEvents();
    const std::string key = "packet_m" + std::to_string(mode);
    Print((key + "_p50_us").c_str(), Percentile(watch.handleUs, 0.5));
    Print((key + "_p99_us").c_str(), Percentile(watch.handleUs, 0.99));
    Print((key + "_cpu_p99_us").c_str(), Percentile(watch.handleCpuUs, 0.99));
  }
}

// ---- the running reader at the line rate ----

// The pen touches with pressure, so every packet draws a trace segment in mode 0.
vellum::emu::Stream IdStream(int packets) {
  vellum::emu::Stream s;
  for (int i = 0; i < packets; ++i) vellum::emu::AppendPacket(s, IdPen(i), 7);
  return s;
}

double ThreadCpuUs(std::thread& t) {
  clockid_t id;
  if (pthread_getcpuclockid(t.native_handle(), &id) != 0) return 0;
  timespec ts{};
  clock_gettime(id, &ts);
  return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

void PumpUntil(const std::function<bool()>& done, double timeoutMs) {
  const double end = NowUs() + timeoutMs * 1000;
  while (!done() && NowUs() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
}

void LineRate() {
  constexpr int kPackets = 750;  // 6 s at 124 packets a second
  SilentTone tone;
  Stopwatch watch;
  vellum::bench::WrittenTimes sentAt(kPackets);
  vellum::bench::TimedLine line(
      IdStream(kPackets),
      [&sentAt](const vellum::TabletPacket& p, double at) { sentAt.Note(IdOf(p), at); });
  std::unique_ptr<TestView> view = MakeView(line.Path(), watch, tone);
  view->show();
  PumpUntil([&] { return view->IsLaidOut(); }, 3000);
  if (!view->IsLaidOut()) view->InvalidateAndPaint({0, 0, view->width(), view->height()});
  const double readerStartUs = NowUs();

  // The first second settles start-up; CPU is taken over the packets after it.
  PumpUntil([&] { return watch.count.load(std::memory_order_acquire) >= 124; }, 5000);
  const double cpu0 = ThreadCpuUs(view->m_readerThread), wall0 = NowUs();
  const int from = watch.count.load(std::memory_order_acquire);
  PumpUntil([&] { return watch.count.load(std::memory_order_acquire) >= kPackets; },
            kPackets * 8.0 * 2 + 5000);
  const double cpuLine = ThreadCpuUs(view->m_readerThread) - cpu0, wallLine = NowUs() - wall0;
  const int to = watch.count.load(std::memory_order_acquire);

  const double cpu1 = ThreadCpuUs(view->m_readerThread), wall1 = NowUs();
  PumpUntil([] { return false; }, 2000);
  const double cpuIdle = ThreadCpuUs(view->m_readerThread) - cpu1, wallIdle = NowUs() - wall1;
  view->StopReader();

  std::vector<double> latency;
  // VELLUM_BENCH_LATENCY_LOG=FILE keeps every packet: id, written, handled (µs since the
  // reader started) and the latency, to see when the slow ones came.
  const char* logPath = std::getenv("VELLUM_BENCH_LATENCY_LOG");
  std::FILE* log = logPath ? std::fopen(logPath, "w") : nullptr;
  for (const Stopwatch::Done& d : watch.handled) {
    const double written = sentAt.Us(d.id);
    if (log) {
      std::fprintf(log, "%d %.0f %.0f %.0f\n", d.id, written - readerStartUs, d.us - readerStartUs,
                   d.us - written);
    }
    if (written >= readerStartUs) latency.push_back(d.us - written);
  }
  if (log) std::fclose(log);
  Print("latency_packets", double(latency.size()));
  Print("latency_min_us", Percentile(latency, 0));
  Print("latency_p50_us", Percentile(latency, 0.5));
  Print("latency_p99_us", Percentile(latency, 0.99));
  Print("line_packets_per_s", (to - from) / (wallLine / 1e6));
  Print("cpu_line_pct", 100.0 * cpuLine / wallLine);
  Print("cpu_idle_pct", 100.0 * cpuIdle / wallIdle);
}

}  // namespace

// Arguments: the parts to run (detect, packet, line); none runs all three.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const std::vector<std::string> parts(argv + 1, argv + argc);
  auto wanted = [&](const char* part) {
    return parts.empty() || std::find(parts.begin(), parts.end(), part) != parts.end();
  };
  try {
    if (wanted("detect")) Detection();
    if (wanted("packet")) PerPacket();
    if (wanted("line")) LineRate();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_table: %s\n", e.what());
    return 1;
  }
  return 0;
}
