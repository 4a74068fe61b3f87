#include "pen/FrameMaker.h"

#include <linux/input.h>

#include <algorithm>

#include "base/Tablet.h"

namespace vellum::pen {
namespace {

// 11 bits a character (start, 8 data, parity, stop) at 9600 baud.
constexpr int64_t PacketsTimeUs(int64_t packets, int32_t packetLength) {
  return packets * packetLength * 11 * 1'000'000 / 9600;
}
constexpr int64_t kQuietPackets = 3;
constexpr int64_t kAdapterHoldUs = 20'000;

}  // namespace

FrameMaker::FrameMaker(const TabletGeometry& g)
    : geometry_(g), scale_(g), quietUs_(QuietTimeUs(g.packetLength)) {}

int64_t FrameMaker::QuietTimeUs(int32_t packetLength) {
  return std::max(PacketsTimeUs(kQuietPackets, packetLength), kAdapterHoldUs);
}

Frames FrameMaker::OnPacket(const TabletPacket& packet, Tool tool, int64_t timeUs) {
  Frames out;
  // Only a quiet line (OnQuiet) ends the proximity: a packet late by the clock came late to the
  // reader, held up behind the others, and the pen never left.
  if (inProximity_ && tool != tool_) {
    AddLeaveFrame(out);
    inProximity_ = false;
  }
  tool_ = tool;
  inProximity_ = true;
  lastPacketUs_ = timeUs;
  if (IsStylus(tool)) {
    AddPenFrame(out, packet, tool);
  } else {
    AddPuckFrame(out, packet);
  }
  return out;
}

Frames FrameMaker::OnQuiet(int64_t nowUs) {
  Frames out;
  if (inProximity_ && nowUs - lastPacketUs_ >= quietUs_) {
    AddLeaveFrame(out);
    inProximity_ = false;
  }
  return out;
}

Frames FrameMaker::Leave() {
  Frames out;
  if (inProximity_) {
    AddLeaveFrame(out);
    inProximity_ = false;
  }
  return out;
}

void FrameMaker::AddPenFrame(Frames& out, const TabletPacket& p, Tool tool) {
  const StylusKeys keys = StylusKeysOf(tool, p.buttons);
  Frame& f = out.Next();
  f.device = Device::kPen;
  f.Add(EV_ABS, ABS_X, scale_.X(p.x));
  f.Add(EV_ABS, ABS_Y, scale_.Y(p.y));
  // libinput reads contact from pressure alone where there is a pressure axis: pressure without
  // the tip switch would draw where the tip picture shows no contact.
  if (HasPressure(geometry_.packetLength)) {
    f.Add(EV_ABS, ABS_PRESSURE, keys.tip ? std::clamp(p.pressure, 0, kMaxPressure) : 0);
  }
  f.Add(EV_KEY, BTN_TOOL_PEN, 1);
  f.Add(EV_KEY, BTN_TOUCH, keys.tip);
  f.Add(EV_KEY, BTN_STYLUS, keys.lower);
  f.Add(EV_KEY, BTN_STYLUS2, keys.upper);
  f.Add(EV_SYN, SYN_REPORT, 0);
}

void FrameMaker::AddPuckFrame(Frames& out, const TabletPacket& p) {
  const CursorButtons b = cursor_.Decode(p.buttons);
  Frame& f = out.Next();
  f.device = Device::kPuck;
  f.Add(EV_ABS, ABS_X, scale_.X(p.x));
  f.Add(EV_ABS, ABS_Y, scale_.Y(p.y));
  // The left and right buttons as such; the upper centre one, between them, is the middle
  // button, and the lower centre one the side button.
  f.Add(EV_KEY, BTN_LEFT, (b & 1) != 0);
  f.Add(EV_KEY, BTN_RIGHT, (b & 2) != 0);
  f.Add(EV_KEY, BTN_MIDDLE, (b & 8) != 0);
  f.Add(EV_KEY, BTN_SIDE, (b & 4) != 0);
  f.Add(EV_SYN, SYN_REPORT, 0);
}

void FrameMaker::AddLeaveFrame(Frames& out) {
  Frame& f = out.Next();
  if (IsStylus(tool_)) {
    f.device = Device::kPen;
    if (HasPressure(geometry_.packetLength)) f.Add(EV_ABS, ABS_PRESSURE, 0);
    f.Add(EV_KEY, BTN_TOUCH, 0);
    f.Add(EV_KEY, BTN_STYLUS, 0);
    f.Add(EV_KEY, BTN_STYLUS2, 0);
    f.Add(EV_KEY, BTN_TOOL_PEN, 0);
  } else {
    f.device = Device::kPuck;
    f.Add(EV_KEY, BTN_LEFT, 0);
    f.Add(EV_KEY, BTN_RIGHT, 0);
    f.Add(EV_KEY, BTN_MIDDLE, 0);
    f.Add(EV_KEY, BTN_SIDE, 0);
  }
  f.Add(EV_SYN, SYN_REPORT, 0);
}

}  // namespace vellum::pen
