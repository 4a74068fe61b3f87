// The system tone: it holds the caller for the tone's length and prints nothing, whether the
// default device plays (ALSA's null device here) or there is no device at all.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Tone.h"

namespace {

struct DeviceCase {
  const char* name;
  const char* alsaConfig;  // the whole ALSA configuration the tone sees
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
  snd_config_update_free_global();
}

INSTANTIATE_TEST_SUITE_P(Devices, SystemTone,
                         testing::Values(DeviceCase{"NoDevice", "# nothing defined\n"},
                                         DeviceCase{"NullDevice", "pcm.!default { type null }\n"}),
                         [](const testing::TestParamInfo<DeviceCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
