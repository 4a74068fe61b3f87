// vellum-tablet: a serial graphics tablet on a pseudo-terminal, for the tests, the demo and the
// benchmarks. Prints the device path, then serves it until interrupted or hung up.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tablet/TabletLink.h"
#include "tools/Replay.h"
#include "tools/emulator/PtyTablet.h"

namespace {

constexpr const char* kUsage =
    "usage: vellum-tablet [options]\n"
    "  --model 7|5           packet length: 7 answers \"z~\" (pressure stylus), 5 does not\n"
    "  --range X Y           range reply, default 5000 3750 (any pair, valid or not)\n"
    "  --script FILE         packets from a script (docs/emulator-script.md)\n"
    "  --once                play the packets once instead of over and over\n"
    "  --stream-at-start     send packets before the first DC1, like a tablet left running\n"
    "  --fault NAME          silent, bad-range, slow-identify or garbage\n"
    "  --hang-up-after N     drop the line after N packets\n"
    "  --link PATH           make PATH a symbolic link to the device\n"
    "  --raw FILE            packets from a file of raw bytes, as a tablet sent them\n"
    "  --rate-multiplier N   line speed as N times 9600 baud (benchmarks)\n"
    "  --rest-noise N        X and Y off by up to N counts while the pen rests\n"
    "  --drop-share F        leave out this share of the packets (0 to 1), the line quiet\n"
    "  --garbage-every N     one stray byte after every Nth packet\n"
    "  --rate-fraction F     send packets at F times the line's packet rate (0 to 1)\n"
    "  --log-writes FILE     log every byte the host writes: \"<ms> <hex>\" a line\n"
    "  --replay FILE         be the tablet a capture was recorded from (docs/capture-format.md):\n"
    "                        its bytes once, with their timing, then a hang-up\n"
    "  --fast                with --replay: leave out the recorded pauses\n"
    "  --help                print this text and exit\n"
    "  --version             print the program's version and exit\n";

bool ParseNumber(std::string_view text, int64_t& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseCount(std::string_view text, int32_t& value) {
  int64_t v = 0;
  if (!ParseNumber(text, v) || v < 0 || v > 16383) return false;
  value = int32_t(v);
  return true;
}

bool ParseShare(std::string_view text, double& value, bool zeroAllowed) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value <= 1 &&
         (zeroAllowed ? value >= 0 : value > 0);
}

bool ReadFile(const std::string& path, std::string& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Fail(const std::string& message) {
  std::cerr << "vellum-tablet: " << message << '\n';
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using vellum::emu::EmulatorConfig;
  EmulatorConfig config;
  vellum::emu::LineFaults faults;
  std::string script, link, raw, writeLog, replay;
  bool fast = false;

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() { return std::string_view(argv[++i]); };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "vellum-tablet " VELLUM_VERSION "\n";
      return 0;
    } else if (arg == "--once") {
      config.loop = false;
    } else if (arg == "--stream-at-start") {
      config.streamAtStart = true;
    } else if (arg == "--fast") {
      fast = true;
    } else if (!hasValue) {
      return Fail("unknown or incomplete option \"" + std::string(arg) + "\"\n" + kUsage);
    } else if (arg == "--model") {
      const std::string_view v = value();
      if (v != "7" && v != "5") return Fail("--model takes 7 or 5");
      config.packetLength = v == "7" ? 7 : 5;
    } else if (arg == "--range") {
      if (i + 2 >= argc || !ParseCount(value(), config.maxX) || !ParseCount(value(), config.maxY)) {
        return Fail("--range takes X Y, each 0 to 16383");
      }
    } else if (arg == "--script") {
      script = value();
    } else if (arg == "--fault") {
      if (!vellum::emu::ParseFault(std::string(value()), config.fault)) {
        return Fail("--fault takes silent, bad-range, slow-identify or garbage");
      }
    } else if (arg == "--hang-up-after") {
      int64_t n = 0;
      if (!ParseNumber(value(), n) || n < 0) return Fail("--hang-up-after takes a count");
      config.hangUpAfter = n;
    } else if (arg == "--link") {
      link = value();
    } else if (arg == "--raw") {
      raw = value();
    } else if (arg == "--replay") {
      replay = value();
    } else if (arg == "--log-writes") {
      writeLog = value();
    } else if (arg == "--rate-multiplier") {
      int64_t n = 0;
      if (!ParseNumber(value(), n) || n < 1 || n > 100000) {
        return Fail("--rate-multiplier takes a whole number from 1 to 100000");
      }
      config.rateMultiplier = double(n);
    } else if (arg == "--rest-noise") {
      int64_t n = 0;
      if (!ParseNumber(value(), n) || n < 0 || n > 1000) {
        return Fail("--rest-noise takes a count from 0 to 1000");
      }
      faults.restNoise = int32_t(n);
    } else if (arg == "--drop-share") {
      if (!ParseShare(value(), faults.dropShare, true)) {
        return Fail("--drop-share takes a share from 0 to 1, e.g. 0.1");
      }
    } else if (arg == "--garbage-every") {
      int64_t n = 0;
      if (!ParseNumber(value(), n) || n < 1 || n > 1000000) {
        return Fail("--garbage-every takes a count from 1 to 1000000");
      }
      faults.garbageEvery = int32_t(n);
    } else if (arg == "--rate-fraction") {
      if (!ParseShare(value(), faults.rateFraction, false)) {
        return Fail("--rate-fraction takes a fraction above 0, at most 1, e.g. 0.5");
      }
    } else {
      return Fail("unknown option \"" + std::string(arg) + "\"\n" + kUsage);
    }
  }
  vellum::emu::Stream stream;
  if (!script.empty() && !raw.empty()) return Fail("--script and --raw exclude each other");
  if (!replay.empty() && (!script.empty() || !raw.empty())) {
    return Fail("--replay excludes --script and --raw");
  }
  if (fast && replay.empty()) return Fail("--fast goes with --replay");
  if (faults.Any() && (!replay.empty() || !raw.empty())) {
    return Fail("--rest-noise, --drop-share, --garbage-every and --rate-fraction go with a script "
                "or the built-in show, not --raw or --replay");
  }
  // A replay hangs up this long after its last packet, so that whatever reads it (a monitor in
  // a script) ends too; the bytes after that packet are on their way by then.
  double replayTailMs = 0;
  uint64_t replayPackets = 0;
  if (!replay.empty()) {
    vellum::Capture capture;
    std::string error = vellum::emu::LoadCapture(replay, capture);
    if (error.empty()) {
      error = vellum::emu::BuildReplay(capture, fast, config, stream);
      if (!error.empty()) error = replay + ": " + error;
    }
    if (!error.empty()) return Fail(error);
    for (const vellum::emu::OutByte& b : stream) {
      replayTailMs = b.packetEnd ? 0 : replayTailMs + b.delayMs + vellum::emu::kByteMs;
      if (b.packetEnd) ++replayPackets;
    }
    replayTailMs = replayTailMs / config.rateMultiplier + 1000;
  } else if (!raw.empty()) {
    std::string bytes;
    if (!ReadFile(raw, bytes)) return Fail("cannot read " + raw);
    stream = vellum::emu::RawStream(std::vector<uint8_t>(bytes.begin(), bytes.end()),
                                    config.packetLength);
  } else if (!script.empty()) {
    std::string text;
    if (!ReadFile(script, text)) return Fail("cannot read " + script);
    const std::string error = vellum::emu::ParseScript(text, config.packetLength, stream);
    if (!error.empty()) return Fail(script + ": " + error);
  } else {
    stream = vellum::emu::DemoStream(config.maxX, config.maxY, config.packetLength);
  }
  vellum::emu::ApplyLineFaults(stream, faults, config.packetLength);

  // Signals are taken synchronously below, so block them before the serving thread starts.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  try {
    vellum::emu::PtyTablet tablet(config, std::move(stream), link, writeLog);
    std::cout << tablet.Path() << std::endl;
    const timespec tick{0, 50 * 1000 * 1000};
    while (!tablet.HungUp()) {
      if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) break;
      if (replayPackets > 0 && tablet.PacketsSent() >= replayPackets) {
        replayTailMs -= 50;
        if (replayTailMs <= 0) break;
      }
    }
    if (tablet.HungUp())
      std::cerr << "vellum-tablet: hung up after " << tablet.PacketsSent() << " packets\n";
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
