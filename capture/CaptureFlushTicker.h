#pragma once
// Writes a recording out once a second from a thread of its own. The recording thread's own
// flushes only run when bytes arrive, so a quiet line would otherwise leave its last reads in
// memory. Programs with an event loop use a timer instead.

#include <condition_variable>
#include <mutex>
#include <thread>

#include "capture/CaptureRecorder.h"

namespace vellum {

class CaptureFlushTicker {
 public:
  explicit CaptureFlushTicker(CaptureRecorder& recorder);
  ~CaptureFlushTicker();  // stops at once, without a last flush (the recorder's Close does that)
  CaptureFlushTicker(const CaptureFlushTicker&) = delete;
  CaptureFlushTicker& operator=(const CaptureFlushTicker&) = delete;

 private:
  void Run();

  CaptureRecorder& recorder_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace vellum
