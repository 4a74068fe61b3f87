#pragma once
// Evdev events and frames as plain values: what the pen tablet hands to its devices. A frame is
// the events of one moment, ending in SYN_REPORT, for one device; fixed capacity, no heap.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vellum::pen {

struct Event {
  uint16_t type = 0;
  uint16_t code = 0;
  int32_t value = 0;
  friend bool operator==(const Event&, const Event&) = default;
};

// The pen device (styluses: a tablet to libinput) or the puck device (the cursor: an absolute
// pointer with mouse buttons, since libinput ignores a tablet's mouse tool).
enum class Device : uint8_t { kPen, kPuck };

struct Frame {
  // The largest frame: X, Y, pressure, the tool and three pen keys, SYN_REPORT.
  static constexpr size_t kCapacity = 8;

  Device device = Device::kPen;
  std::array<Event, kCapacity> events{};
  size_t count = 0;

  // Events past the capacity are dropped; the frame builders stay within it (tested).
  void Add(uint16_t type, uint16_t code, int32_t value) {
    if (count < kCapacity) events[count++] = {type, code, value};
  }
  const Event* begin() const { return events.data(); }
  const Event* end() const { return events.data() + count; }
};

// What one packet or one quiet line gives: none, one frame, or two on a tool change (the old
// tool out, the new one in).
struct Frames {
  std::array<Frame, 2> frames{};
  size_t count = 0;

  Frame& Next() {
    Frame& f = frames[count < frames.size() ? count++ : frames.size() - 1];
    f = Frame{};
    return f;
  }
  const Frame* begin() const { return frames.data(); }
  const Frame* end() const { return frames.data() + count; }
};

}  // namespace vellum::pen
