// The emulator's line speed: bytes due after a given time, on a virtual clock.
#include <gtest/gtest.h>

#include "tools/emulator/Emulator.h"

namespace vellum::emu {
namespace {

TEST(EmulatorRate, BytesDueScaleWithTheMultiplier) {
  struct Row {
    double rate;
    size_t bytes;  // due after 10 byte times at 9600 baud
  };
  for (const Row& r : {Row{1, 10}, Row{2, 20}, Row{100, 1000}, Row{0, 10}}) {
    EmulatorConfig config;
    config.streamAtStart = true;
    config.rateMultiplier = r.rate;
    Stream packets;
    for (int i = 0; i < 300; ++i) AppendPacket(packets, Pen{1, 10 * i, 20 * i, i}, 7);
    TabletEmulator tablet(config, packets);
    std::vector<uint8_t> out;
    tablet.Transmit(10 * kByteMs + 1e-6, out);
    EXPECT_EQ(out.size(), r.bytes) << "rate " << r.rate;
  }
}

}  // namespace
}  // namespace vellum::emu
