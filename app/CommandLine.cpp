#include "app/CommandLine.h"

#include <string_view>
#include <utility>

namespace vellum {

const char* const kUsage =
    "usage: vellum [--ports auto] [--port N=PATH]... [--probe | --monitor [--stats]]\n"
    "              [--record FILE] [--pointer x11|uinput|none] [DOCUMENT]\n"
    "       vellum --list-ports\n"
    "  --port N=PATH  use PATH as COMN (N = 1..4); COMN is /dev/ttyS<N-1> otherwise\n"
    "  --ports auto   COM1..COM4 are the first four serial devices --list-ports shows,\n"
    "                 except system consoles and ports another program holds; a --port\n"
    "                 keeps its COM port\n"
    "  --list-ports   list the serial devices present (kind, USB ids, access, who holds\n"
    "                 them) without opening any, and exit\n"
    "  --probe        look for a tablet on COM1..COM4, report it and what every port\n"
    "                 said (on stderr), and exit\n"
    "                 (exit status 0: found, 1: none, 2: bad command line)\n"
    "  --monitor      no window: after detection print \"time_us code x y pressure\" for\n"
    "                 every packet until interrupted or the line hangs up; at its end a\n"
    "                 summary of the line's figures (on stderr)\n"
    "  --stats        with --monitor: the line's figures on stderr once a second (report\n"
    "                 rate, interval jitter, noise at rest, garbled bytes, line errors)\n"
    "  --record FILE  record what the reader reads (with --probe: the probe's dialogue) in\n"
    "                 FILE, to attach to a bug report; vellum-tablet --replay plays it\n"
    "  --pointer x11|uinput|none\n"
    "                 how the tablet moves the pointer: x11 warps it through the X server,\n"
    "                 uinput through a virtual absolute pointer on /dev/uinput (Wayland),\n"
    "                 none leaves it alone (next to a real tablet driver); by default x11\n"
    "                 on an X11 session and uinput elsewhere\n"
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
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--list-ports") {
      options.listPorts = true;
    } else if (arg == "--ports" || arg.starts_with("--ports=")) {
      if (arg == "--ports" && i + 1 == args.size()) {
        parsed.error = "--ports: expected auto";
        return parsed;
      }
      const std::string_view value = arg == "--ports" ? std::string_view(args[++i]) : arg.substr(8);
      if (value != "auto") {
        parsed.error = "--ports: only 'auto' is accepted, got '" + std::string(value) + "'";
        return parsed;
      }
      options.autoPorts = true;
    } else if (arg == "--pointer" || arg.starts_with("--pointer=")) {
      if (arg == "--pointer" && i + 1 == args.size()) {
        parsed.error = "--pointer: expected x11, uinput or none";
        return parsed;
      }
      const std::string_view value =
          arg == "--pointer" ? std::string_view(args[++i]) : arg.substr(10);
      if (value != "x11" && value != "uinput" && value != "none") {
        parsed.error = "--pointer: expected x11, uinput or none, got '" + std::string(value) + "'";
        return parsed;
      }
      options.pointer = std::string(value);
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
      int n = 0;
      parsed.error = options.ports.ParseAssignment(value, &n);
      if (!parsed.error.empty()) return parsed;
      options.portGiven[size_t(n - 1)] = true;
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
  if (options.listPorts) {
    // It opens nothing and probes nothing: options about ports or sessions would be ignored.
    const std::pair<bool, const char*> others[] = {
        {options.probe, "--probe"},
        {options.monitor, "--monitor"},
        {options.stats, "--stats"},
        {!options.record.empty(), "--record"},
        {options.autoPorts, "--ports"},
        {options.portGiven != std::array<bool, 4>{}, "--port"},
        {!options.document.empty(), "a DOCUMENT"},
    };
    for (const auto& [given, name] : others) {
      if (given && parsed.error.empty()) {
        parsed.error = std::string("--list-ports stands alone, not with ") + name;
      }
    }
  } else if (options.probe && options.monitor) {
    parsed.error = "--probe and --monitor exclude each other";
  } else if ((options.probe || options.monitor) && !options.document.empty()) {
    parsed.error = "a DOCUMENT opens in the window only, not with --probe or --monitor";
  } else if (options.stats && !options.monitor) {
    parsed.error = "--stats goes with --monitor only";
  }
  return parsed;
}

}  // namespace vellum
