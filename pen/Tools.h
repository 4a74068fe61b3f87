#pragma once
// The transducers and what their button codes mean: the same meaning the info screen's pictures
// light up, so that a button tested there does the same on the desktop.
#include <cstdint>

#include "base/Tablet.h"

namespace vellum::pen {

enum class Tool : uint8_t {
  kPressureStylus,     // 7-byte tablets: tip, a two-way rocker
  kTwoButtonStylus,    // 5-byte tablets: tip, one side button
  kThreeButtonStylus,  // 5-byte tablets: tip, lower and upper side buttons
  kCursor,             // 5-byte tablets: four buttons, reported as the sum of their values
};

// The tool of a tablet: 7-byte tablets have their pressure stylus only; on 5-byte tablets the
// transducer chosen.
Tool ToolFor(int32_t packetLength, Transducer transducer);

inline bool IsStylus(Tool t) {
  return t != Tool::kCursor;
}

const char* ToolName(Tool t);

struct StylusKeys {
  bool tip = false;
  bool lower = false;  // BTN_STYLUS: the side button, or the one nearer the tip
  bool upper = false;  // BTN_STYLUS2
  friend bool operator==(const StylusKeys&, const StylusKeys&) = default;
};

// A stylus's code: value 1 the tip, 2 the lower (or only) side button, 4 the upper one. The
// two-button stylus has no value 4; a code with it keeps the tip and the side button it reports.
// REQUIRES: IsStylus(tool).
StylusKeys StylusKeysOf(Tool tool, int32_t code);

// The cursor's buttons as bits: bit 0 the left button (value 1), bit 1 the right (2), bit 2 the
// lower centre (3), bit 3 the upper centre (4).
using CursorButtons = uint8_t;

// The cursor sends the sum of its pressed buttons' values, so 3 to 7 each have two readings; the
// code before tells them apart, as the cursor picture does. A repeated code keeps what the first
// one meant.
class CursorDecoder {
 public:
  CursorButtons Decode(int32_t code);

 private:
  int32_t previous_ = 0;  // the last code that differed from the one before
  CursorButtons pressed_ = 0;
};

}  // namespace vellum::pen
