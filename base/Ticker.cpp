#include "base/Ticker.h"

#include <utility>

namespace vellum {

Ticker::Ticker(std::chrono::microseconds interval, std::function<void()> tick)
    : interval_(interval), tick_(std::move(tick)), thread_([this] { Run(); }) {}

Ticker::~Ticker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void Ticker::Run() {
  auto next = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    next += interval_;  // on the clock's beat, not drifting by the tick's own time
    if (wake_.wait_until(lock, next, [this] { return done_; })) return;
    tick_();
  }
}

}  // namespace vellum
