// The reader loop and the handling of one packet by test mode.
#include "tablet/Reader.h"

#include <poll.h>

#include <cerrno>

#include "base/MulDiv.h"

namespace vellum {
namespace {

constexpr uint32_t kInfoMode = 0;
constexpr uint32_t kShakeMode = 3;
constexpr uint32_t kKeystrokeMode = 4;
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

PacketDispatcher::PacketDispatcher(const ReaderConfig& config, IReaderTarget& target)
    : config_(config), target_(target) {}

void PacketDispatcher::Handle(const uint8_t* packet) {
  // The mode is read afresh at each of its three uses, so a key between them can make one packet
  // be decoded for one mode and dispatched for another. Harmless, and what users have seen.
  if (target_.Mode() != kKeystrokeMode) {
    const TabletPacket decoded = DecodePacket(packet, config_.packetLength);
    tabletX_ = decoded.x;
    tabletY_ = decoded.y;
    client_.x = vellum::MulDiv(tabletX_, config_.width, config_.maxX);
    client_.y = vellum::MulDiv(config_.maxY - tabletY_, config_.height, config_.maxY);
    if (config_.packetLength == 7) {
      pressure_ = decoded.pressure;
      target_.StorePenWidth(vellum::MulDiv(pressure_, 50, 512));
    }
  }
  const int32_t code = packet[0] & 7;
  target_.StoreButtons(code);
  if (target_.Mode() != kInfoMode) target_.StoreStatus(tabletX_, tabletY_, pressure_);
  const ClientPoint screen = target_.ClientToScreen(client_);

  switch (target_.Mode()) {
    case kInfoMode:
      target_.MovePointer(screen);
      target_.DrawTraceSegment(client_);
      HandleInfoScreen(code, screen);
      break;
    case 1:
    case 2:
      target_.MovePointer(screen);
      target_.DrawTraceSegment(client_);
      break;
    case kShakeMode:
      target_.MovePointer(screen);
      target_.ShowShake(tabletX_, tabletY_);  // Y as the tablet reports it, not inverted
      break;
    case kKeystrokeMode:
      target_.ShowKeystroke(code);  // the pointer stays where it is
      break;
    default:
      break;
  }
}

void PacketDispatcher::HandleInfoScreen(int32_t code, ClientPoint screen) {
  if (config_.packetLength == 7) {
    // The pressure stylus has no buttons for codes 6 and 7.
    if (code <= 5) {
      target_.ShowStylusButtons(code);
      target_.ShowReadout(code, tabletX_, tabletY_, pressure_);
    }
    return;
  }
  // Before the indicator runs: it updates the shown code this test compares against.
  if (code != target_.ShownButtons()) target_.ClearSelectorLatch();
  switch (target_.Transducer()) {
    case 2:
      target_.ShowTwoButtonStylusButtons(code);
      break;
    case 3:
      target_.ShowThreeButtonStylusButtons(code);
      break;
    case 4:
      target_.ShowCursorButtons(code);
      break;
    default:
      break;
  }
  target_.ShowReadout(code, tabletX_, tabletY_, 0);
  if (code > 0) target_.PenSelectorStep(code, screen);
}

int RunReader(IPort& port, const ReaderConfig& config, IReaderTarget& target,
              const std::atomic<bool>& stop, const Waker* waker, IByteTap* tap) {
  PacketAssembler assembler(config.packetLength);
  PacketDispatcher dispatcher(config, target);
  while (!stop.load(std::memory_order_relaxed)) {
    const ReadResult r = port.ReadByte();
    if (!r.ok) break;
    if (r.count == 1 && tap) tap->OnBytes(&r.byte, 1);
    if (r.count == 0 || r.byte == kFillerByte) {
      IdleWait(port, waker);
      continue;
    }
    if (assembler.Push(r.byte) == PacketAssembler::Step::kComplete) {
      dispatcher.Handle(assembler.Bytes().data());
      target.PacketHandled();
    }
  }
  return 0;
}

}  // namespace vellum
