#pragma once
// Calls a function at a fixed interval from a thread of its own, for programs without an event
// loop (the monitor): a recording's flush, the line's figures. The reader may sleep for as long
// as the line is quiet, so it cannot be the one to keep time.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vellum {

class Ticker {
 public:
  Ticker(std::chrono::microseconds interval, std::function<void()> tick);
  ~Ticker();  // stops at once, without a last tick
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;

 private:
  void Run();

  const std::chrono::microseconds interval_;
  const std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace vellum
