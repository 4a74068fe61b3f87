#include "view/FramePacer.h"

#include <cmath>

namespace vellum {

int64_t FramePacer::WaitUs(int64_t nowUs) const {
  if (!lastUs_) return 0;
  const int64_t since = nowUs - *lastUs_;
  // A clock that went back (it does not, but a test's may) waits a whole frame at most.
  if (since < 0) return frameUs_;
  return since >= frameUs_ ? 0 : frameUs_ - since;
}

int64_t FrameUsForRate(double hz) {
  if (!(hz >= 20.0 && hz <= 500.0)) hz = 60.0;
  return std::llround(1e6 / hz);
}

}  // namespace vellum
