#pragma once
// `vellum-tablet --replay FILE`: the emulator acts as the tablet a capture was recorded from. It
// answers the probe as the capture's header says and then sends the bytes the reader read, with
// the gaps they were read with, or back to back at line speed.

#include <string>

#include "capture/CaptureFormat.h"
#include "tools/emulator/Emulator.h"
#include "tools/emulator/Stream.h"

namespace vellum::emu {

// Reads and parses a capture file. Returns "" or "FILE: line N: reason"; `out` is left untouched
// on error.
std::string LoadCapture(const std::string& path, Capture& out);

// The emulator set-up that plays `capture`: the header's packet length and range in `config`
// (its other fields are kept), the reader's bytes once through (the probe's dialogue lines are not
// sent: the emulator answers the probe itself). Returns "" or "line N: reason" when the header
// cannot be played (no tablet in it). With `fast` the recorded pauses are dropped; bytes still go
// at 9600 baud, the most a line carries, so that the reader loses none.
std::string BuildReplay(const Capture& capture, bool fast, EmulatorConfig& config, Stream& stream);

}  // namespace vellum::emu
