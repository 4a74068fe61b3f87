// The platform tone over ALSA: a square wave of the asked frequency and length on the default
// playback device, returning once it has played. The device is opened on the first beep and
// kept. Without a usable device the call waits the tone's length, so callers keep their pace.
#include "platform/Tone.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

namespace platform {
namespace {

constexpr unsigned kRate = 48000;
constexpr int16_t kAmplitude = 8000;  // about a quarter of full scale: a beep, not a blast
constexpr unsigned kLatencyUs = 50000;

// ALSA prints its own diagnostics to stderr; a box without sound would print one per beep.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

class AlsaTone final : public ITone {
 public:
  ~AlsaTone() override {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
  }

  void Beep(int frequencyHz, int durationMs) override {
    if (durationMs <= 0) return;
    const auto start = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!opened_) Open();
      if (pcm_ != nullptr && !Play(frequencyHz, durationMs)) {
        // The device went away (unplugged, server gone): stay silent from now on.
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
      }
    }
    // Whatever happened above, the caller is held for the tone's length.
    const auto end = start + std::chrono::milliseconds(durationMs);
    if (std::chrono::steady_clock::now() < end) std::this_thread::sleep_until(end);
  }

 private:
  void Open() {
    opened_ = true;
    snd_lib_error_set_handler(&SilentAlsaError);
    snd_pcm_t* pcm = nullptr;
    // Non-blocking open: a device held by someone else must not stall the reader.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                           kLatencyUs) < 0) {
      snd_pcm_close(pcm);
      return;
    }
    pcm_ = pcm;
  }

  // Writes the whole tone and waits until it has been played. False when the device failed.
  bool Play(int frequencyHz, int durationMs) {
    if (snd_pcm_prepare(pcm_) < 0) return false;
    const int64_t frames = int64_t(kRate) * durationMs / 1000;
    // Half a period in frames; a frequency out of the audible range plays silence.
    const int64_t half = (frequencyHz > 0 && frequencyHz < int(kRate) / 2)
                             ? std::max<int64_t>(1, int64_t(kRate) / (2 * int64_t(frequencyHz)))
                             : 0;
    std::array<int16_t, 1024> chunk{};
    int64_t done = 0;
    int recoveries = 0;
    while (done < frames) {
      const int64_t n = std::min<int64_t>(frames - done, int64_t(chunk.size()));
      for (int64_t i = 0; i < n; ++i) {
        const int64_t t = done + i;
        chunk[size_t(i)] =
            half == 0 ? int16_t(0) : ((t / half) % 2 == 0 ? kAmplitude : -kAmplitude);
      }
      int64_t offset = 0;
      while (offset < n) {
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm_, chunk.data() + offset, snd_pcm_uframes_t(n - offset));
        if (written < 0) {
          // An underrun is recovered; a device that keeps failing is given up.
          if (++recoveries > 4 || snd_pcm_recover(pcm_, int(written), 1) < 0) return false;
          continue;
        }
        offset += written;
      }
      done += n;
    }
    return snd_pcm_drain(pcm_) >= 0;
  }

  std::mutex mutex_;
  bool opened_ = false;
  snd_pcm_t* pcm_ = nullptr;
};

}  // namespace

std::unique_ptr<ITone> MakeSystemTone() {
  return std::make_unique<AlsaTone>();
}

}  // namespace platform
