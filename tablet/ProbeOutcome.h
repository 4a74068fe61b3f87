#pragma once
// What one probe saw of its port, kept so that the user can be told why a port gave no tablet.
// Filling it in changes nothing the probe writes or waits.
#include <array>
#include <string>

#include "tablet/TabletLink.h"

namespace vellum {

enum class ProbeStage {
  kNotProbed,
  kOpenFailed,      // open, flock or TIOCEXCL refused
  kSettingsFailed,  // opened, but the line settings were refused
  kSilent,          // nothing came back, neither to "z~" nor to "a"
  kNotIdentified,   // answered "z~", but never with an identification block: gave up
  kNoRangeReply,    // answered "z~", then nothing to "a"
  kBadRangeReply,   // answered "a", but never with an acceptable range reply
  kLineFailed,      // a read failed: the line hung up
  kFound,
};

struct ProbeOutcome {
  ProbeStage stage = ProbeStage::kNotProbed;
  int packetLength = 0;     // kFound: 7 or 5
  OpenReport open;          // what the port's open saw (the failing call, its errno, discipline)
  std::string readFailure;  // kLineFailed: the port's words for it
};

// COM1..COM4 in order.
using ProbeOutcomes = std::array<ProbeOutcome, kComPorts>;

}  // namespace vellum
