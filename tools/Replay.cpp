#include "tools/Replay.h"

#include <fstream>
#include <iterator>

#include "tablet/TabletLink.h"

namespace vellum::emu {

std::string LoadCapture(const std::string& path, Capture& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return path + ": cannot be read";
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return path + ": cannot be read";
  const std::string error = ParseCapture(text, out);
  return error.empty() ? "" : path + ": " + error;
}

std::string BuildReplay(const Capture& capture, bool fast, EmulatorConfig& config, Stream& stream) {
  const CaptureHeader& h = capture.header;
  const std::string where = "line " + std::to_string(capture.headerEndLine) + ": ";
  if (h.packetLength != kPressurePacketLength && h.packetLength != kPlainPacketLength) {
    return where + "the header gives no packet-length (was a tablet found?)";
  }
  if (h.rangeX == 0 || h.rangeY == 0) {
    return where + "the header gives no range-x and range-y (was a tablet found?)";
  }
  EmulatorConfig c = config;  // faults, hang-up and line speed stay the caller's
  c.packetLength = h.packetLength;
  c.maxX = h.rangeX;
  c.maxY = h.rangeY;
  c.loop = false;
  c.streamAtStart = false;

  // The recorded time of a byte is when the reader had it, about when the line finished sending
  // it. Each byte is due at its recorded time, measured from the first; the line may not send
  // faster than 9600 baud, and a byte that falls behind (the reader had a burst waiting) takes
  // the next pauses to catch up, so the replay never drifts from the recording.
  Stream s;
  PacketAssembler assembler(h.packetLength);
  bool first = true;
  double lineFreeMs = 0;  // when the line has finished the previous byte, recording's time
  for (const CaptureRecord& r : capture.records) {
    if (r.event != CaptureEvent::kRead) continue;
    const uint8_t* bytes = capture.BytesOf(r);
    const double dueMs = double(r.timeUs) / 1000.0;
    for (uint32_t i = 0; i < r.count; ++i) {
      if (first) {
        lineFreeMs = dueMs - kByteMs;
        first = false;
      }
      double delay = dueMs - (lineFreeMs + kByteMs);
      if (fast || delay < 0) delay = 0;
      lineFreeMs += delay + kByteMs;
      const bool packetEnd = assembler.Push(bytes[i]) == PacketAssembler::Step::kComplete;
      s.push_back(OutByte{bytes[i], packetEnd, float(delay)});
    }
  }
  config = c;
  stream = std::move(s);
  return "";
}

}  // namespace vellum::emu
