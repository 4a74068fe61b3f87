#pragma once
#include <memory>

namespace platform {

// The platform's Beep(freq, ms): plays a tone and returns once it has played.
class ITone {
 public:
  virtual ~ITone() = default;
  virtual void Beep(int frequencyHz, int durationMs) = 0;
};

// ALSA tone; the device is opened once and kept. With no audio device it waits the length
// instead, without printing anything per beep.
std::unique_ptr<ITone> MakeSystemTone();

}  // namespace platform
