#pragma once
// Emulated tablets on ptys standing for some of COM1..COM4; the other ports are paths that do
// not exist, so no test ever reaches a real serial port.
#include <map>
#include <memory>
#include <string>

#include "tablet/PortPaths.h"
#include "tools/emulator/PtyTablet.h"

namespace vellum::test {

struct EmulatorPorts {
  std::map<int, std::unique_ptr<emu::PtyTablet>> tablets;
  PortPaths paths;

  EmulatorPorts() {
    for (int n = 1; n <= 4; ++n) paths.Set(n, "/nonexistent/vellum-test-com" + std::to_string(n));
  }
  emu::PtyTablet& Add(int n, const emu::EmulatorConfig& config, emu::Stream stream = {}) {
    auto& tablet = tablets[n] = std::make_unique<emu::PtyTablet>(config, std::move(stream));
    paths.Set(n, tablet->Path());
    return *tablet;
  }
};

inline emu::EmulatorConfig Tablet(int length, int32_t maxX = 5000, int32_t maxY = 3750,
                                  emu::Fault fault = emu::Fault::kNone) {
  emu::EmulatorConfig c;
  c.packetLength = length;
  c.maxX = maxX;
  c.maxY = maxY;
  c.fault = fault;
  return c;
}

}  // namespace vellum::test
