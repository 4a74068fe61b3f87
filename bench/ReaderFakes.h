#pragma once
// Stand-ins for benchmarks of the reader: bytes from memory and a sink that does nothing, so
// that only the link's own work is timed.
#include <benchmark/benchmark.h>

#include <atomic>
#include <vector>

#include "bench/MemoryLine.h"
#include "tablet/Reader.h"

namespace vellum::bench {

// With `stopAfter` above 0 it sets `stop` once that many packets have been handled.
class NullSink : public ITabletSink {
 public:
  int stopAfter = 0;
  std::atomic<bool> stop{false};

  void OnTabletEvent(const TabletEvent& event) override {
    benchmark::DoNotOptimize(event);
    if (stopAfter > 0 && --stopAfter == 0) stop.store(true, std::memory_order_relaxed);
  }
};

}  // namespace vellum::bench
