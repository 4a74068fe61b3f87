#pragma once
// Finding the tablet: the probe of COM1..COM4, the final open and the no-tablet messages.

#include <cstdint>
#include <string>

#include "base/Tablet.h"
#include "tablet/ProbeOutcome.h"
#include "tablet/TabletLink.h"

namespace vellum {

// What the scan found. port == 0: no tablet.
struct TabletInfo {
  uint32_t port = 0;         // 1..4
  int32_t packetLength = 0;  // 7 or 5
  int32_t maxX = 0;
  int32_t maxY = 0;
  int32_t Resolution() const { return ResolutionLpi(packetLength); }
};

// Longest the range phase may go on without a result before the probe gives up (ms).
inline constexpr int kRangePhaseLimitMs = 2000;
// Longest the identification phase may go on (ms). The eleven-block bound already ends a device
// that keeps talking; this one ends a device that trickles a byte per request, or a port that
// reports input it never delivers. The probe then gives up as at the eleventh block.
inline constexpr int kIdentifyPhaseLimitMs = 2000;

// Probes port n through `port` (opened and closed here) and records into `found` only when
// found.port is still 0. The range phase's bound is measured with port.NowMs(). `outcome`, when
// given, gets what the probe saw of the port.
void ProbePort(IPort& port, int n, TabletInfo& found, ProbeOutcome* outcome = nullptr);

// Probes COM1..COM4 in order; all four are probed even after a find. The first success wins.
TabletInfo ScanPorts(IPort& port, ProbeOutcomes* outcomes = nullptr);

// The final open of the found port (no writes). False when the device cannot be opened.
bool OpenTabletPort(IPort& port, const TabletInfo& info);

struct ScaleFactors {
  float x = 0;  // screen width / 1024
  float y = 0;  // screen height * (float)(1/768), rounded to float
};
ScaleFactors ComputeScaleFactors(int screenWidth, int screenHeight);

// The three no-tablet texts, byte-exact (their line breaks are LF CR).
extern const char* const kNoTabletMessage1;
extern const char* const kNoTabletMessage2;
extern const char* const kNoTabletMessage3;

// Linux stand-in for the driver query: message 2 when one of the four ports is held by another
// program (flock refused, or open refused with EBUSY) or carries a line discipline other than
// N_TTY; message 3 otherwise. Message 1 belongs to a platform family Linux is not.
std::string ChooseNoTabletMessage(const PortPaths& paths);

}  // namespace vellum
