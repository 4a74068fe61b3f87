#pragma once
// The program's options, parsed once into a plain struct.
#include <array>
#include <string>
#include <vector>

#include "base/Tablet.h"
#include "platform/Pointer.h"
#include "tablet/PortPaths.h"

namespace vellum {

struct CommandLine {
  PortPaths ports;  // --port N=PATH, repeatable
  // COMn was named with --port (--ports auto leaves it so).
  std::array<bool, kComPorts> portGiven{};
  bool autoPorts = false;  // --ports auto: COM1..COM4 from the serial devices found
  bool listPorts = false;  // --list-ports: list the serial devices, exit
  bool probe = false;      // --probe: scan the ports, report, exit
  bool monitor = false;    // --monitor: print the packets as text lines, no window
  bool stats = false;      // --stats: with --monitor, the line's figures on stderr once a second
  bool pen = false;        // --pen: the tablet as a pen tablet for the desktop, no window
  // --transducer 2|3|4: with --pen, the transducer in hand on a 5-byte tablet
  Transducer transducer = Transducer::kThreeButtonStylus;
  bool transducerGiven = false;
  // --pointer x11|uinput|none; kAuto chooses by the desktop
  platform::PointerKind pointer = platform::PointerKind::kAuto;
  std::string record;    // --record FILE: write a capture (docs/capture-format.md)
  std::string document;  // DOCUMENT: opened in the window at start-up, as Ctrl+O opens one
  bool help = false;     // --help
  bool version = false;  // --version
};

struct ParsedCommandLine {
  CommandLine options;
  std::string error;  // empty on success, else one line for stderr
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);  // args without argv[0]

// The text of --help.
std::string Usage();

}  // namespace vellum
