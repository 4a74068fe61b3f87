#pragma once
// Packets and times in, evdev frames out: the pen tablet's whole behaviour, without a device.
//
// - The first packet after a quiet line brings the tool into proximity; every packet is one frame
//   with every axis and key (the input core drops repeats, as for the kernel's own serial tablet
//   drivers).
// - No packet for QuietTimeUs: the tool leaves proximity. Pressure, the tip and every button are
//   released before the tool key, in one frame.
// - A different tool with the next packet: the old tool leaves (its frame), the new one enters.
// - The cursor drives the puck device, which has no proximity: entering is its first frame,
//   leaving releases its buttons.
#include <cstdint>

#include "pen/Frames.h"
#include "pen/Layout.h"
#include "pen/Tools.h"
#include "tablet/TabletLink.h"

namespace vellum::pen {

class FrameMaker {
 public:
  explicit FrameMaker(const TabletGeometry& g);

  // How long the line must be quiet before the tool leaves proximity: three packet times at
  // 9600 baud 8O1 (24 ms for 7-byte packets), but at least 20 ms (so 20 ms for 5-byte ones),
  // since a USB adapter may hold bytes for 16 ms before it passes them on. Both stay well under
  // libinput's own 50 ms, after which it would end the proximity itself.
  static int64_t QuietTimeUs(int32_t packetLength);

  // A packet read at `timeUs` (a monotonic clock) with `tool` in hand.
  Frames OnPacket(const TabletPacket& packet, Tool tool, int64_t timeUs);
  // The line has been quiet until `nowUs` (nothing waits to be read): the tool leaves once the
  // quiet time has passed since the last packet.
  Frames OnQuiet(int64_t nowUs);
  // The tool leaves now (the program stops, the tablet is lost); nothing when none is in.
  Frames Leave();

  // When OnQuiet has work to do; -1 while no tool is in proximity.
  int64_t QuietDeadlineUs() const { return inProximity_ ? lastPacketUs_ + quietUs_ : -1; }
  bool InProximity() const { return inProximity_; }

 private:
  void AddPenFrame(Frames& out, const TabletPacket& p, Tool tool);
  void AddPuckFrame(Frames& out, const TabletPacket& p);
  void AddLeaveFrame(Frames& out);

  TabletGeometry geometry_;
  Scale scale_;
  int64_t quietUs_;
  bool inProximity_ = false;
  Tool tool_ = Tool::kPressureStylus;  // the tool in proximity, while there is one
  int64_t lastPacketUs_ = 0;
  CursorDecoder cursor_;
};

}  // namespace vellum::pen
