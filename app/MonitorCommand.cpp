#include "app/MonitorCommand.h"

#include <signal.h>

#include <chrono>
#include <memory>

#include "app/StopSignals.h"
#include "base/Ticker.h"
#include "capture/CaptureRecorder.h"
#include "tablet/Detection.h"
#include "tablet/LineStats.h"
#include "tablet/LostTablet.h"

namespace vellum {

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
  err << NoticeLines(port.LatencyNotice());

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
    // The recording's own flushes only run when bytes arrive; a quiet line would leave its last
    // reads in memory.
    std::unique_ptr<Ticker> flushes;
    if (recording) {
      flushes =
          std::make_unique<Ticker>(std::chrono::microseconds(CaptureRecorder::kFlushIntervalUs),
                                   [&recorder] { recorder.Flush(); });
    }
    // The port allows asking for its error counts while the reader reads; the ticker is gone
    // before the port closes.
    std::unique_ptr<Ticker> figures;
    if (setup.stats) {
      figures = std::make_unique<Ticker>(std::chrono::seconds(1), [&] {
        LineFigures now = lineStats.Figures(port.NowUs());
        now.lineErrors = port.LineErrors();
        err << FormatLineFigures(now, info.packetLength) << '\n' << std::flush;
      });
    }
    RunReader(port, config, printer, stop, setup.waker, &printer);
  }
  // The reader also ends when a read fails: the tablet is lost. The recording is complete either
  // way.
  const bool lost = !stop.load(std::memory_order_relaxed);
  if (lost) {
    err << "Tablet on COM" << info.port << " (" << path
        << ") lost: " << LostTabletReason(port.ReadFailure(), port.LastError(), DeviceGone(path))
        << '\n';
  }
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
  return lost ? 1 : 0;
}

void InstallMonitorStopSignals(std::atomic<bool>& stop, Waker& waker) {
  InstallStopSignals(stop, waker, {SIGINT, SIGTERM});
  // A closed pipe shows as a failed write, which stops the monitor with its recording complete.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace vellum
