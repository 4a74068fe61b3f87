#pragma once
// A reader sink that keeps every event it is handed, for the tests and the fuzz targets.
#include <atomic>
#include <vector>

#include "tablet/Reader.h"

namespace vellum::test {

class RecordingSink final : public ITabletSink {
 public:
  void OnTabletEvent(const TabletEvent& event) override {
    events.push_back(event);
    count.fetch_add(1, std::memory_order_release);
  }
  std::vector<TabletEvent> events;  // the reader thread's until it has ended
  std::atomic<int> count{0};        // any thread may watch it
};

}  // namespace vellum::test
