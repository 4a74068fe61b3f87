// The capture reader on any text: it refuses with a line number and leaves its result alone, or
// what it read survives being written out and read again, and a replay of it sends exactly the
// reader's bytes with sane pauses.
#include <cmath>
#include <cstdlib>
#include <string>

#include "capture/CaptureFormat.h"
#include "tools/Replay.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  vellum::Capture c;
  c.bytes = {0xEE};
  const std::string error = vellum::ParseCapture(text, c);
  if (!error.empty()) {
    Check(error.rfind("line ", 0) == 0 && c.records.empty() && c.bytes.size() == 1);
    return 0;
  }

  std::string again = vellum::FormatCaptureHeader(c.header);
  size_t readBytes = 0;
  for (const vellum::CaptureRecord& r : c.records) {
    Check(size_t(r.offset) + r.count <= c.bytes.size());
    if (r.event == vellum::CaptureEvent::kOpen) {
      vellum::AppendCaptureOpenLine(again, r.timeUs, r.port, r.openResult);
    } else {
      vellum::AppendCaptureLine(again, r.timeUs, r.event, c.BytesOf(r), r.count);
    }
    if (r.event == vellum::CaptureEvent::kRead) readBytes += r.count;
  }
  vellum::Capture d;
  Check(vellum::ParseCapture(again, d).empty());
  Check(d.header.port == c.header.port && d.header.packetLength == c.header.packetLength &&
        d.header.rangeX == c.header.rangeX && d.header.rangeY == c.header.rangeY);
  Check(d.bytes == c.bytes && d.records.size() == c.records.size());
  for (size_t i = 0; i < c.records.size(); ++i) {
    Check(d.records[i].timeUs == c.records[i].timeUs && d.records[i].event == c.records[i].event &&
          d.records[i].count == c.records[i].count);
  }

  for (bool fast : {false, true}) {
    vellum::emu::EmulatorConfig config;
    vellum::emu::Stream stream;
    if (!vellum::emu::BuildReplay(c, fast, config, stream).empty()) continue;
    Check(stream.size() == readBytes && !config.loop);
    for (const vellum::emu::OutByte& b : stream) {
      Check(std::isfinite(b.delayMs) && b.delayMs >= 0 && (!fast || b.delayMs == 0));
    }
  }
  return 0;
}
