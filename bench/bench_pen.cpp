// `vellum --pen`'s part of a stroke's latency, and what a quiet tablet costs it. Prints one
// "key value" line per figure (scripts/bench.sh puts them in the performance table):
//   pen_latency_p50_us / _p99_us / _max_us
//                      from the write of a packet's last byte to the pty (the moment before the
//                      call) to the return of the write(2) that hands its evdev frame over, at
//                      the line rate, bytes written one at a time 1.146 ms apart as a UART
//                      delivers them; the reader, the pen sink and the frame maker as the command
//                      runs them. The frame goes to a pipe that another thread drains (this
//                      machine has no /dev/uinput; uinput's write is the same kind of copy into
//                      the kernel and a wake-up of the readers)
//   pen_handle_p50_us / _p99_us
//                      the program's own share of that: from the return of the read(2) of the
//                      packet's last byte to the return of the frame's write(2)
//   pen_idle_wakeups_per_s
//                      the reader thread's context switches a second once the tool has left
//                      proximity and the line is quiet
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/TimedLine.h"
#include "pen/PenSink.h"
#include "tablet/Reader.h"

namespace {

using vellum::bench::MonotonicUs;

constexpr int kPackets = 750;  // 6 s at 124 packets a second

// Packets carry their number in X and Y; the tip is down with pressure, so every frame is full.
vellum::emu::Pen IdPen(int i) {
  return {1, 500 + i % 4000, 1000 + i / 4000, 300};
}
int IdOf(int32_t x, int32_t y) {
  return (y - 1000) * 4000 + (x - 500);
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

// The device: each frame one write(2) into a pipe, stamped when the call returns.
class PipeDevice final : public vellum::pen::IFrameDevice {
 public:
  PipeDevice() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    drain_ = std::thread([this] {
      char buf[4096];
      while (::read(fds_[0], buf, sizeof buf) > 0) {
      }
    });
  }
  ~PipeDevice() override {
    ::close(fds_[1]);
    drain_.join();
    ::close(fds_[0]);
  }
  bool WriteFrame(const vellum::pen::Event* events, size_t count) override {
    // The kernel's struct input_event on 64-bit Linux: 16 bytes of time, type, code, value.
    struct {
      int64_t sec, usec;
      uint16_t type, code;
      int32_t value;
    } out[vellum::pen::Frame::kCapacity] = {};
    for (size_t i = 0; i < count; ++i) {
      out[i].type = events[i].type;
      out[i].code = events[i].code;
      out[i].value = events[i].value;
    }
    const bool ok = ::write(fds_[1], out, count * sizeof out[0]) == ssize_t(count * sizeof out[0]);
    writtenUs = MonotonicUs();
    return ok;
  }
  double writtenUs = 0;

 private:
  int fds_[2] = {-1, -1};
  std::thread drain_;
};

// The pen sink as the command runs it, noting when each packet's last byte was read and when
// its frame was written.
class TimedSink final : public vellum::ITabletSink, public vellum::IByteTap {
 public:
  TimedSink(vellum::pen::PenSink& sink, PipeDevice& device) : sink_(sink), device_(device) {}
  void OnBytes(const uint8_t*, size_t) override { readUs_ = MonotonicUs(); }
  void OnTabletEvent(const vellum::TabletEvent& e) override {
    sink_.OnTabletEvent(e);
    std::lock_guard<std::mutex> lock(mutex_);
    done_.push_back({IdOf(e.x, e.y), readUs_, device_.writtenUs});
  }
  struct Done {
    int id;
    double readUs;
    double us;
  };
  std::vector<Done> Taken() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_.size();
  }

 private:
  vellum::pen::PenSink& sink_;
  PipeDevice& device_;
  double readUs_ = 0;
  std::mutex mutex_;
  std::vector<Done> done_;
};

// Voluntary and involuntary context switches of one thread of this process.
long ContextSwitches(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
  long total = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.find("ctxt_switches:") != std::string::npos) {
      total += std::stol(line.substr(line.find(':') + 1));
    }
  }
  return total;
}

void WaitFor(const std::function<bool()>& done, double timeoutMs) {
  const double end = MonotonicUs() + timeoutMs * 1000;
  while (!done() && MonotonicUs() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void Run() {
  vellum::bench::WrittenTimes sentAt(kPackets);
  vellum::emu::Stream stream;
  for (int i = 0; i < kPackets; ++i) vellum::emu::AppendPacket(stream, IdPen(i), 7);
  vellum::bench::TimedLine line(
      std::move(stream),
      [&sentAt](const vellum::TabletPacket& p, double at) { sentAt.Note(IdOf(p.x, p.y), at); });

  vellum::PortPaths paths;
  paths.Set(1, line.Path());
  vellum::SerialPort port(paths);
  if (port.Open(1) != vellum::OpenResult::kOk)
    throw std::runtime_error("open: " + port.LastError());
  port.Write(&vellum::kProbeEndByte, 1);  // the emulated tablet streams once it sees DC1

  PipeDevice device;
  std::atomic<bool> stop{false};
  const vellum::pen::TabletGeometry geometry{7, 5000, 3750};
  vellum::pen::PenSink pen(geometry, vellum::pen::Tool::kPressureStylus, device, nullptr, stop);
  TimedSink sink(pen, device);
  vellum::ReaderConfig config{5000, 3750, 5000, 3750, 7};
  config.quiet = &pen;
  vellum::Waker waker;
  std::atomic<pid_t> readerTid{0};
  const double startUs = MonotonicUs();
  std::thread reader([&] {
    readerTid = ::gettid();
    vellum::RunReader(port, config, sink, stop, &waker, &sink);
  });

  WaitFor([&] { return sink.Count() >= size_t(kPackets); }, kPackets * 8.0 * 2 + 5000);
  // The tool leaves proximity a few packet times after the last one; then the line is quiet.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const long switches0 = ContextSwitches(readerTid);
  const double idle0 = MonotonicUs();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const double idleSeconds = (MonotonicUs() - idle0) / 1e6;
  const long idleSwitches = ContextSwitches(readerTid) - switches0;

  stop = true;
  waker.Wake();
  reader.join();
  port.Close();
  const bool leftProximity = pen.QuietDeadlineUs() < 0;

  std::vector<double> latency, handle;
  for (const TimedSink::Done& d : sink.Taken()) {
    const double written = sentAt.Us(d.id);
    if (written >= startUs) latency.push_back(d.us - written);
    handle.push_back(d.us - d.readUs);
  }
  if (!leftProximity) throw std::runtime_error("the tool did not leave proximity");
  Print("pen_latency_packets", double(latency.size()));
  Print("pen_latency_p50_us", Percentile(latency, 0.5));
  Print("pen_latency_p99_us", Percentile(latency, 0.99));
  Print("pen_latency_max_us", Percentile(latency, 1.0));
  Print("pen_handle_p50_us", Percentile(handle, 0.5));
  Print("pen_handle_p99_us", Percentile(handle, 0.99));
  Print("pen_idle_wakeups_per_s", double(idleSwitches) / idleSeconds);
}

}  // namespace

int main() {
  try {
    Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_pen: %s\n", e.what());
    return 1;
  }
  return 0;
}
