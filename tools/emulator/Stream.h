#pragma once
// What the emulated tablet sends on its own: packets from a script or a capture, as bytes with
// the line's idle time before each.

#include <cstdint>
#include <string>
#include <vector>

namespace vellum::emu {

struct OutByte {
  uint8_t byte = 0;
  bool packetEnd = false;  // the last byte of a data packet (counts towards --hang-up-after)
  float delayMs = 0;       // line idle before this byte
};
using Stream = std::vector<OutByte>;

struct Pen {
  int32_t buttons = 0;  // 0..7
  int32_t x = 0;        // 0..16383
  int32_t y = 0;
  int32_t pressure = 0;  // 0..511, ignored on 5-byte tablets
};

// The packet that decodes to `pen` (values are masked to their fields).
std::vector<uint8_t> EncodePacket(const Pen& pen, int packetLength);
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
