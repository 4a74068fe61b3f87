// The devices the pen tablet declares, and the sink between the reader and those devices: which
// device gets which frame, a quiet line through the reader, a device that stops taking frames.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <atomic>
#include <vector>

#include "pen/PenSink.h"
#include "tablet/Reader.h"
#include "tests/support/MemoryPort.h"
#include "tests/tablet/FakePort.h"

namespace vellum::pen {
namespace {

using test::MemoryPort;

TEST(Layout, DeclaresATabletOfTheTrueSize) {
  struct Row {
    const char* name;
    TabletGeometry g;
    int32_t maxX, maxY;  // units; at 100 a millimetre
    bool pressure;
  };
  const Row rows[] = {
      {"5 x 3.75 in, 7-byte", {7, 5000, 3750}, 12700, 9525, true},
      {"9 x 6 in, 7-byte", {7, 9000, 6000}, 22860, 15240, true},
      {"5 x 4.5 in, 5-byte", {5, 2500, 2250}, 12700, 11430, false},
      {"18 x 12 in, 5-byte", {5, 9000, 6000}, 45720, 30480, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const DeviceLayout pen = PenLayout(r.g);
    std::vector<Axis> axes = {{ABS_X, 0, r.maxX, 100}, {ABS_Y, 0, r.maxY, 100}};
    if (r.pressure) axes.push_back({ABS_PRESSURE, 0, 511, 0});
    EXPECT_EQ(pen.axes, axes);
    EXPECT_EQ(pen.keys, (std::vector<uint16_t>{BTN_TOOL_PEN, BTN_TOUCH, BTN_STYLUS, BTN_STYLUS2}));
    EXPECT_EQ(pen.properties, (std::vector<uint16_t>{INPUT_PROP_POINTER}));
    EXPECT_EQ(pen.name, "Vellum pen tablet");
    EXPECT_EQ(pen.bus, BUS_RS232);
    EXPECT_NE(pen.vendor, 0x056a) << "a maker's id brings that maker's special cases";

    const DeviceLayout puck = PuckLayout(r.g);
    EXPECT_EQ(puck.axes, (std::vector<Axis>{{ABS_X, 0, r.maxX, 100}, {ABS_Y, 0, r.maxY, 100}}));
    EXPECT_EQ(puck.keys, (std::vector<uint16_t>{BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE}));
    EXPECT_NE(puck.name, pen.name);
  }
}

struct RecordingDevice final : IFrameDevice {
  bool WriteFrame(const Event* events, size_t count) override {
    if (fails) return false;
    frames.emplace_back(events, events + count);
    return true;
  }
  std::string LastError() const override { return "write: No such device"; }
  std::vector<std::vector<Event>> frames;
  bool fails = false;
};

TabletEvent EventAt(int code, int x, int y, int pressure, int64_t us) {
  TabletEvent e;
  e.code = code;
  e.x = x;
  e.y = y;
  e.pressure = pressure;
  e.timeUs = us;
  return e;
}

TEST(PenSink, TheCursorSignalSwitchesToolsAtTheNextPacket) {
  RecordingDevice pen, puck;
  std::atomic<bool> stop{false}, usePuck{false};
  PenSink sink({5, 2500, 2250}, Tool::kTwoButtonStylus, pen, &puck, stop, &usePuck);
  sink.OnTabletEvent(EventAt(1, 0, 0, 0, 0));
  usePuck = true;
  EXPECT_EQ(pen.frames.size(), 1u) << "nothing happens before the next packet";
  sink.OnTabletEvent(EventAt(1, 0, 0, 0, 5'729));
  ASSERT_EQ(pen.frames.size(), 2u);
  EXPECT_EQ(pen.frames[1].back(), (Event{EV_SYN, SYN_REPORT, 0}));
  EXPECT_EQ(pen.frames[1][3], (Event{EV_KEY, BTN_TOOL_PEN, 0}));
  ASSERT_EQ(puck.frames.size(), 1u);
  EXPECT_EQ(puck.frames[0][2], (Event{EV_KEY, BTN_LEFT, 1}));
  sink.Finish();
  ASSERT_EQ(puck.frames.size(), 2u);
  EXPECT_EQ(puck.frames[1][0], (Event{EV_KEY, BTN_LEFT, 0}));
  EXPECT_FALSE(stop.load());
  EXPECT_TRUE(sink.Failure().empty());
}

// A device that stops taking frames (destroyed under us) ends the reader with the reason.
TEST(PenSink, AFailedWriteStopsTheReader) {
  RecordingDevice pen;
  pen.fails = true;
  std::atomic<bool> stop{false};
  PenSink sink({7, 5000, 3750}, Tool::kPressureStylus, pen, nullptr, stop);
  sink.OnTabletEvent(EventAt(0, 0, 0, 0, 0));
  EXPECT_TRUE(stop.load());
  EXPECT_EQ(sink.Failure(), "writing to the Vellum pen tablet failed (write: No such device)");
  pen.fails = false;
  sink.Finish();
  EXPECT_TRUE(pen.frames.empty()) << "nothing more goes to a device that failed";
}

// Through the reader: a stroke, then the line goes quiet; the reader calls the sink once the
// quiet time has passed on the port's clock, and not again while nothing is in proximity.
TEST(PenSink, TheReaderEndsTheProximityOnAQuietLine) {
  MemoryPort port;
  port.Add(test::Packet7(0, 2500, 1875, 0));
  port.Add(test::Packet7(1, 2500, 1875, 200));
  // Each empty read costs 1 ms and a 5 ms pause on this port's clock: 24 ms of quiet after
  // five of them.
  for (int i = 0; i < 8; ++i) port.Add(MemoryPort::kEmpty);
  port.Add(test::Packet7(0, 2500, 1875, 0));
  RecordingDevice pen;
  std::atomic<bool> stop{false};
  PenSink sink({7, 5000, 3750}, Tool::kPressureStylus, pen, nullptr, stop);
  ReaderConfig config{5000, 3750, 5000, 3750, 7};
  config.quiet = &sink;
  RunReader(port, config, sink, stop, nullptr);
  ASSERT_EQ(pen.frames.size(), 4u);  // in, tip down, out, in
  EXPECT_EQ(pen.frames[2].size(), 6u);
  EXPECT_EQ(pen.frames[2][4], (Event{EV_KEY, BTN_TOOL_PEN, 0}));
  EXPECT_EQ(pen.frames[3][3], (Event{EV_KEY, BTN_TOOL_PEN, 1}));
  sink.Finish();
  EXPECT_EQ(pen.frames.size(), 5u);
}

}  // namespace
}  // namespace vellum::pen
