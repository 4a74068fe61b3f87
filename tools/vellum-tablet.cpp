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

#include "base/CommandOptions.h"
#include "tablet/TabletLink.h"
#include "tools/Replay.h"
#include "tools/emulator/PtyTablet.h"

namespace {

// What the command line asks for.
struct Options {
  vellum::emu::EmulatorConfig config;
  vellum::emu::LineFaults faults;
  std::string script, link, raw, writeLog, replay;
  bool fast = false;
  bool help = false;
  bool version = false;
};

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

using Option = vellum::OptionSpec<Options>;

template <bool Options::*flag>
std::string Flag(Options& o, vellum::OptionValues) {
  o.*flag = true;
  return "";
}

template <std::string Options::*text>
std::string Text(Options& o, vellum::OptionValues v) {
  o.*text = v[0];
  return "";
}

const Option kOptions[] = {
    {"model", 1, "7 or 5",
     "  --model 7|5           packet length: 7 answers \"z~\" (pressure stylus), 5 does not\n",
     [](Options& o, vellum::OptionValues v) {
       if (v[0] != "7" && v[0] != "5") return std::string("--model takes 7 or 5");
       o.config.packetLength =
           v[0] == "7" ? vellum::kPressurePacketLength : vellum::kPlainPacketLength;
       return std::string();
     }},
    {"range", 2, "X Y, each 0 to 16383",
     "  --range X Y           range reply, default 5000 3750 (any pair, valid or not)\n",
     [](Options& o, vellum::OptionValues v) {
       if (!ParseCount(v[0], o.config.maxX) || !ParseCount(v[1], o.config.maxY)) {
         return std::string("--range takes X Y, each 0 to 16383");
       }
       return std::string();
     }},
    {"script", 1, "FILE",
     "  --script FILE         packets from a script (docs/emulator-script.md)\n",
     Text<&Options::script>},
    {"once", 0, "", "  --once                play the packets once instead of over and over\n",
     [](Options& o, vellum::OptionValues) {
       o.config.loop = false;
       return std::string();
     }},
    {"stream-at-start", 0, "",
     "  --stream-at-start     send packets before the first DC1, like a tablet left running\n",
     [](Options& o, vellum::OptionValues) {
       o.config.streamAtStart = true;
       return std::string();
     }},
    {"fault", 1, "a NAME", "  --fault NAME          silent, bad-range, slow-identify or garbage\n",
     [](Options& o, vellum::OptionValues v) {
       if (!vellum::emu::ParseFault(std::string(v[0]), o.config.fault)) {
         return std::string("--fault takes silent, bad-range, slow-identify or garbage");
       }
       return std::string();
     }},
    {"hang-up-after", 1, "a count", "  --hang-up-after N     drop the line after N packets\n",
     [](Options& o, vellum::OptionValues v) {
       int64_t n = 0;
       if (!ParseNumber(v[0], n) || n < 0) return std::string("--hang-up-after takes a count");
       o.config.hangUpAfter = n;
       return std::string();
     }},
    {"link", 1, "PATH", "  --link PATH           make PATH a symbolic link to the device\n",
     Text<&Options::link>},
    {"raw", 1, "FILE",
     "  --raw FILE            packets from a file of raw bytes, as a tablet sent them\n",
     Text<&Options::raw>},
    {"rate-multiplier", 1, "N",
     "  --rate-multiplier N   line speed as N times 9600 baud (benchmarks)\n",
     [](Options& o, vellum::OptionValues v) {
       int64_t n = 0;
       if (!ParseNumber(v[0], n) || n < 1 || n > 100000) {
         return std::string("--rate-multiplier takes a whole number from 1 to 100000");
       }
       o.config.rateMultiplier = double(n);
       return std::string();
     }},
    {"rest-noise", 1, "N",
     "  --rest-noise N        X and Y off by up to N counts while the pen rests\n",
     [](Options& o, vellum::OptionValues v) {
       int64_t n = 0;
       if (!ParseNumber(v[0], n) || n < 0 || n > 1000) {
         return std::string("--rest-noise takes a count from 0 to 1000");
       }
       o.faults.restNoise = int32_t(n);
       return std::string();
     }},
    {"drop-share", 1, "F",
     "  --drop-share F        leave out this share of the packets (0 to 1), the line quiet\n",
     [](Options& o, vellum::OptionValues v) {
       if (!ParseShare(v[0], o.faults.dropShare, true)) {
         return std::string("--drop-share takes a share from 0 to 1, e.g. 0.1");
       }
       return std::string();
     }},
    {"garbage-every", 1, "N", "  --garbage-every N     one stray byte after every Nth packet\n",
     [](Options& o, vellum::OptionValues v) {
       int64_t n = 0;
       if (!ParseNumber(v[0], n) || n < 1 || n > 1000000) {
         return std::string("--garbage-every takes a count from 1 to 1000000");
       }
       o.faults.garbageEvery = int32_t(n);
       return std::string();
     }},
    {"rate-fraction", 1, "F",
     "  --rate-fraction F     send packets at F times the line's packet rate (0 to 1)\n",
     [](Options& o, vellum::OptionValues v) {
       if (!ParseShare(v[0], o.faults.rateFraction, false)) {
         return std::string("--rate-fraction takes a fraction above 0, at most 1, e.g. 0.5");
       }
       return std::string();
     }},
    {"log-writes", 1, "FILE",
     "  --log-writes FILE     log every byte the host writes: \"<ms> <hex>\" a line\n",
     Text<&Options::writeLog>},
    {"replay", 1, "FILE",
     "  --replay FILE         be the tablet a capture was recorded from (docs/capture-format.md):\n"
     "                        its bytes once, with their timing, then a hang-up\n",
     Text<&Options::replay>},
    {"fast", 0, "", "  --fast                with --replay: leave out the recorded pauses\n",
     Flag<&Options::fast>},
    {"help", 0, "", "  --help                print this text and exit\n", Flag<&Options::help>,
     'h'},
    {"version", 0, "", "  --version             print the program's version and exit\n",
     Flag<&Options::version>},
};

std::string Usage() {
  std::string text = "usage: vellum-tablet [options]\n";
  text += vellum::OptionsHelp<Options>(kOptions);
  return text;
}

std::string ParseCommandLine(int argc, char** argv, Options& options) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error =
      vellum::ParseOptions<Options>(args, kOptions, options, [](std::string_view word) {
        return "unexpected argument '" + std::string(word) + "' (try --help)";
      });
  if (!error.empty()) return error;

