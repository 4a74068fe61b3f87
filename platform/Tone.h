#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The platform's Beep(freq, ms): plays a tone and holds the caller for its length.
class ITone {
 public:
  virtual ~ITone() = default;
  virtual void Beep(int frequencyHz, int durationMs) = 0;
};

// A playback device as the tone uses it (ALSA in the program, a fake in tests).
class IPcm {
 public:
  virtual ~IPcm() = default;
  // Opens the device for 16-bit mono at `rate` frames a second with about `latencyUs` of
  // buffer, ready to play. False: no such device, or none that takes this set-up.
  virtual bool Open(const std::string& device, unsigned rate, unsigned latencyUs) = 0;
  // Makes a dropped stream ready to play again.
  virtual bool Prepare() = 0;
  // Queues the frames, waiting while the buffer is full; the stream starts by itself. False:
  // the device failed for good.
  virtual bool Write(const int16_t* frames, size_t count) = 0;
  // Stops at once, discarding what is queued.
  virtual void Drop() = 0;
};

// The tone over `pcm`: a thread of its own opens `device` at the first beep and keeps it, and
// between the beeps of a burst keeps the stream running on silence, so that no beep waits for
// the device to open, start, drain or restart. Beep only hands the tone over and waits out its
// length by the clock. A second without a beep stops the stream; a device that cannot be
// opened or fails leaves the beeps silent, each still as long as asked.
std::unique_ptr<ITone> MakeTone(std::unique_ptr<IPcm> pcm, std::string device);

// The tone on ALSA's device $VELLUM_ALSA_DEVICE, or "default".
std::unique_ptr<ITone> MakeSystemTone();

}  // namespace platform
