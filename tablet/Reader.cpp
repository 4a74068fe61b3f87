// The reader loop: bytes in, one event per complete packet out.
#include "tablet/Reader.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/MulDiv.h"
#include "tablet/LineStats.h"

namespace vellum {
namespace {

constexpr int kFillerPauseMs = 5;
constexpr uint8_t kFillerByte = 0x80;

// After an empty read: until `bytes` are waiting or a stop is asked for, with no timeout, so a
// quiet tablet costs no wake-ups. After a filler byte: at most 5 ms, ending early when a byte is
// waiting. Without a waker nothing could end an endless wait, so that case keeps the 5 ms bound.
// A port without a descriptor (a fake) advances its own clock instead.
// A pending quiet deadline shortens the wait to it (rounded up to whole milliseconds).
void IdleWait(IPort& port, const Waker* waker, bool filler, int bytes, const IQuietWatch* quiet) {
  const int portFd = port.PollFd();
  if (portFd < 0) {
    port.Pause(kFillerPauseMs);
    return;
  }
  port.SetPollThreshold(filler ? 1 : bytes);
  pollfd fds[2] = {{portFd, POLLIN, 0}, {waker ? waker->Fd() : -1, POLLIN, 0}};
  int timeout = (filler || !waker) ? kFillerPauseMs : -1;
  const int64_t deadline = quiet ? quiet->QuietDeadlineUs() : -1;
  if (deadline >= 0) {
    const int64_t left = std::max<int64_t>(0, deadline - port.NowUs());
    const int64_t ms = std::min<int64_t>((left + 999) / 1000, INT32_MAX);
    if (timeout < 0 || ms < timeout) timeout = int(ms);
  }
  int r;
  do {
    r = ::poll(fds, waker ? 2 : 1, timeout);
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
  bool packetDone = false;
  while (!stop.load(std::memory_order_relaxed)) {
    if (config.quiet) {
      const int64_t deadline = config.quiet->QuietDeadlineUs();
      if (deadline >= 0) {
        // Bytes already waiting mean this thread was late, not that the line went quiet.
        const int64_t now = port.NowUs();
        if (now >= deadline && port.InputQueueCount() == 0) config.quiet->OnQuiet(now);
      }
    }
    if (packetDone && port.PollFd() >= 0) {
      // The next packet needs a whole packet's bytes: wait for them before reading any. Reading
      // its first byte now would have the next wait ask for one byte fewer, and the port's
      // threshold would change twice a packet (on a USB adapter, each change is a USB request).
      packetDone = false;
      IdleWait(port, waker, false, config.packetLength, config.quiet);
      continue;
    }
    const ReadResult r = port.ReadByte();
    if (!r.ok) break;
    if (r.count == 1 && tap) tap->OnBytes(&r.byte, 1);
    if (r.count == 0 || r.byte == kFillerByte) {
      // The rest of the packet being assembled, or a whole one: no packet can be complete
      // sooner, so waiting for them delays none, and the reader wakes once a packet.
      IdleWait(port, waker, r.count == 1, config.packetLength - assembler.Position(),
               config.quiet);
      continue;
    }
    const int position = assembler.Position();
    const PacketAssembler::Step step = assembler.Push(r.byte);
    if (step == PacketAssembler::Step::kComplete) {
      TabletEvent event = DecodeEvent(assembler.Bytes().data(), config);
      event.timeUs = port.NowUs();
      sink.OnTabletEvent(event);  // first: the pointer and the screens wait on nothing else
      if (config.stats) config.stats->OnPacket(event.timeUs, event.code, event.x, event.y);
      packetDone = true;
    } else if (step != PacketAssembler::Step::kStored && config.stats) {
      config.stats->OnAssemblerStep(step, position);  // a stored byte drops nothing
    }
  }
  return 0;
}

}  // namespace vellum
