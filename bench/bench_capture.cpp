// What recording (`--record`) adds to the reader's time per packet. Measured twice: reading a
// pty through the real port (system calls included, as in the program) and reading from memory
// (the reader's own work only, the worst case for the relative cost). Drawing is left out of
// both, which makes the recorder's share look larger than it is in the program.
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ReaderFakes.h"
#include "base/Ticker.h"
#include "capture/CaptureRecorder.h"
#include "tablet/Reader.h"
#include "tests/tablet/Pty.h"
#include "tools/emulator/Stream.h"

namespace {

using namespace vellum;
using vellum::bench::MemoryPort;
using vellum::bench::NullSink;

std::vector<uint8_t> Packets(int length, int packets) {
  emu::Stream s;
  for (int i = 0; i < packets; ++i) {
    emu::AppendPacket(s, emu::Pen{i & 7, (i * 37) % 5000, (i * 53) % 3750, i % 512}, length);
  }
  std::vector<uint8_t> bytes;
  for (const emu::OutByte& b : s) bytes.push_back(b.byte);
  return bytes;
}

// The real port on the slave side of a raw pty, as the program reads a tablet.
class PtyLine {
 public:
  PtyLine() : port_(PathsFor(pty_.path())) {
    open_ = pty_.ok() && port_.Open(1) == OpenResult::kOk;
  }
  bool ok() const { return open_; }
  SerialPort& port() { return port_; }
  bool Send(const std::vector<uint8_t>& bytes) {
    pty_.Send(bytes);
    return pty_.ok();
  }

 private:
  static PortPaths PathsFor(const std::string& path) {
    PortPaths paths;
    paths.Set(1, path);
    return paths;
  }
  test::Pty pty_;  // first: the port closes before the master does
  SerialPort port_;
  bool open_ = false;
};

// A recorder as the program runs one: the window (or the monitor) writes it out every second from
// another thread, so the reader only stamps and formats.
class Recording {
 public:
  explicit Recording(const std::string& path) {
    if (!recorder_.Open(path).empty()) return;
    recorder_.SetHeader(CaptureHeaderFor(TabletInfo{1, 7, 5000, 3750}, "/dev/pts/0"));
    ticker_ = std::make_unique<Ticker>(std::chrono::microseconds(CaptureRecorder::kFlushIntervalUs),
                                       [this] { recorder_.Flush(); });
  }
  ~Recording() {
    ticker_.reset();
    recorder_.Close();
  }
  CaptureRecorder* get() { return ticker_ ? &recorder_ : nullptr; }

