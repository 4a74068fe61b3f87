// The real port layer and the probe against the emulator on ptys: every model and fault the
// emulator has, as the program meets them at start-up. Then the reader on a line that drops.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "base/MulDiv.h"
#include "tablet/Detection.h"
#include "tablet/Reader.h"
#include "tests/support/RecordingSink.h"
#include "tests/tools/EmulatorPorts.h"

namespace vellum::test {
namespace {

using emu::Fault;

TEST(ProbeOnPty, FindsWhatTheEmulatorIs) {
  struct Case {
    const char* name;
    emu::EmulatorConfig config;
    bool streamAtStart;
    TabletInfo want;  // port 0: no tablet
  };
  const Case cases[] = {
      {"7-byte", Tablet(7, 5000, 3750), false, {2, 7, 5000, 3750}},
      {"5-byte", Tablet(5, 9000, 2250), false, {2, 5, 9000, 2250}},
      {"7-byte left streaming", Tablet(7, 6000, 6000), true, {2, 7, 6000, 6000}},
      {"5-byte left streaming", Tablet(5, 2500, 2500), true, {2, 5, 2500, 2500}},
      {"slow identification",
       Tablet(7, 3000, 2250, Fault::kSlowIdentify),
       false,
       {2, 7, 3000, 2250}},
      {"range never accepted", Tablet(7, 5000, 3750, Fault::kBadRange), false, {}},
      {"unaccepted Y", Tablet(5, 5000, 3000), false, {}},
      {"silent", Tablet(7, 5000, 3750, Fault::kSilent), false, {}},
      {"garbage", Tablet(7, 5000, 3750, Fault::kGarbage), false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmulatorPorts ports;
    emu::EmulatorConfig config = c.config;
    config.streamAtStart = c.streamAtStart;
    ports.Add(2, config, emu::DemoStream(config.maxX, config.maxY, config.packetLength));
    SerialPort port(ports.paths);
    const TabletInfo found = ScanPorts(port);
    EXPECT_EQ(found.port, c.want.port);
    EXPECT_EQ(found.packetLength, c.want.packetLength);
    EXPECT_EQ(found.maxX, c.want.maxX);
    EXPECT_EQ(found.maxY, c.want.maxY);
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST(ProbeOnPty, DialogueOfAFoundTablet) {
  EmulatorPorts ports;
  emu::PtyTablet& tablet = ports.Add(1, Tablet(7));
  SerialPort port(ports.paths);
  ASSERT_EQ(ScanPorts(port).port, 1u);
  // DC3, "z~", then "a" and "@" once the block named the tablet, and DC1 last.
  const std::vector<uint8_t> want = {0x13, 'z', '~', 'a', '@', 0x11};
  EXPECT_EQ(tablet.ReceivedEndingWith({0x11}, 2000), want);
}

TEST(ProbeOnPty, BadRangeIsAbandonedWithDc1) {
  EmulatorPorts ports;
  emu::PtyTablet& tablet = ports.Add(3, Tablet(5, 5000, 3750, Fault::kBadRange));
  SerialPort port(ports.paths);
  EXPECT_EQ(ScanPorts(port).port, 0u);
  const std::vector<uint8_t> said = tablet.ReceivedEndingWith({0x11}, 2000);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(), 0x11);
  // Each rejected reply asked again; more than 10 start bytes end it.
  EXPECT_GE(std::count(said.begin(), said.end(), uint8_t('a')), 11);
}

TEST(ProbeOnPty, FirstOfTwoTabletsWins) {
  EmulatorPorts ports;
  ports.Add(1, Tablet(5, 6000, 3750));
  emu::PtyTablet& later = ports.Add(3, Tablet(7, 9000, 6000));
  SerialPort port(ports.paths);
  const TabletInfo found = ScanPorts(port);
  EXPECT_EQ(found.port, 1u);
  EXPECT_EQ(found.packetLength, 5);
  EXPECT_EQ(found.maxX, 6000);
  // COM3 was probed in full all the same.
  const std::vector<uint8_t> said = later.ReceivedEndingWith({0x11}, 2000);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(), 0x11);
}

TEST(ProbeOnPty, FoundPortOpensAgainAndStreams) {
  EmulatorPorts ports;
  ports.Add(4, Tablet(7), emu::DemoStream(5000, 3750, 7));
  SerialPort port(ports.paths);
  const TabletInfo found = ScanPorts(port);
  ASSERT_EQ(found.port, 4u);
  ASSERT_TRUE(OpenTabletPort(port, found));
  // The probe's DC1 started the stream: a whole packet arrives within a second.
  PacketAssembler assembler(7);
  bool packet = false;
  for (int i = 0; i < 1000 && !packet; ++i) {
    const ReadResult r = port.ReadByte();
    ASSERT_TRUE(r.ok);
    if (r.count == 0)
      port.Pause(1);
    else
      packet = assembler.Push(r.byte) == PacketAssembler::Step::kComplete;
  }
  EXPECT_TRUE(packet);
}

TEST(ReaderOnPty, ReadsEveryPacketUntilTheLineDrops) {
  constexpr int kPackets = 40;
  emu::EmulatorConfig config = Tablet(7, 5000, 3750);
  config.hangUpAfter = kPackets;
  emu::Stream stream;
  for (int i = 0; i < kPackets; ++i) {
    emu::AppendPacket(stream, emu::Pen{i % 8, 100 * i, 3750 - 90 * i, 12 * i}, 7);
  }
  EmulatorPorts ports;
  ports.Add(1, config, std::move(stream));
  SerialPort port(ports.paths);
  ASSERT_EQ(port.Open(1), OpenResult::kOk);
  port.Write(&kProbeEndByte, 1);  // DC1 starts the stream, as at the end of a probe

  const ReaderConfig reader{1024, 768, 5000, 3750, 7};
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  auto done =
      std::async(std::launch::async, [&] { return RunReader(port, reader, sink, stop, &waker); });
  // The hang-up alone must end the loop; the stop is only a safety net for a failing test.
  if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    stop.store(true);
    waker.Wake();
    FAIL() << "the reader did not see the hang-up";
  }
  EXPECT_EQ(done.get(), 0);
  ASSERT_EQ(sink.events.size(), size_t(kPackets));
  const int last = kPackets - 1;
  EXPECT_EQ(sink.events.back().code, last % 8);
  EXPECT_EQ(sink.events.back().client,
            (Point{MulDiv(100 * last, 1024, 5000), MulDiv(90 * last, 768, 3750)}));
}

TEST(ReaderOnPty, StopEndsAnIdleReaderAtOnce) {
  EmulatorPorts ports;
  ports.Add(1, Tablet(7));  // never streams: no DC1
  SerialPort port(ports.paths);
  ASSERT_EQ(port.Open(1), OpenResult::kOk);
  RecordingSink sink;
  std::atomic<bool> stop{false};
  Waker waker;
  auto done = std::async(std::launch::async, [&] {
    return RunReader(port, ReaderConfig{1024, 768, 5000, 3750, 7}, sink, stop, &waker);
  });
  stop.store(true);
  waker.Wake();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
  EXPECT_EQ(sink.count.load(), 0);
}

}  // namespace
}  // namespace vellum::test
