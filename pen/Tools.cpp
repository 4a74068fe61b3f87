#include "pen/Tools.h"

namespace vellum::pen {
namespace {

constexpr CursorButtons Button(int value) {
  return CursorButtons(1u << (value - 1));
}

// The buttons a code stands for after `previous` (see CursorDecoder).
CursorButtons CursorButtonsFor(int32_t code, int32_t previous) {
  const auto was = [previous](int a, int b) { return previous == a || previous == b; };
  switch (code) {
    case 1:
      return Button(1);
    case 2:
      return Button(2);
    case 3:
      return was(1, 2) ? Button(1) | Button(2) : Button(3);
    case 4:
      return was(1, 3) ? Button(1) | Button(3) : Button(4);
    case 5:
      if (was(1, 4)) return Button(1) | Button(4);
      if (was(2, 3)) return Button(2) | Button(3);
      return 0;  // no reading fits: nothing is taken for pressed
    case 6:
      if (was(2, 4)) return Button(2) | Button(4);
      if (was(1, 3)) return Button(1) | Button(2) | Button(3);
      return 0;
    case 7:
      if (previous == 3) return Button(3) | Button(4);
      if (was(1, 2)) return Button(1) | Button(2) | Button(4);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

Tool ToolFor(int32_t packetLength, Transducer transducer) {
  if (HasPressure(packetLength)) return Tool::kPressureStylus;
  switch (transducer) {
    case Transducer::kTwoButtonStylus:
      return Tool::kTwoButtonStylus;
    case Transducer::kFourButtonCursor:
      return Tool::kCursor;
    case Transducer::kThreeButtonStylus:
    default:
      return Tool::kThreeButtonStylus;
  }
}

const char* ToolName(Tool t) {
  switch (t) {
    case Tool::kPressureStylus:
      return "pressure stylus";
    case Tool::kTwoButtonStylus:
      return "2-button stylus";
    case Tool::kThreeButtonStylus:
      return "3-button stylus";
    case Tool::kCursor:
      return "4-button cursor";
  }
  return "?";
}

StylusKeys StylusKeysOf(Tool tool, int32_t code) {
  StylusKeys k;
  k.tip = (code & 1) != 0;
  k.lower = (code & 2) != 0;
  k.upper = tool != Tool::kTwoButtonStylus && (code & 4) != 0;
  return k;
}

CursorButtons CursorDecoder::Decode(int32_t code) {
  if (code != previous_) {
    pressed_ = CursorButtonsFor(code, previous_);
    previous_ = code;
  }
  return pressed_;
}

}  // namespace vellum::pen
