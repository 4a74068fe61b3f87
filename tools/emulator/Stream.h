#pragma once
// What the emulated tablet sends on its own: packets from a script or a capture, as bytes with
// the line's idle time before each.

#include <cstdint>
#include <string>
#include <vector>

#include "tablet/TabletLink.h"

namespace vellum::emu {

struct OutByte {
  uint8_t byte = 0;
  bool packetEnd = false;  // the last byte of a data packet (counts towards --hang-up-after)
  float delayMs = 0;       // line idle before this byte
};
using Stream = std::vector<OutByte>;

// Where the pen is and what it presses: what its packet decodes to (pressure is not sent by
// 5-byte tablets).
using Pen = TabletPacket;

// The range reply of a tablet with that range.
std::vector<uint8_t> EncodeRangeReply(int32_t maxX, int32_t maxY, int packetLength);

void AppendPacket(Stream& stream, const Pen& pen, int packetLength);

// Parses the script language of docs/emulator-script.md. Returns an empty string on success,
// else "line N: reason"; `stream` is left untouched on error.
std::string ParseScript(const std::string& text, int packetLength, Stream& stream);

// The built-in show: strokes with pressure ramps, every button code, a resting pen with jitter.
Stream DemoStream(int32_t maxX, int32_t maxY, int packetLength);

// Faults of a worn tablet or line, laid over a stream of packets so that each of the line's
// figures can be shown working (docs/emulator-script.md).
struct LineFaults {
  int32_t restNoise = 0;     // X and Y off by up to this many counts where the pen rests
  double dropShare = 0;      // this share of the packets never leaves the tablet (0 to 1)
  int32_t garbageEvery = 0;  // one stray byte after every Nth packet; 0: none
  double rateFraction = 1;   // packets at this fraction of the line's packet rate (0 to 1]
  bool Any() const {
    return restNoise > 0 || dropShare > 0 || garbageEvery > 0 || rateFraction < 1;
  }
};

// A packet "rests" when it reports the place and code of the packet before it. A dropped packet
// leaves its time on the line quiet, as a tablet that skips a report does. REQUIRES: the
// stream's packets are whole (a script or the built-in show, not raw bytes).
void ApplyLineFaults(Stream& stream, const LineFaults& faults, int packetLength);

// Raw bytes (a capture), with packet ends found the way the reader finds them.
Stream RawStream(const std::vector<uint8_t>& bytes, int packetLength);

}  // namespace vellum::emu
