#pragma once
// When what the reader drew may next be copied to the window: at most once a display frame.
// A request a frame or more after the last copy is shown at once, so a quiet line's first packet
// waits for nothing; one that comes sooner waits for the rest of the frame, and the requests
// made meanwhile join it. No Qt: the UI thread asks, with its own clock.
#include <cstdint>
#include <optional>

namespace vellum {

class FramePacer {
 public:
  explicit FramePacer(int64_t frameUs) : frameUs_(frameUs) {}
  void SetFrameUs(int64_t frameUs) { frameUs_ = frameUs; }
  int64_t FrameUs() const { return frameUs_; }
  // Microseconds from `nowUs` until the next copy may be made; 0: now.
  int64_t WaitUs(int64_t nowUs) const;
  void Presented(int64_t nowUs) { lastUs_ = nowUs; }

 private:
  int64_t frameUs_;
  std::optional<int64_t> lastUs_;
};

// One frame at a refresh rate in Hz. A rate a screen cannot have (0 where Qt does not know it,
// or beyond 20 to 500 Hz) counts as 60 Hz.
int64_t FrameUsForRate(double hz);

}  // namespace vellum
