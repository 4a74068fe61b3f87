// The tone: over a fake device, what it asks of the device (opened once, kept running through a
// burst of beeps, never waited for); over ALSA, that it holds the caller for the tone's length
// and prints nothing, whether the device plays (ALSA's null device here) or there is none.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Tone.h"

namespace {

// What the tone did to the device; shared with the test, which outlives the fake.
struct DeviceLog {
  std::mutex mutex;
  std::condition_variable changed;
  bool opens = true;    // Open's answer
  bool writes = true;   // Write's answer
  bool gated = false;   // tone writes wait until `gated` is cleared (a device that is slow)
  int openCalls = 0, prepareCalls = 0, dropCalls = 0;
  std::string device;
  std::vector<size_t> tones;  // frames of each write that carried sound
  size_t silentFrames = 0;
  bool inToneWrite = false;

  template <typename Pred>
  bool WaitFor(Pred pred) {  // the limit only keeps a broken tone from hanging the test
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(20), [&] { return pred(*this); });
  }
};

// A device that takes its frames at 48 kHz, as a sound card does.
class FakePcm final : public platform::IPcm {
 public:
  explicit FakePcm(std::shared_ptr<DeviceLog> log) : log_(std::move(log)) {}
  bool Open(const std::string& device, unsigned rate, unsigned) override {
    std::lock_guard lock(log_->mutex);
    ++log_->openCalls;
    log_->device = device;
    rate_ = rate;
    return log_->opens;
  }
  bool Prepare() override { return Count(&DeviceLog::prepareCalls); }
  void Drop() override { Count(&DeviceLog::dropCalls); }
  bool Write(const int16_t* frames, size_t count) override {
    const bool sound = std::any_of(frames, frames + count, [](int16_t v) { return v != 0; });
    {
      std::unique_lock lock(log_->mutex);
      if (sound) log_->tones.push_back(count);
      else log_->silentFrames += count;
      log_->inToneWrite = sound;
      log_->changed.notify_all();
      if (sound) log_->changed.wait_for(lock, std::chrono::seconds(5), [&] { return !log_->gated; });
      log_->inToneWrite = false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(count * 1000000 / rate_));
    return log_->writes;
  }

 private:
  bool Count(int DeviceLog::*counter) {
    std::lock_guard lock(log_->mutex);
    ++(*log_.*counter);
    log_->changed.notify_all();
    return true;
  }
  std::shared_ptr<DeviceLog> log_;
  unsigned rate_ = 48000;
};

std::unique_ptr<platform::ITone> ToneOn(const std::shared_ptr<DeviceLog>& log) {
  return platform::MakeTone(std::make_unique<FakePcm>(log), "test-device");
}

TEST(Tone, OpensTheDeviceOnceAndKeepsItRunningThroughABurst) {
  auto log = std::make_shared<DeviceLog>();
  auto tone = ToneOn(log);
  for (int i = 0; i < 6; ++i) tone->Beep(200, 5);  // the Shake screen's beeps, back to back
  ASSERT_TRUE(log->WaitFor([](DeviceLog& d) { return d.tones.size() == 6; }));
  {
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->openCalls, 1);
    EXPECT_EQ(log->device, "test-device");
    EXPECT_EQ(log->prepareCalls, 0) << "no restart between the beeps of a burst";
    EXPECT_EQ(log->dropCalls, 0);
    EXPECT_EQ(log->tones, std::vector<size_t>(6, 240)) << "5 ms at 48 kHz each";
  }
  // A second of silence, and the stream stops; the next burst restarts it once.
  ASSERT_TRUE(log->WaitFor([](DeviceLog& d) { return d.dropCalls == 1; }));
  EXPECT_GE(log->silentFrames, 48000u);
  tone->Beep(200, 30);
  tone->Beep(200, 5);
  ASSERT_TRUE(log->WaitFor([](DeviceLog& d) { return d.tones.size() == 9; }));
  std::lock_guard lock(log->mutex);
  EXPECT_EQ(log->openCalls, 1);
  EXPECT_EQ(log->prepareCalls, 1);
  EXPECT_EQ(log->dropCalls, 1);
  EXPECT_EQ(std::vector<size_t>(log->tones.begin() + 6, log->tones.end()),
            (std::vector<size_t>{1024, 416, 240}))
      << "30 ms in two writes, then 5 ms";
}

