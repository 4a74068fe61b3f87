#include "app/CommandLine.h"

#include <string_view>

namespace vellum {

const char* const kUsage =
    "usage: vellum [--port N=PATH]... [--probe | --monitor] [--record FILE] [DOCUMENT]\n"
    "  --port N=PATH  use PATH as COMN (N = 1..4); COMN is /dev/ttyS<N-1> otherwise\n"
    "  --probe        look for a tablet on COM1..COM4, report it and exit\n"
    "                 (exit status 0: found, 1: none, 2: bad command line)\n"
    "  --monitor      no window: after detection print \"time_us code x y pressure\" for\n"
    "                 every packet until interrupted or the line hangs up\n"
    "  --record FILE  record what the reader reads (with --probe: the probe's dialogue) in\n"
    "                 FILE, to attach to a bug report; vellum-tablet --replay plays it\n"
    "  --help         print this text and exit\n"
    "  --version      print the program's version and exit\n"
    "  DOCUMENT       open DOCUMENT in the window, as Ctrl+O does\n";

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& options = parsed.options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--probe") {
      options.probe = true;
    } else if (arg == "--monitor") {
      options.monitor = true;
    } else if (arg == "--record" || arg.starts_with("--record=")) {
      if (arg == "--record") {
        if (i + 1 == args.size()) {
          parsed.error = "--record: expected FILE";
          return parsed;
        }
        options.record = args[++i];
      } else {
        options.record = std::string(arg.substr(9));
      }
      if (options.record.empty()) {
        parsed.error = "--record: expected FILE";
        return parsed;
      }
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--port" || arg.starts_with("--port=")) {
      std::string_view value;
      if (arg == "--port") {
        if (i + 1 == args.size()) {
          parsed.error = "--port: expected N=PATH";
          return parsed;
        }
        value = args[++i];
      } else {
        value = arg.substr(7);
      }
      parsed.error = options.ports.ParseAssignment(value);
      if (!parsed.error.empty()) return parsed;
    } else if (!arg.empty() && arg[0] != '-' && options.document.empty()) {
      options.document = std::string(arg);
    } else if (!arg.empty() && arg[0] != '-') {
      parsed.error = "unexpected argument '" + std::string(arg) + "' (try --help)";
      return parsed;
    } else {
      parsed.error = "unknown option '" + std::string(arg) + "' (try --help)";
      return parsed;
    }
  }
  if (options.probe && options.monitor) {
    parsed.error = "--probe and --monitor exclude each other";
  } else if ((options.probe || options.monitor) && !options.document.empty()) {
    parsed.error = "a DOCUMENT opens in the window only, not with --probe or --monitor";
  }
  return parsed;
}

}  // namespace vellum