 private:
  CaptureRecorder recorder_;
  std::unique_ptr<Ticker> ticker_;  // set once the file is open
};

std::unique_ptr<Recording> MaybeRecorder(bool record, const std::string& path) {
  return record ? std::make_unique<Recording>(path) : nullptr;
}

// What one read costs the reader when it records, as at a real line's pace: the window's timer
// does the writing, so the reader only stamps the byte and adds it to the batch. The writing out
// (done here between batches, untimed) is on another thread in the program.
void BM_RecordOneRead(benchmark::State& state) {
  CaptureRecorder recorder;
  if (!recorder.Open("/dev/null").empty()) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  recorder.SetHeader(CaptureHeaderFor(TabletInfo{1, 7, 5000, 3750}, "/dev/pts/0"));
  constexpr int kBatch = 16384;  // a quarter of kWriteOutRecords: never due for a write
  const std::vector<uint8_t> bytes = Packets(7, kBatch / 7 + 1);
  int i = 0;
  for (auto _ : state) {
    recorder.OnBytes(&bytes[size_t(i)], 1);
    if (++i == kBatch) {
      state.PauseTiming();
      recorder.Flush();
      i = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordOneRead);

// Arg: 0 plain, 1 recording (to /dev/null: millions of packets a second would fill a disk).
void BM_ReaderFromMemory(benchmark::State& state) {
  constexpr int kPackets = 4096;
  const std::vector<uint8_t> bytes = Packets(7, kPackets);
  MemoryPort port;
  port.Add(bytes);
  NullSink target;
  const ReaderConfig config{1920, 1080, 5000, 3750, 7};
  auto recorder = MaybeRecorder(state.range(0) == 1, "/dev/null");
  if (recorder && !recorder->get()) state.SkipWithError("cannot open /dev/null");
  for (auto _ : state) {
    port.Rewind();
    target.stopAfter = kPackets + 1;  // the failing read at the end stops it
    RunReader(port, config, target, target.stop, nullptr, recorder ? recorder->get() : nullptr);
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
}
BENCHMARK(BM_ReaderFromMemory)->ArgName("record")->Arg(0)->Arg(1);

// Arg: 0 plain, 1 recording to a file in the temporary directory.
void BM_ReaderFromPty(benchmark::State& state) {
  PtyLine line;
  if (!line.ok()) {
    state.SkipWithError("cannot open a pty");
    return;
  }
  SerialPort& port = line.port();
  // What fits in the pty at once, in whole packets.
  constexpr int kPackets = 256;
  const std::vector<uint8_t> bytes = Packets(7, kPackets);
  NullSink target;
  const ReaderConfig config{1920, 1080, 5000, 3750, 7};
  const std::string path = std::string(P_tmpdir) + "/vellum-bench-capture.txt";
  auto recorder = MaybeRecorder(state.range(0) == 1, path);
  Waker waker;
  for (auto _ : state) {
    state.PauseTiming();
    if (!line.Send(bytes)) {
      state.SkipWithError("cannot write to the pty");
      break;
    }
    // Wait until the line discipline has all of it, so the reader never waits for the kernel.
    int pending = 0;
    for (int spins = 0; spins < 10000 && pending < int(bytes.size()); ++spins) {
      ::ioctl(port.PollFd(), FIONREAD, &pending);
      if (pending < int(bytes.size())) ::usleep(50);
    }
    target.stop.store(false);
    target.stopAfter = kPackets;
    state.ResumeTiming();
    RunReader(port, config, target, target.stop, &waker, recorder ? recorder->get() : nullptr);
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
  recorder.reset();
  std::remove(path.c_str());
}
BENCHMARK(BM_ReaderFromPty)->ArgName("record")->Arg(0)->Arg(1);

// As the program meets a tablet: bytes arrive one at a time, so each is preceded by an empty read
// and a wait in poll(). A writer thread paces them at eight times 9600 baud (143 us a byte) to
// keep the run short; the reader's own CPU time per packet is what counts (the CPU column).
// Arg: 0 plain, 1 recording to a file in the temporary directory.
void BM_ReaderPaced(benchmark::State& state) {
  PtyLine line;
  if (!line.ok()) {
    state.SkipWithError("cannot open a pty");
    return;
  }
  SerialPort& port = line.port();
  constexpr int kPackets = 64;
  constexpr auto kByteGap = std::chrono::microseconds(143);
  const std::vector<uint8_t> bytes = Packets(7, kPackets);
  NullSink target;
  const ReaderConfig config{1920, 1080, 5000, 3750, 7};
  const std::string path = std::string(P_tmpdir) + "/vellum-bench-capture-paced.txt";
  auto recorder = MaybeRecorder(state.range(0) == 1, path);
  Waker waker;
  for (auto _ : state) {
    target.stop.store(false);
    target.stopAfter = kPackets;
    std::thread writer([&] {
      auto due = std::chrono::steady_clock::now();
      for (uint8_t b : bytes) {
        due += kByteGap;
        std::this_thread::sleep_until(due);
        if (!line.Send({b})) break;
      }
    });
    RunReader(port, config, target, target.stop, &waker, recorder ? recorder->get() : nullptr);
    writer.join();
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
  recorder.reset();
  std::remove(path.c_str());
}
BENCHMARK(BM_ReaderPaced)->ArgName("record")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