  // Which options go together.
  if (!options.script.empty() && !options.raw.empty())
    return "--script and --raw exclude each other";
  if (!options.replay.empty() && (!options.script.empty() || !options.raw.empty())) {
    return "--replay excludes --script and --raw";
  }
  if (options.fast && options.replay.empty()) return "--fast goes with --replay";
  if (options.faults.Any() && (!options.replay.empty() || !options.raw.empty())) {
    return "--rest-noise, --drop-share, --garbage-every and --rate-fraction go with a script "
           "or the built-in show, not --raw or --replay";
  }
  return "";
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
  Options options;
  if (const std::string error = ParseCommandLine(argc, argv, options); !error.empty()) {
    return Fail(error);
  }
  if (options.help) {
    std::cout << Usage();
    return 0;
  }
  if (options.version) {
    std::cout << "vellum-tablet " VELLUM_VERSION "\n";
    return 0;
  }
  vellum::emu::EmulatorConfig& config = options.config;
  const std::string& replay = options.replay;
  const std::string& raw = options.raw;
  const std::string& script = options.script;
  vellum::emu::Stream stream;
  // A replay hangs up this long after its last packet, so that whatever reads it (a monitor in
  // a script) ends too; the bytes after that packet are on their way by then.
  double replayTailMs = 0;
  uint64_t replayPackets = 0;
  if (!replay.empty()) {
    vellum::Capture capture;
    std::string error = vellum::emu::LoadCapture(replay, capture);
    if (error.empty()) {
      error = vellum::emu::BuildReplay(capture, options.fast, config, stream);
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
  vellum::emu::ApplyLineFaults(stream, options.faults, config.packetLength);

  // Signals are taken synchronously below, so block them before the serving thread starts.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  try {
    vellum::emu::PtyTablet tablet(config, std::move(stream), options.link, options.writeLog);
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
