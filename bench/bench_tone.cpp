// The system tone's wall time per call, as the Shake screen makes it: 5 ms beeps 8 ms apart on
// one thread. Prints one "key value" line per figure (scripts/bench.sh adds them to the table):
//   tone_<device>_p50_ms / _p99_ms / _max_ms
//                      the wall time of one Beep(200, 5), the first call (which opens the
//                      device) included, over kBeeps calls
// <device> is null (ALSA's null device as the default PCM), none (an ALSA configuration that
// defines no device at all) or paced (ClockPcm.cpp: a device that plays in real time and reports
// its position a period at a time, as a sound card does). Each gets an ALSA configuration of its
// own through ALSA_CONFIG_PATH, so the figures do not depend on this machine's sound set-up.
#include <alsa/asoundlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Tone.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBeeps = 400;
constexpr int kToneMs = 5;
constexpr auto kPacketGap = std::chrono::milliseconds(8);

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

void Measure(const char* name, const std::string& alsaConfig) {
  char path[] = "/tmp/vellum-bench-tone-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) {
    std::perror("mkstemp");
    std::exit(1);
  }
  ::close(fd);
  std::ofstream(path) << alsaConfig;
  ::setenv("ALSA_CONFIG_PATH", path, 1);
  snd_config_update_free_global();  // forget the configuration of the previous case

  std::vector<double> ms;
  {
    auto tone = platform::MakeSystemTone();
    auto next = Clock::now();
    for (int i = 0; i < kBeeps; ++i) {
      std::this_thread::sleep_until(next);  // a packet every 8 ms, as the line delivers them
      next += kPacketGap;
      const auto t0 = Clock::now();
      tone->Beep(200, kToneMs);
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
  }
  ::unlink(path);
  ::unsetenv("ALSA_CONFIG_PATH");
  snd_config_update_free_global();

  const std::string key = std::string("tone_") + name;
  std::printf("%s_p50_ms %.3f\n", key.c_str(), Percentile(ms, 0.5));
  std::printf("%s_p99_ms %.3f\n", key.c_str(), Percentile(ms, 0.99));
  std::printf("%s_max_ms %.3f\n", key.c_str(), *std::max_element(ms.begin(), ms.end()));
  std::fflush(stdout);
}

}  // namespace

int main() {
  Measure("null", "pcm.!default { type null }\n");
  Measure("none", "# no device\n");
  Measure("paced", std::string("pcm_type.vellum_clock { lib \"") + VELLUM_CLOCK_PCM +
                       "\" }\npcm.!default { type vellum_clock }\n");
  return 0;
}
