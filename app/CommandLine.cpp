#include "app/CommandLine.h"

#include <string>
#include <string_view>
#include <utility>

#include "base/CommandOptions.h"

namespace vellum {
namespace {

using Option = OptionSpec<CommandLine>;

template <bool CommandLine::*flag>
std::string Flag(CommandLine& options, OptionValues) {
  options.*flag = true;
  return "";
}

const std::pair<std::string_view, platform::PointerKind> kPointerNames[] = {
    {"x11", platform::PointerKind::kX11},
    {"uinput", platform::PointerKind::kUinput},
    {"none", platform::PointerKind::kNone},
};

const Option kOptions[] = {
    {"port", 1, "N=PATH",
     "  --port N=PATH  use PATH as COMN (N = 1..4); COMN is /dev/ttyS<N-1> otherwise\n",
     [](CommandLine& o, OptionValues v) {
       int n = 0;
       std::string error = o.ports.ParseAssignment(v[0], &n);
       if (error.empty()) o.portGiven[size_t(n - 1)] = true;
       return error;
     }},
    {"ports", 1, "auto",
     "  --ports auto   COM1..COM4 are the first four serial devices --list-ports shows,\n"
     "                 except system consoles and ports another program holds; a --port\n"
     "                 keeps its COM port\n",
     [](CommandLine& o, OptionValues v) {
       if (v[0] != "auto")
         return "--ports: only 'auto' is accepted, got '" + std::string(v[0]) + "'";
       o.autoPorts = true;
       return std::string();
     }},
    {"list-ports", 0, "",
     "  --list-ports   list the serial devices present (kind, USB ids, access, who holds\n"
     "                 them) without opening any, and exit\n",
     Flag<&CommandLine::listPorts>},
    {"probe", 0, "",
     "  --probe        look for a tablet on COM1..COM4, report it and what every port\n"
     "                 said (on stderr), and exit\n"
     "                 (exit status 0: found, 1: none, 2: bad command line)\n",
     Flag<&CommandLine::probe>},
    {"monitor", 0, "",
     "  --monitor      no window: after detection print \"time_us code x y pressure\" for\n"
     "                 every packet until interrupted or the line hangs up; at its end a\n"
     "                 summary of the line's figures (on stderr)\n",
     Flag<&CommandLine::monitor>},
    {"stats", 0, "",
     "  --stats        with --monitor: the line's figures on stderr once a second (report\n"
     "                 rate, interval jitter, noise at rest, garbled bytes, line errors)\n",
     Flag<&CommandLine::stats>},
    {"pen", 0, "",
     "  --pen          no window: after detection the tablet is a pen tablet (a uinput\n"
     "                 device) for every program of the desktop until interrupted or\n"
     "                 the line hangs up; needs write access to /dev/uinput\n",
     Flag<&CommandLine::pen>},
    {"transducer", 1, "2, 3 or 4",
     "  --transducer 2|3|4\n"
     "                 with --pen on a 5-byte tablet: the 2-button stylus, the 3-button\n"
     "                 stylus (the default) or the 4-button cursor is in hand\n",
     [](CommandLine& o, OptionValues v) {
       for (const Transducer t : {Transducer::kTwoButtonStylus, Transducer::kThreeButtonStylus,
                                  Transducer::kFourButtonCursor}) {
         if (v[0] == std::to_string(static_cast<int>(t))) {
           o.transducer = t;
           o.transducerGiven = true;
           return std::string();
         }
       }
       return "--transducer: expected 2, 3 or 4, got '" + std::string(v[0]) + "'";
     }},
    {"record", 1, "FILE",
     "  --record FILE  record what the reader reads (with --probe: the probe's dialogue) in\n"
     "                 FILE, to attach to a bug report; vellum-tablet --replay plays it\n",
     [](CommandLine& o, OptionValues v) {
       if (v[0].empty()) return std::string("--record: expected FILE");
       o.record = v[0];
       return std::string();
     }},
    {"pointer", 1, "x11, uinput or none",
     "  --pointer x11|uinput|none\n"
     "                 how the tablet moves the pointer: x11 warps it through the X server,\n"
     "                 uinput through a virtual absolute pointer on /dev/uinput (Wayland),\n"
     "                 none leaves it alone (next to a real tablet driver); by default x11\n"
     "                 on an X11 session and uinput elsewhere\n",
     [](CommandLine& o, OptionValues v) {
       for (const auto& [name, kind] : kPointerNames) {
         if (v[0] == name) {
           o.pointer = kind;
           return std::string();
         }
       }
       return "--pointer: expected x11, uinput or none, got '" + std::string(v[0]) + "'";
     }},
    {"help", 0, "", "  --help         print this text and exit\n", Flag<&CommandLine::help>, 'h'},
    {"version", 0, "", "  --version      print the program's version and exit\n",
     Flag<&CommandLine::version>},
};

}  // namespace

std::string Usage() {
  std::string text =
      "usage: vellum [--ports auto] [--port N=PATH]... [--probe | --monitor [--stats]]\n"
      "              [--record FILE] [--pointer x11|uinput|none] [DOCUMENT]\n"
      "       vellum --pen [--transducer 2|3|4] [--ports auto] [--port N=PATH]...\n"
      "       vellum --list-ports\n";
  text += OptionsHelp<CommandLine>(kOptions);
  text += "  DOCUMENT       open DOCUMENT in the window, as Ctrl+O does\n";
  return text;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& options = parsed.options;
  parsed.error = ParseOptions<CommandLine>(
      args, kOptions, options, [&options](std::string_view word) -> std::string {
        if (word.empty() || word[0] == '-') {
          return "unknown option '" + std::string(word) + "' (try --help)";
        }
        if (!options.document.empty()) {
          return "unexpected argument '" + std::string(word) + "' (try --help)";
        }
        options.document = word;
        return "";
      });
  if (!parsed.error.empty()) return parsed;

  // Which options go together.
  if (options.listPorts) {
    // It opens nothing and probes nothing: options about ports or sessions would be ignored.
    const std::pair<bool, const char*> others[] = {
        {options.probe, "--probe"},
        {options.monitor, "--monitor"},
        {options.stats, "--stats"},
        {options.pen, "--pen"},
        {options.transducerGiven, "--transducer"},
        {!options.record.empty(), "--record"},
        {options.autoPorts, "--ports"},
        {options.portGiven != std::array<bool, kComPorts>{}, "--port"},
        {!options.document.empty(), "a DOCUMENT"},
    };
    for (const auto& [given, name] : others) {
      if (given && parsed.error.empty()) {
        parsed.error = std::string("--list-ports stands alone, not with ") + name;
      }
    }
  } else if (options.pen) {
    // Its own mode: the window's options (and the other headless modes) have no meaning here.
    const std::pair<bool, const char*> others[] = {
        {options.probe, "--probe"},
        {options.monitor, "--monitor"},
        {options.stats, "--stats"},
        {!options.record.empty(), "--record"},
        {options.pointer != platform::PointerKind::kAuto, "--pointer"},
        {!options.document.empty(), "a DOCUMENT"},
    };
    for (const auto& [given, name] : others) {
      if (given && parsed.error.empty()) parsed.error = std::string("--pen, not with ") + name;
    }
  } else if (options.transducerGiven) {
    parsed.error = "--transducer goes with --pen only";
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
