#include "app/MonitorCommand.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "capture/CaptureFlushTicker.h"
#include "tablet/Detection.h"
#include "tablet/LineStats.h"

namespace vellum {
namespace {

std::atomic<bool>* g_stop = nullptr;
Waker* g_waker = nullptr;
std::atomic<int64_t> g_firstSignalNs{0};
static_assert(std::atomic<int64_t>::is_always_lock_free);

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);  // async-signal-safe
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

extern "C" void OnStopSignal(int) {
  const int64_t now = MonotonicNs();
  if (g_stop->load(std::memory_order_relaxed)) {
    // One request often arrives twice: `timeout` and some shells signal the process and then its
    // group. Only a later one means the user has lost patience with the shutdown.
    if (now - g_firstSignalNs.load(std::memory_order_relaxed) >= kRepeatedStopSignalNs) _exit(130);
    return;
  }
  g_firstSignalNs.store(now, std::memory_order_relaxed);
  g_stop->store(true, std::memory_order_relaxed);
  g_waker->Wake();  // a write(2): safe here
}

// --stats: the line's figures on `err` once a second, from a thread of its own (the reader may
// sleep for as long as the line is quiet). It also asks the port for its error counts, which
// the port allows while the reader reads; it is gone before the port closes.
class StatsPrinter {
 public:
  StatsPrinter(const LineStats& stats, const IPort& port, int packetLength, std::ostream& err)
      : stats_(stats), port_(port), packetLength_(packetLength), err_(err), thread_([this] {
          Run();
        }) {}
  ~StatsPrinter() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  StatsPrinter(const StatsPrinter&) = delete;
  StatsPrinter& operator=(const StatsPrinter&) = delete;

 private:
  void Run() {
    auto next = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      next += std::chrono::seconds(1);
      if (wake_.wait_until(lock, next, [this] { return done_; })) return;
      LineFigures figures = stats_.Figures(port_.NowUs());
      figures.lineErrors = port_.LineErrors();
      err_ << FormatLineFigures(figures, packetLength_) << '\n' << std::flush;
    }
  }

  const LineStats& stats_;
  const IPort& port_;
  const int packetLength_;
  std::ostream& err_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace

PacketPrinter::PacketPrinter(std::ostream& out, CaptureRecorder* recorder, Clock clock,
                             std::atomic<bool>* stopOnOutputError)
    : out_(out),
      recorder_(recorder),
      clock_(std::move(clock)),
      stopOnOutputError_(stopOnOutputError) {}

void PacketPrinter::OnBytes(const uint8_t* bytes, size_t count) {
  const int64_t now = clock_();
  if (!started_) {
    started_ = true;
    startUs_ = now;
  }
  lastUs_ = now > startUs_ ? now - startUs_ : 0;
  if (recorder_) recorder_->RecordAt(now, CaptureEvent::kRead, bytes, count);
}

void PacketPrinter::OnTabletEvent(const TabletEvent& e) {
  ++packets_;
  // One flush per line: a script reading a pipe sees each packet as it comes.
  out_ << lastUs_ << ' ' << e.code << ' ' << e.x << ' ' << e.y << ' ' << e.pressure << '\n'
       << std::flush;
  if (!out_ && stopOnOutputError_) stopOnOutputError_->store(true, std::memory_order_relaxed);
}

int RunMonitorCommand(IPort& port, const MonitorSetup& setup, std::ostream& out, std::ostream& err,
                      std::atomic<bool>& stop) {
  const TabletInfo info = ScanPorts(port);
  if (info.port == 0) {
    err << ChooseNoTabletMessage(setup.paths) << '\n';
    return 1;
  }
  const std::string& path = setup.paths.Path(int(info.port));
  err << "Tablet found on COM" << info.port << " (" << path << "): " << info.packetLength
      << "-byte tablet, range " << info.maxX << " x " << info.maxY << '\n';

  const bool recording = !setup.recordPath.empty();
  CaptureRecorder recorder(setup.clock);
  if (recording) {
    const std::string error = recorder.Open(setup.recordPath);
    if (!error.empty()) {
      err << "cannot record: " << error << '\n';
      return 1;
    }
    recorder.SetHeader(CaptureHeaderFor(info, path));
  }
  if (!OpenTabletPort(port, info)) {
    err << "COM" << info.port << " could not be opened again\n";
    return 1;
  }

  // The client area is the tablet itself; the lines print the tablet's own counts anyway.
  ReaderConfig config;
  config.width = info.maxX;
  config.height = info.maxY;
  config.maxX = info.maxX;
  config.maxY = info.maxY;
  config.packetLength = info.packetLength;
  LineStats lineStats;
  config.stats = &lineStats;
  PacketPrinter printer(out, recording ? &recorder : nullptr, setup.clock, &stop);
  {
    std::unique_ptr<CaptureFlushTicker> ticker;
    if (recording) ticker = std::make_unique<CaptureFlushTicker>(recorder);
    std::unique_ptr<StatsPrinter> statsPrinter;
    if (setup.stats) {
      statsPrinter = std::make_unique<StatsPrinter>(lineStats, port, info.packetLength, err);
    }
    RunReader(port, config, printer, stop, setup.waker, &printer);
  }
  // The reader also ends on a hang-up, without a word; the recording is complete either way.
  if (!stop.load(std::memory_order_relaxed)) err << "The tablet's line was hung up.\n";
  if (!out) err << "Standard output failed; monitor stopped.\n";
  LineSummary summary = lineStats.Summary();
  summary.lineErrors = port.LineErrors();
  err << "Summary: " << FormatLineSummary(summary) << '\n';
  port.Close();
  recorder.Close();
  if (!recorder.Error().empty()) {
    err << "recording " << setup.recordPath << " failed: " << recorder.Error() << '\n';
    return 1;
  }
  return 0;
}

void InstallMonitorStopSignals(std::atomic<bool>& stop, Waker& waker) {
  g_stop = &stop;
  g_waker = &waker;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;  // standard output must not fail half-way through a line
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed pipe shows as a failed write, which stops the monitor with its recording complete.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace vellum
