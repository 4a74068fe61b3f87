// The reader's cost per packet against the line's budget: at 9600 baud a 7-byte tablet sends a
// packet every 8.0 ms and a 5-byte one every 5.7 ms, drawing included. The drawing is not here;
// this is what the link itself takes of that budget. And the probe's time per port, which the
// user waits through before any window appears.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <vector>

#include "bench/ReaderFakes.h"
#include "tablet/Detection.h"
#include "tablet/LineStats.h"
#include "tablet/Reader.h"
#include "tools/emulator/PtyTablet.h"

namespace {

using namespace vellum;
using bench::MemoryPort;
using bench::NullSink;

std::vector<uint8_t> Stream(int length, int packets) {
  emu::Stream s;
  for (int i = 0; i < packets; ++i) {
    emu::AppendPacket(s, emu::Pen{i & 7, (i * 37) % 5000, (i * 53) % 3750, i % 512}, length);
  }
  std::vector<uint8_t> bytes;
  for (const emu::OutByte& b : s) bytes.push_back(b.byte);
  return bytes;
}

// The reader loop end to end (read, assemble, decode, scale, feed the line's figures, hand over)
// per packet.
// Arg: packet length.
void BM_ReaderLoop(benchmark::State& state) {
  const int length = int(state.range(0));
  constexpr int kPackets = 4096;
  const std::vector<uint8_t> bytes = Stream(length, kPackets);
  MemoryPort port;
  port.Add(bytes);
  NullSink sink;
  LineStats stats;
  const ReaderConfig config{1920, 1080, 5000, 3750, length, &stats};
  const std::atomic<bool> stop{false};
  for (auto _ : state) {
    port.Rewind();
    RunReader(port, config, sink, stop, nullptr);
  }
  state.SetItemsProcessed(state.iterations() * kPackets);
  state.SetBytesProcessed(state.iterations() * int64_t(bytes.size()));
}
BENCHMARK(BM_ReaderLoop)->ArgName("length")->Arg(7)->Arg(5);

// ScanPorts with the emulator on COM1 and COM2..COM4 missing: what start-up costs.
// Arg: 0 a 7-byte tablet, 1 a 5-byte tablet, 2 a silent device (no tablet).
void BM_ScanPorts(benchmark::State& state) {
  emu::EmulatorConfig config;
  config.packetLength = state.range(0) == 1 ? 5 : 7;
  config.fault = state.range(0) == 2 ? emu::Fault::kSilent : emu::Fault::kNone;
  emu::PtyTablet tablet(config, {});
  PortPaths paths;
  paths.Set(1, tablet.Path());
  for (int n = 2; n <= 4; ++n) paths.Set(n, "/nonexistent/vellum-bench-com" + std::to_string(n));
  SerialPort port(paths);
  for (auto _ : state) {
    const TabletInfo found = ScanPorts(port);
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_ScanPorts)
    ->ArgName("device")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
