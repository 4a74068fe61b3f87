// Placeholder until the ALSA tone is built: waits the tone's length.
#include "platform/Tone.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {
class SilentTone : public ITone {
 public:
  void Beep(int, int durationMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
  }
};
}  // namespace
std::unique_ptr<ITone> MakeSystemTone() { return std::make_unique<SilentTone>(); }
}  // namespace platform
