// The emulator's script parser on any text: it either refuses with a line number or yields a
// stream whose every packet end closes a packet the reader would accept.
#include <cstdlib>
#include <string>

#include "tablet/TabletLink.h"
#include "tools/emulator/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;  // scripts expand; keep each run small
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int length : {7, 5}) {
    vellum::emu::Stream stream;
    const std::string error = vellum::emu::ParseScript(text, length, stream);
    if (!error.empty()) {
      if (error.rfind("line ", 0) != 0 || !stream.empty()) std::abort();
      continue;
    }
    vellum::PacketAssembler assembler(length);
    for (const vellum::emu::OutByte& b : stream) {
      const bool complete = assembler.Push(b.byte) == vellum::PacketAssembler::Step::kComplete;
      if (b.packetEnd && !complete) std::abort();
    }
  }
  return 0;
}
