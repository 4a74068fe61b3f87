#pragma once
// A sink for benchmarks of the reader that does nothing, so that only the link's own work is
// timed; the bytes come from the tests' in-memory line.
#include <benchmark/benchmark.h>

#include <atomic>

#include "tablet/Reader.h"
#include "tests/support/MemoryPort.h"

namespace vellum::bench {

using test::MemoryPort;

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
