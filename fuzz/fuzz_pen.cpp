// The pen tablet's frame maker on any sequence of packets, quiet lines, tool changes and stops,
// checked against what the kernel's input core and libinput rely on: every frame one device's,
// ending in its only SYN_REPORT and within the declared axes and keys; pressure only with the tip;
// a tool leaves by releasing everything before its tool key; one tool in proximity at a time,
// and none once stopped with nothing left pressed; the quiet line ends proximity exactly when
// due, and nothing else but a tool change or a stop does.
//
// Input: byte 0 chooses the tablet (bit 0: 7 or 5 bytes; bits 1-3: the ranges); then records of
// 6 bytes: an action (0-4 a packet, 5 a quiet check, 6 a tool change, 7 a stop), the time step,
// the button code, and X, Y and pressure bits.
#include <linux/input.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "pen/FrameMaker.h"

namespace {

using namespace vellum::pen;

void Check(bool ok) {
  if (!ok) std::abort();
}

// What the devices hold, as the input core would after each frame.
struct DeviceState {
  std::map<uint16_t, int32_t> keys;
  int32_t pressure = 0;
  bool AnyKeyDown() const {
    return std::any_of(keys.begin(), keys.end(), [](const auto& k) { return k.second != 0; });
  }
};

bool Declared(const DeviceLayout& layout, const Event& e) {
  if (e.type == EV_KEY) {
    return std::find(layout.keys.begin(), layout.keys.end(), e.code) != layout.keys.end() &&
           (e.value == 0 || e.value == 1);
  }
  if (e.type == EV_ABS) {
    for (const Axis& a : layout.axes) {
      if (a.code == e.code) return e.value >= a.minimum && e.value <= a.maximum;
    }
  }
  return false;
}

void Apply(const Frames& frames, const DeviceLayout& penLayout, const DeviceLayout& puckLayout,
           DeviceState& pen, DeviceState& puck) {
  for (const Frame& f : frames) {
    Check(f.count >= 1 && f.count <= Frame::kCapacity);
    const DeviceLayout& layout = f.device == Device::kPen ? penLayout : puckLayout;
    DeviceState& state = f.device == Device::kPen ? pen : puck;
    const Event* syn = f.end() - 1;
    Check(syn->type == EV_SYN && syn->code == SYN_REPORT);
    bool toolOut = false;
    for (const Event* e = f.begin(); e != syn; ++e) {
      Check(Declared(layout, *e));
      Check(!toolOut);  // the tool key goes last when it goes
      if (e->type == EV_KEY) state.keys[e->code] = e->value;
      if (e->type == EV_ABS && e->code == ABS_PRESSURE) state.pressure = e->value;
      if (e->type == EV_KEY && e->code == BTN_TOOL_PEN && e->value == 0) {
        Check(state.pressure == 0);
        for (const auto& [code, value] : state.keys) Check(code == BTN_TOOL_PEN || value == 0);
        toolOut = true;
      }
    }
    if (f.device == Device::kPen) Check(state.pressure == 0 || state.keys[BTN_TOUCH] == 1);
  }
  // Never both tools at once.
  Check(!(pen.keys[BTN_TOOL_PEN] == 1 && puck.AnyKeyDown()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  constexpr int32_t kX[] = {2500, 3000, 5000, 6000, 9000};
  constexpr int32_t kY[] = {2250, 2500, 3750, 6000};
  const TabletGeometry g{(data[0] & 1) ? 5 : 7, kX[(data[0] >> 1) % 5], kY[(data[0] >> 4) % 4]};
  const DeviceLayout penLayout = PenLayout(g), puckLayout = PuckLayout(g);
  FrameMaker maker(g);
  DeviceState pen, puck;
  Tool tool = g.packetLength == 7 ? Tool::kPressureStylus : Tool::kThreeButtonStylus;
  int64_t now = 0;
  bool in = false;
  Tool inTool = tool;
  int64_t lastPacket = 0;
  for (size_t i = 1; i + 6 <= size; i += 6) {
    const uint8_t* r = data + i;
    now += int64_t(r[1]) * 250;  // up to 64 ms a step
    const int action = r[0] & 7;
    if (action <= 4) {
      const vellum::TabletPacket p{r[2] & 7, (r[3] << 6 | r[2] >> 3) & 0x3FFF,
                                   (r[4] << 6 | r[5] >> 2) & 0x3FFF, (r[5] << 1 | r[4] >> 7) & 511};
      const Frames out = maker.OnPacket(p, tool, now);
      Check(out.count == (in && tool != inTool ? 2u : 1u));  // late or not, no other leaving
      Apply(out, penLayout, puckLayout, pen, puck);
      in = true;
      inTool = tool;
      lastPacket = now;
      Check(maker.QuietDeadlineUs() == now + FrameMaker::QuietTimeUs(g.packetLength));
    } else if (action == 5) {
      const Frames out = maker.OnQuiet(now);
      const bool due = in && now - lastPacket >= FrameMaker::QuietTimeUs(g.packetLength);
      Check((out.count == 1) == due);
      if (due) in = false;
      Apply(out, penLayout, puckLayout, pen, puck);
    } else if (action == 6 && g.packetLength == 5) {
      const Tool tools[] = {Tool::kTwoButtonStylus, Tool::kThreeButtonStylus, Tool::kCursor};
      tool = tools[r[2] % 3];
    } else if (action == 7) {
      Apply(maker.Leave(), penLayout, puckLayout, pen, puck);
      in = false;
    }
    Check(maker.InProximity() == in);
  }
  Apply(maker.Leave(), penLayout, puckLayout, pen, puck);
  Check(!maker.InProximity() && maker.QuietDeadlineUs() == -1);
  Check(!pen.AnyKeyDown() && pen.pressure == 0 && !puck.AnyKeyDown());
  return 0;
}
