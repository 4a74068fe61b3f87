// The reader loop: bytes in, one event per complete packet out.
#include "tablet/Reader.h"

#include <poll.h>

#include <cerrno>

#include "base/MulDiv.h"
#include "tablet/LineStats.h"

namespace vellum {
namespace {

constexpr int kIdleWaitMs = 5;
constexpr uint8_t kFillerByte = 0x80;

// The pause after an empty read or a filler byte. On a real descriptor it ends early when input
// arrives or a stop is asked for; a port without one (a fake) advances its own clock.
void IdleWait(IPort& port, const Waker* waker) {
  const int portFd = port.PollFd();
  if (portFd < 0) {
    port.Pause(kIdleWaitMs);
    return;
  }
  pollfd fds[2] = {{portFd, POLLIN, 0}, {waker ? waker->Fd() : -1, POLLIN, 0}};
  int r;
  do {
    r = ::poll(fds, waker ? 2 : 1, kIdleWaitMs);
  } while (r < 0 && errno == EINTR);
}

}  // namespace

TabletEvent DecodeEvent(const uint8_t* packet, const ReaderConfig& config) {
  const TabletPacket decoded = DecodePacket(packet, config.packetLength);
  TabletEvent event;
  event.code = decoded.buttons;
  event.x = decoded.x;
  event.y = decoded.y;
  event.pressure = decoded.pressure;
  event.client.x = MulDiv(decoded.x, config.width, config.maxX);
  event.client.y = MulDiv(config.maxY - decoded.y, config.height, config.maxY);
  return event;
}

int RunReader(IPort& port, const ReaderConfig& config, ITabletSink& sink,
              const std::atomic<bool>& stop, const Waker* waker, IByteTap* tap) {
  PacketAssembler assembler(config.packetLength);
  while (!stop.load(std::memory_order_relaxed)) {
    const ReadResult r = port.ReadByte();
    if (!r.ok) break;
    if (r.count == 1 && tap) tap->OnBytes(&r.byte, 1);
    if (r.count == 0 || r.byte == kFillerByte) {
      IdleWait(port, waker);
      continue;
    }
    const int position = assembler.Position();
    const PacketAssembler::Step step = assembler.Push(r.byte);
    if (step == PacketAssembler::Step::kComplete) {
      TabletEvent event = DecodeEvent(assembler.Bytes().data(), config);
      event.timeUs = port.NowUs();
      if (config.stats) config.stats->OnPacket(event.timeUs, event.code, event.x, event.y);
      sink.OnTabletEvent(event);
    } else if (step != PacketAssembler::Step::kStored && config.stats) {
      config.stats->OnAssemblerStep(step, position);  // a stored byte drops nothing
    }
  }
  return 0;
}

}  // namespace vellum
