#include "pen/Layout.h"

#include <linux/input.h>

#include <algorithm>

#include "base/MulDiv.h"
#include "base/Tablet.h"

namespace vellum::pen {

// 100 units a millimetre is 2540 units an inch: 254 / 100 units a count at 1000 lines an inch.
Scale::Scale(const TabletGeometry& g)
    : g_(g),
      unitsPer100Counts_(254000 / ResolutionLpi(g.packetLength)),
      maxUnitsX_(Units(g.maxX)),
      maxUnitsY_(Units(g.maxY)) {}

// Counts are at most 16383 and the ranges at most 9000: the products stay far inside 32 bits.
int32_t Scale::Units(int32_t counts) const {
  return MulDiv(counts, unitsPer100Counts_, 100);
}

int32_t Scale::X(int32_t counts) const {
  return Units(std::clamp(counts, 0, g_.maxX));
}

int32_t Scale::Y(int32_t counts) const {
  return Units(g_.maxY - std::clamp(counts, 0, g_.maxY));
}

namespace {

// What both devices declare: our ids on the serial bus, the tablet's surface at its true size,
// an opaque tablet on the desk.
DeviceLayout TabletSurface(const TabletGeometry& g, const char* name, uint16_t product) {
  const Scale s(g);
  DeviceLayout d;
  d.name = name;
  d.bus = BUS_RS232;
  d.vendor = kVendorId;
  d.product = product;
  d.axes = {{ABS_X, 0, s.MaxX(), kUnitsPerMm}, {ABS_Y, 0, s.MaxY(), kUnitsPerMm}};
  d.properties = {INPUT_PROP_POINTER};
  return d;
}

}  // namespace

DeviceLayout PenLayout(const TabletGeometry& g) {
  DeviceLayout d = TabletSurface(g, kPenDeviceName, kPenProductId);
  if (HasPressure(g.packetLength)) d.axes.push_back({ABS_PRESSURE, 0, kMaxPressure, 0});
  d.keys = {BTN_TOOL_PEN, BTN_TOUCH, BTN_STYLUS, BTN_STYLUS2};
  return d;
}

DeviceLayout PuckLayout(const TabletGeometry& g) {
  DeviceLayout d = TabletSurface(g, kPuckDeviceName, kPuckProductId);
  d.keys = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE};
  return d;
}

}  // namespace vellum::pen
