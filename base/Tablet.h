#pragma once
// What every layer calls the tablet's kinds: its resolution by packet length, the screens the
// user steps through and the transducers of 5-byte tablets.
#include <cstdint>

namespace vellum {

// A data packet's length in bytes: 7 from tablets with a pressure stylus, 5 from the others.
inline constexpr int32_t kPressurePacketLength = 7;
inline constexpr int32_t kPlainPacketLength = 5;

constexpr bool HasPressure(int32_t packetLength) {
  return packetLength == kPressurePacketLength;
}

// Lines per inch: 1000 for tablets with a pressure stylus, 500 otherwise.
constexpr int32_t ResolutionLpi(int32_t packetLength) {
  return HasPressure(packetLength) ? 1000 : 500;
}

// The screen on show; F1 and F5 step through them in this order. A value outside these (which
// no key makes) is a screen that does nothing.
enum class TestMode : uint32_t {
  kInfo = 0,
  kLinear = 1,
  kPressure = 2,  // 7-byte tablets only
  kShake = 3,
  kKeystroke = 4,
};

// The transducer a 5-byte tablet's picture shows, by its number of buttons. The selector lists
// them in this order; a value outside them (no selection) shows no picture.
enum class Transducer : int32_t {
  kTwoButtonStylus = 2,
  kThreeButtonStylus = 3,
  kFourButtonCursor = 4,
};

// The selector's list index of a transducer, and back.
constexpr int32_t SelectorIndex(Transducer t) {
  return static_cast<int32_t>(t) - 2;
}
constexpr Transducer TransducerAt(int32_t index) {
  return static_cast<Transducer>(index + 2);
}

}  // namespace vellum
