#include "app/CommandLine.h"

#include <string_view>

namespace vellum {

const char* const kUsage =
    "usage: vellum [--port N=PATH]... [--probe]\n"
    "  --port N=PATH  use PATH as COMN (N = 1..4); COMN is /dev/ttyS<N-1> otherwise\n"
    "  --probe        look for a tablet on COM1..COM4, report it and exit\n"
    "                 (exit status 0: found, 1: none, 2: bad command line)\n";

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& options = parsed.options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--probe") {
      options.probe = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
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
    } else {
      parsed.error = "unknown option '" + std::string(arg) + "' (try --help)";
      return parsed;
    }
  }
  return parsed;
}

}  // namespace vellum