TEST(Tone, TheCallerDoesNotWaitForTheDevice) {
  auto log = std::make_shared<DeviceLog>();
  log->gated = true;
  auto tone = ToneOn(log);
  tone->Beep(200, 5);
  ASSERT_TRUE(log->WaitFor([](DeviceLog& d) { return d.inToneWrite; }));
  tone->Beep(200, 5);  // returns although the device still holds the first tone
  {
    std::lock_guard lock(log->mutex);
    EXPECT_TRUE(log->inToneWrite) << "the beep waited for the device";
    log->gated = false;
  }
  log->changed.notify_all();
}

TEST(Tone, WithoutADeviceBeepsStaySilentAndTheOpenIsNotRetried) {
  for (const bool opens : {false, true}) {
    SCOPED_TRACE(opens ? "a device that fails" : "no device");
    auto log = std::make_shared<DeviceLog>();
    log->opens = opens;
    log->writes = false;
    {
      auto tone = ToneOn(log);
      for (int i = 0; i < 3; ++i) tone->Beep(200, 5);
    }
    EXPECT_EQ(log->openCalls, 1);
    EXPECT_EQ(log->tones.size(), opens ? 1u : 0u) << "a failed device is given up";
  }
}

struct DeviceCase {
  const char* name;
  const char* alsaConfig;  // the whole ALSA configuration the tone sees
  const char* device;      // VELLUM_ALSA_DEVICE, or nullptr
};

class SystemTone : public testing::TestWithParam<DeviceCase> {};

// Runs `body` with stderr going to a file; returns what was written there.
template <typename F>
std::string CaptureStderr(F body) {
  std::FILE* sink = std::tmpfile();
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(::fileno(sink), STDERR_FILENO);
  body();
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  std::string text;
  std::rewind(sink);
  for (int c; (c = std::fgetc(sink)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(sink);
  return text;
}

TEST_P(SystemTone, HoldsTheCallerForTheLengthAndPrintsNothing) {
  const std::string path = testing::TempDir() + "vellum-tone-" + GetParam().name + ".conf";
  std::ofstream(path) << GetParam().alsaConfig;
  setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  if (GetParam().device != nullptr) setenv("VELLUM_ALSA_DEVICE", GetParam().device, 1);
  snd_config_update_free_global();  // forget a configuration read by an earlier case

  const std::string printed = CaptureStderr([] {
    auto tone = platform::MakeSystemTone();
    for (int ms : {5, 30, 5, 1}) {
      const auto start = std::chrono::steady_clock::now();
      tone->Beep(200, ms);
      const auto took = std::chrono::steady_clock::now() - start;
      EXPECT_GE(took, std::chrono::milliseconds(ms)) << ms << " ms tone";
    }
    tone->Beep(200, 0);  // nothing to play
    tone->Beep(0, 2);    // no audible frequency: silence of that length
    tone->Beep(-5, 2);
  });
  EXPECT_EQ(printed, "");
  unsetenv("ALSA_CONFIG_PATH");
  unsetenv("VELLUM_ALSA_DEVICE");
  snd_config_update_free_global();
}

INSTANTIATE_TEST_SUITE_P(Devices, SystemTone,
                         testing::Values(DeviceCase{"NoDevice", "# nothing defined\n", nullptr},
                                         DeviceCase{"NullDevice", "pcm.!default { type null }\n",
                                                    nullptr},
                                         DeviceCase{"NamedNullDevice", "pcm.tone { type null }\n",
                                                    "tone"},
                                         DeviceCase{"MissingNamedDevice",
                                                    "pcm.!default { type null }\n",
                                                    "vellum-no-such-device"}),
                         [](const testing::TestParamInfo<DeviceCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
