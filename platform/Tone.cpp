// The platform tone: a square wave of the asked frequency and length, played by a thread of its
// own so that the caller (the reader thread, for every Shake position) is held for the tone's
// length and not a moment more, whatever the sound device costs. On a sound card, draining a
// 5 ms tone waits for the end of a period (12.5 ms at 48 kHz with a 50 ms buffer), and restarting
// a stream per tone costs more again on a sound server; the thread keeps the stream open and
// running on silence while beeps follow each other.
#include "platform/Tone.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace platform {
namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kLatencyUs = 20000;  // what a beep may lag behind its call
constexpr int16_t kAmplitude = 8000;    // about a quarter of full scale: a beep, not a blast
constexpr int64_t kChunk = kRate / 200;  // 5 ms: the unit of silence between beeps
constexpr int64_t kIdleFrames = kRate;   // a second of silence stops the stream
constexpr size_t kMaxPending = 8;

class PcmTone final : public ITone {
 public:
  PcmTone(std::unique_ptr<IPcm> pcm, std::string device)
      : pcm_(std::move(pcm)), device_(std::move(device)) {}

  ~PcmTone() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  void Beep(int frequencyHz, int durationMs) override {
    if (durationMs <= 0) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(durationMs);
    {
      std::lock_guard lock(mutex_);
      if (!thread_.joinable() && !noThread_) {
        try {
          thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
          noThread_ = true;  // out of threads: the beeps stay silent, each as long as asked
        }
      }
      // A tone thread held up by a busy machine catches up rather than losing beeps; only a
      // device slower than real time fills the queue, and then the oldest beep gives way.
      if (pending_.size() == kMaxPending) pending_.pop_front();
      pending_.push_back(Request{frequencyHz, durationMs});
    }
    wake_.notify_one();
    std::this_thread::sleep_until(end);
  }

 private:
  struct Request {
    int frequencyHz;
    int durationMs;
  };

  void Run() {
    if (!pcm_->Open(device_, kRate, kLatencyUs)) return;  // no sound: the beeps stay silent
    bool dropped = false;
    int64_t silence = 0;  // frames of silence since the last tone
    for (;;) {
      std::optional<Request> request;
      {
        std::unique_lock lock(mutex_);
        if (!stop_ && pending_.empty() && silence >= kIdleFrames) {
          lock.unlock();
          if (!dropped) pcm_->Drop();
          dropped = true;
          lock.lock();
          wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
        }
        if (stop_) return;
        if (!pending_.empty()) {
          request = pending_.front();
          pending_.pop_front();
        }
      }
      if (dropped) {
        if (!pcm_->Prepare()) return;
        dropped = false;
      }
      bool ok;
      if (request) {
        ok = PlayTone(*request);
        silence = 0;
      } else {
        static const std::array<int16_t, kChunk> kSilence{};
        ok = pcm_->Write(kSilence.data(), kSilence.size());
        silence += kChunk;
      }
      if (!ok) return;  // the device went away (unplugged, server gone): silent from now on
    }
  }

  bool PlayTone(const Request& r) {
    const int64_t frames = int64_t(kRate) * r.durationMs / 1000;
    // Half a period in frames; a frequency out of the audible range plays silence.
    const int64_t half = (r.frequencyHz > 0 && r.frequencyHz < int(kRate) / 2)
                             ? std::max<int64_t>(1, int64_t(kRate) / (2 * int64_t(r.frequencyHz)))
                             : 0;
    std::array<int16_t, 1024> chunk{};
    for (int64_t done = 0; done < frames;) {
      if (stop_.load()) return true;
      const int64_t n = std::min<int64_t>(frames - done, int64_t(chunk.size()));
      for (int64_t i = 0; i < n; ++i) {
        const int64_t t = done + i;
        chunk[size_t(i)] =
            half == 0 ? int16_t(0) : ((t / half) % 2 == 0 ? kAmplitude : -kAmplitude);
      }
      if (!pcm_->Write(chunk.data(), size_t(n))) return false;
      done += n;
    }
    return true;
  }

  const std::unique_ptr<IPcm> pcm_;
  const std::string device_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stop_{false};
  std::deque<Request> pending_;  // guarded by mutex_
  std::thread thread_;
  bool noThread_ = false;
};

// ALSA prints its own diagnostics to stderr; a box without sound would print them per start.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

class AlsaPcm final : public IPcm {
 public:
  ~AlsaPcm() override {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
  }

  bool Open(const std::string& device, unsigned rate, unsigned latencyUs) override {
    snd_lib_error_set_handler(&SilentAlsaError);
    // Non-blocking throughout: a device held by someone else or gone quiet must not stall the
    // tone thread for good (Write waits with a timeout instead).
    if (snd_pcm_open(&pcm_, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
      pcm_ = nullptr;
      return false;
    }
    if (snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate, 1,
                           latencyUs) < 0) {
      snd_pcm_close(pcm_);
      pcm_ = nullptr;
      return false;
    }
    // Start as soon as anything is queued, not once the buffer is full: a tone plays at once.
    snd_pcm_sw_params_t* sw = nullptr;
    if (snd_pcm_sw_params_malloc(&sw) == 0) {
      if (snd_pcm_sw_params_current(pcm_, sw) == 0 &&
          snd_pcm_sw_params_set_start_threshold(pcm_, sw, 1) == 0) {
        (void)snd_pcm_sw_params(pcm_, sw);
      }
      snd_pcm_sw_params_free(sw);
    }
    return true;
  }

  bool Prepare() override { return snd_pcm_prepare(pcm_) >= 0; }

  bool Write(const int16_t* frames, size_t count) override {
    int recoveries = 0;
    while (count > 0) {
      const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, frames, count);
      if (written == -EAGAIN) {
        // The buffer is full: wait for room; a device that makes none for a second has stalled.
        const int ready = snd_pcm_wait(pcm_, 1000);
        if (ready == 0) return false;
        if (ready < 0 && (++recoveries > 4 || snd_pcm_recover(pcm_, ready, 1) < 0)) return false;
        continue;
      }
      if (written < 0) {
        // An underrun (the thread was held up) or a suspend is recovered; a device that keeps
        // failing is given up.
        if (++recoveries > 4 || snd_pcm_recover(pcm_, int(written), 1) < 0) return false;
        continue;
      }
      frames += written;
      count -= size_t(written);
    }
    return true;
  }

  void Drop() override { (void)snd_pcm_drop(pcm_); }

 private:
  snd_pcm_t* pcm_ = nullptr;
};

}  // namespace

std::unique_ptr<ITone> MakeTone(std::unique_ptr<IPcm> pcm, std::string device) {
  return std::make_unique<PcmTone>(std::move(pcm), std::move(device));
}

std::unique_ptr<ITone> MakeSystemTone() {
  const char* device = std::getenv("VELLUM_ALSA_DEVICE");
  return MakeTone(std::make_unique<AlsaPcm>(),
                  device != nullptr && device[0] != '\0' ? device : "default");
}

}  // namespace platform
