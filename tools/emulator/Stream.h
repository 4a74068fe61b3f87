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

// Raw bytes (a capture), with packet ends found the way the reader finds them.
Stream RawStream(const std::vector<uint8_t>& bytes, int packetLength);

}  // namespace vellum::emu
