#pragma once
// What the pen and puck devices declare, and how tablet counts become their axis units.
//
// libinput takes a device for a tablet only with ABS_X, ABS_Y, a pen key and a resolution on both
// axes, and measures the tablet's size from that resolution. The counts are scaled so that the
// resolution is exactly 100 units a millimetre: 2.54 units a count at 1000 lines an inch, 5.08 at
// 500 (a resolution of 39 or 19 units/mm would make a 5-inch tablet 128 or 131 mm wide).
#include <cstdint>
#include <string>
#include <vector>

#include "base/Tablet.h"

namespace vellum::pen {

inline constexpr int32_t kUnitsPerMm = 100;
inline constexpr const char* kPenDeviceName = "Vellum pen tablet";
inline constexpr const char* kPuckDeviceName = "Vellum pen tablet puck";
// Vendor 0 is no maker's, so no rule keyed to one (libinput's, udev's hwdb) applies to us.
inline constexpr uint16_t kVendorId = 0x0000;
inline constexpr uint16_t kPenProductId = 0x0001;
inline constexpr uint16_t kPuckProductId = 0x0002;

struct Axis {
  uint16_t code = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t resolution = 0;  // units per millimetre
  friend bool operator==(const Axis&, const Axis&) = default;
};

struct DeviceLayout {
  std::string name;
  uint16_t bus = 0;
  uint16_t vendor = 0;
  uint16_t product = 0;
  std::vector<Axis> axes;            // EV_ABS
  std::vector<uint16_t> keys;        // EV_KEY
  std::vector<uint16_t> properties;  // INPUT_PROP_*
};

// The tablet as found: packet length 7 or 5 and its ranges in counts (REQUIRES: maxX, maxY > 0).
struct TabletGeometry {
  int32_t packetLength = kPressurePacketLength;
  int32_t maxX = 0;
  int32_t maxY = 0;
};

// Counts to axis units. X runs as on the tablet; Y is turned, since the tablet counts up from
// its lower edge and evdev down from the top. Counts outside the range (the pen beyond the
// active area) are held at its edge.
class Scale {
 public:
  explicit Scale(const TabletGeometry& g);
  int32_t X(int32_t counts) const;
  int32_t Y(int32_t counts) const;
  int32_t MaxX() const { return maxUnitsX_; }
  int32_t MaxY() const { return maxUnitsY_; }

 private:
  int32_t Units(int32_t counts) const;
  TabletGeometry g_;
  int32_t unitsPer100Counts_;
  int32_t maxUnitsX_, maxUnitsY_;
};

// The pen device: a tablet (opaque, on the desk) with the pen tool, the tip, two side buttons
// and, on 7-byte tablets, pressure.
DeviceLayout PenLayout(const TabletGeometry& g);
// The puck device (5-byte tablets only): an absolute pointer over the same area, with the
// cursor's four buttons as mouse buttons.
DeviceLayout PuckLayout(const TabletGeometry& g);

inline constexpr int32_t kMaxPressure = 511;

}  // namespace vellum::pen
