#include "capture/CaptureFlushTicker.h"

#include <chrono>

namespace vellum {

CaptureFlushTicker::CaptureFlushTicker(CaptureRecorder& recorder)
    : recorder_(recorder), thread_([this] { Run(); }) {}

CaptureFlushTicker::~CaptureFlushTicker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void CaptureFlushTicker::Run() {
  const auto interval = std::chrono::microseconds(CaptureRecorder::kFlushIntervalUs);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval, [this] { return done_; })) recorder_.Flush();
}

}  // namespace vellum
