// `vellum --pen` on the emulator's engine and a virtual clock, with devices that record: what it
// says, which devices it makes, the frames of a whole stroke, and how each kind of end leaves
// the tool out of proximity before the devices go.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/PenCommand.h"
#include "tests/capture/EmulatorPort.h"
#include "tools/emulator/Stream.h"

namespace vellum {
namespace {

using pen::Event;

// Everything the devices saw, in order, across devices.
struct Log {
  struct Entry {
    std::string device;
    std::vector<Event> events;  // empty: the device was destroyed
  };
  std::vector<Entry> entries;
  std::vector<pen::DeviceLayout> made;
  std::string refuse;          // non-empty: making a device fails with this reason
  size_t stopAfterFrames = 0;  // non-zero: set `stop` once this many frames were written
  std::atomic<bool>* stop = nullptr;

  size_t Frames() const {
    size_t n = 0;
    for (const Entry& e : entries) n += !e.events.empty();
    return n;
  }
  // The value of `code` in each frame that has it.
  std::vector<int32_t> Values(uint16_t type, uint16_t code) const {
    std::vector<int32_t> v;
    for (const Entry& e : entries) {
      for (const Event& ev : e.events) {
        if (ev.type == type && ev.code == code) v.push_back(ev.value);
      }
    }
    return v;
  }
};

class LoggingDevice final : public pen::IFrameDevice {
 public:
  LoggingDevice(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
  ~LoggingDevice() override { log_.entries.push_back({name_, {}}); }
  bool WriteFrame(const Event* events, size_t count) override {
    log_.entries.push_back({name_, {events, events + count}});
    if (log_.stopAfterFrames && log_.Frames() == log_.stopAfterFrames) *log_.stop = true;
    return true;
  }

 private:
  Log& log_;
  std::string name_;
};

PenDeviceMaker MakerFor(Log& log) {
  return [&log](const pen::DeviceLayout& layout, std::string& why,
                std::string& node) -> std::unique_ptr<pen::IFrameDevice> {
    if (!log.refuse.empty()) {
      why = log.refuse;
      return nullptr;
    }
    node = "/dev/input/event" + std::to_string(10 + log.made.size());
    log.made.push_back(layout);
    return std::make_unique<LoggingDevice>(log, layout.name);
  };
}

std::vector<int32_t> Join(std::initializer_list<std::vector<int32_t>> parts) {
  std::vector<int32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct PenRun {
  int status = -1;
  std::string err;
  std::vector<std::string> lines;
};

PenRun RunPen(int packetLength, const std::string& script, Log& log, PenSetup setup = {}) {
  emu::EmulatorConfig config;
  config.packetLength = packetLength;
  config.maxX = packetLength == 7 ? 5000 : 2500;
  config.maxY = packetLength == 7 ? 3750 : 2250;
  config.loop = false;
  emu::Stream stream;
  EXPECT_EQ(emu::ParseScript(script, packetLength, stream), "");
  // The line drops a second after the script's end.
  test::EmulatorPort port(config, stream, 1, 3000);
  setup.paths.Set(1, "/nonexistent/pen-com1");  // gone: the lost tablet was unplugged
  for (int n = 2; n <= 4; ++n) setup.paths.Set(n, "/nonexistent/com" + std::to_string(n));
  setup.makeDevice = MakerFor(log);
  std::atomic<bool> stop{false};
  log.stop = &stop;
  std::ostringstream err;
  PenRun run;
  run.status = RunPenCommand(port, setup, err, stop);
  run.err = err.str();
  std::istringstream lines(run.err);
  for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
  return run;
}

const char* kStroke =
    "packet 0 2500 1875 0\n"
    "stroke 1 2500 1875 3000 1875 12 0 480\n"  // tip down, pressure rising
    "packet 3 3000 1875 480\n"                 // the lower rocker half too
    "packet 0 3000 1875 0\n"                   // tip up
    "gap 100\n"                                // out of proximity
    "packet 0 100 100 0\n";                    // in again

TEST(PenCommand, AStrokeThenTheLineIsLost) {
  Log log;
  const PenRun run = RunPen(7, kStroke, log);
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.lines.size(), 2u) << run.err;
  EXPECT_EQ(
      run.lines[0],
      "Vellum pen tablet on /dev/input/event10: 7-byte tablet on COM1 (/nonexistent/pen-com1), "
      "5''x3.75'' (127 x 95 mm), pressure stylus in hand");
  EXPECT_EQ(run.lines[1], "Vellum pen tablet removed: the tablet was lost: unplugged");
  ASSERT_EQ(log.made.size(), 1u) << "no puck on a 7-byte tablet";

  // In, 12 stroke packets, the rocker, tip up, out; in, out (the quiet before the hang-up).
  EXPECT_EQ(log.Values(EV_KEY, BTN_TOOL_PEN), Join({std::vector<int32_t>(15, 1), {0, 1, 0}}));
  EXPECT_EQ(log.Values(EV_KEY, BTN_STYLUS), Join({std::vector<int32_t>(13, 0), {1, 0, 0, 0, 0}}));
  const std::vector<int32_t> pressure = log.Values(EV_ABS, ABS_PRESSURE);
  ASSERT_EQ(pressure.size(), 18u);
  for (size_t i = 2; i <= 12; ++i) EXPECT_GT(pressure[i], pressure[i - 1]) << i;
  EXPECT_EQ(pressure[12], 480);
  ASSERT_FALSE(log.entries.empty());
  EXPECT_TRUE(log.entries.back().events.empty()) << "the device goes last";
}

TEST(PenCommand, AStopLeavesProximityBeforeTheDeviceGoes) {
  Log log;
  log.stopAfterFrames = 5;  // in the middle of the stroke, tip down
  PenSetup setup;
  setup.stopReason = [] { return std::string("stopped by SIGTERM"); };
  const PenRun run = RunPen(7, kStroke, log, setup);
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 2u) << run.err;
  EXPECT_EQ(run.lines[1], "Vellum pen tablet removed: stopped by SIGTERM");
  ASSERT_EQ(log.entries.size(), 7u);
  const std::vector<Event> out = {{EV_ABS, ABS_PRESSURE, 0}, {EV_KEY, BTN_TOUCH, 0},
                                  {EV_KEY, BTN_STYLUS, 0},   {EV_KEY, BTN_STYLUS2, 0},
                                  {EV_KEY, BTN_TOOL_PEN, 0}, {EV_SYN, SYN_REPORT, 0}};
  EXPECT_EQ(log.entries[5].events, out);
  EXPECT_TRUE(log.entries[6].events.empty());
}

TEST(PenCommand, FiveByteTabletsGetAPuckToo) {
  Log log;
  PenSetup setup;
  setup.transducer = Transducer::kFourButtonCursor;
  const PenRun run = RunPen(5, "packet 1 1250 1125\npacket 0 1250 1125\n", log, setup);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines[0],
            "Vellum pen tablet on /dev/input/event10, Vellum pen tablet puck on "
            "/dev/input/event11: 5-byte tablet on COM1 (/nonexistent/pen-com1), 5''x4.50'' "
            "(127 x 114 mm), 4-button cursor in hand");
  ASSERT_EQ(log.made.size(), 2u);
  EXPECT_EQ(log.made[1].name, "Vellum pen tablet puck");
  ASSERT_GE(log.entries.size(), 3u);
  EXPECT_EQ(log.entries[0].device, "Vellum pen tablet puck");
  EXPECT_EQ(log.Values(EV_KEY, BTN_LEFT), (std::vector<int32_t>{1, 0, 0}));
  EXPECT_TRUE(log.Values(EV_KEY, BTN_TOOL_PEN).empty());
}

TEST(PenCommand, NothingIsMadeWithoutATabletOrADevice) {
  {
    Log log;
    emu::EmulatorConfig silent;
    silent.fault = emu::Fault::kSilent;
    test::EmulatorPort port(silent, {}, 1, 3000);
    PenSetup setup;
    for (int n = 1; n <= 4; ++n) setup.paths.Set(n, "/nonexistent/com" + std::to_string(n));
    setup.makeDevice = MakerFor(log);
    std::atomic<bool> stop{false};
    std::ostringstream err;
    EXPECT_EQ(RunPenCommand(port, setup, err, stop), 1);
    EXPECT_NE(err.str().find("Tablet  not  found"), std::string::npos) << err.str();
    EXPECT_TRUE(log.made.empty());
  }
  {
    Log log;
    log.refuse = "cannot open /dev/uinput (No such file or directory): load the uinput module";
    const PenRun run = RunPen(7, kStroke, log);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vellum: no pen tablet: " + log.refuse + "\n");
  }
}

// --pen is a mode of its own: it refuses what only the window or the other modes take, and
// --transducer has no meaning without it.
TEST(PenCommandLine, PenOptions) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // "" when the line is fine
    Transducer transducer = Transducer::kThreeButtonStylus;
  };
  const Row rows[] = {
      {{"--pen", "--ports", "auto"}, ""},
      {{"--pen", "--transducer", "4"}, "", Transducer::kFourButtonCursor},
      {{"--transducer=2", "--pen"}, "", Transducer::kTwoButtonStylus},
      {{"--pen", "--transducer", "1"}, "--transducer: expected 2, 3 or 4, got '1'"},
      {{"--transducer", "3"}, "--transducer goes with --pen only"},
      {{"--monitor", "--transducer", "3"}, "--transducer goes with --pen only"},
      {{"--pen", "--probe"}, "--pen, not with --probe"},
      {{"--pen", "--monitor", "--stats"}, "--pen, not with --monitor"},
      {{"--pen", "--record", "a.cap"}, "--pen, not with --record"},
      {{"--pen", "--pointer", "none"}, "--pen, not with --pointer"},
      {{"--pen", "notes.vlm"}, "--pen, not with a DOCUMENT"},
      {{"--list-ports", "--pen"}, "--list-ports stands alone, not with --pen"},
  };
  for (const Row& r : rows) {
    const ParsedCommandLine p = ParseCommandLine(r.args);
    EXPECT_EQ(p.error, r.error) << r.args[0] << " " << r.args[1];
    if (*r.error != '\0') continue;
    EXPECT_EQ(p.options.transducer, r.transducer) << r.args[1];
  }
}

TEST(PenCommand, ATransducerOnASevenByteTabletIsIgnoredAloud) {
  Log log;
  PenSetup setup;
  setup.transducer = Transducer::kFourButtonCursor;
  setup.transducerGiven = true;
  const PenRun run = RunPen(7, "packet 1 100 100 200\n", log, setup);
  ASSERT_EQ(run.lines.size(), 3u) << run.err;
  EXPECT_EQ(run.lines[0],
            "vellum: a 7-byte tablet has its pressure stylus only; --transducer is ignored");
  EXPECT_NE(run.lines[1].find("pressure stylus in hand"), std::string::npos);
  EXPECT_EQ(log.made.size(), 1u);
}

}  // namespace
}  // namespace vellum
