#include "tools/emulator/Emulator.h"

#include <algorithm>
#include <cstring>

#include "tablet/TabletLink.h"

namespace vellum::emu {
namespace {

constexpr char kIdentity[] = "TRELVO-VELLUM-EMULATOR-1.1.0";
static_assert(sizeof kIdentity - 1 == kIdentifyReplyLength);
constexpr int32_t kUnacceptedX = 4000;
// Pieces of the slow reply and the pause before each: long enough that the probe's input runs
// dry, short enough that its repeated "z~" (50 ms) still finds more.
constexpr size_t kSlowPiece = 7;
constexpr float kSlowPauseMs = 40;
constexpr double kNothingDue = 1e18;
constexpr double kMaxCatchUpMs = 1000;

}  // namespace

bool ParseFault(const std::string& name, Fault& fault) {
  static const std::pair<const char*, Fault> kNames[] = {
      {"none", Fault::kNone},          {"silent", Fault::kSilent},
      {"bad-range", Fault::kBadRange}, {"slow-identify", Fault::kSlowIdentify},
      {"garbage", Fault::kGarbage},
  };
  for (const auto& [text, value] : kNames) {
    if (name == text) {
      fault = value;
      return true;
    }
  }
  return false;
}

TabletEmulator::TabletEmulator(const EmulatorConfig& config, Stream stream, double startMs)
    : config_(config), stream_(std::move(stream)), lineFree_(startMs) {
  if (!(config_.rateMultiplier > 0)) config_.rateMultiplier = 1;
  if (config_.fault == Fault::kGarbage) stream_ = RawStream(Noise(4096), config_.packetLength);
  streaming_ = config_.streamAtStart && config_.fault != Fault::kSilent;
}

std::vector<uint8_t> TabletEmulator::Noise(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) {
    noiseState_ = noiseState_ * 1664525u + 1013904223u;
    b = uint8_t(noiseState_ >> 24);
  }
  return bytes;
}

void TabletEmulator::Queue(const std::vector<uint8_t>& bytes, double nowMs, float delayEvery7) {
  // A line that has been idle starts sending now, not back when it went quiet.
  if (!Peek()) lineFree_ = std::max(lineFree_, nowMs);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const float delay = (delayEvery7 > 0 && i > 0 && i % kSlowPiece == 0) ? delayEvery7 : 0;
    replies_.push_back(OutByte{bytes[i], false, delay});
  }
}

void TabletEmulator::Receive(uint8_t b, double nowMs) {
  if (config_.fault == Fault::kSilent || hungUp_) return;
  const bool identify = previous_ == kIdentifyRequest[0] && b == kIdentifyRequest[1];
  previous_ = b;
  if (b == kProbeStartByte) {
    if (MidPacket()) {
      stopAtPacketEnd_ = true;
    } else {
      streaming_ = false;
    }
  } else if (b == kProbeEndByte) {
    // The host has finished asking: a reply still queued (to a repeated request) would reach a
    // port it has closed and opened again, where a real port drops it.
    replies_.clear();
    stopAtPacketEnd_ = false;
    if (!streaming_) {
      if (!Peek()) lineFree_ = std::max(lineFree_, nowMs);
      streaming_ = true;
    }
  } else if (config_.fault == Fault::kGarbage && (identify || b == kRangeRequest)) {
    Queue(Noise(kIdentifyReplyLength), nowMs);
  } else if (identify) {
    // A tablet busy answering ignores the repeated request.
    if (!HasPressure(config_.packetLength) || !replies_.empty()) return;
    const std::vector<uint8_t> reply(kIdentity, kIdentity + kIdentifyReplyLength);
    Queue(reply, nowMs, config_.fault == Fault::kSlowIdentify ? kSlowPauseMs : 0);
  } else if (b == kRangeRequest) {
    const int32_t x = config_.fault == Fault::kBadRange ? kUnacceptedX : config_.maxX;
    Queue(EncodeRangeReply(x, config_.maxY, config_.packetLength), nowMs);
  }
}

TabletEmulator::Source TabletEmulator::NextSource() const {
  const bool streamReady = streaming_ && streamPos_ < stream_.size();
  // Replies never cut into a packet that is on its way.
  if (streamReady && MidPacket()) return Source::kStream;
  if (!replies_.empty()) return Source::kReply;
  return streamReady ? Source::kStream : Source::kNone;
}

const OutByte* TabletEmulator::Peek() const {
  switch (NextSource()) {
    case Source::kReply:
      return &replies_.front();
    case Source::kStream:
      return &stream_[streamPos_];
    case Source::kNone:
      break;
  }
  return nullptr;
}

void TabletEmulator::Pop() {
  if (NextSource() == Source::kReply) {
    replies_.pop_front();
    return;
  }
  const OutByte& sent = stream_[streamPos_];
  // Counted up to a packet's length only, so that noise without packet ends cannot hold the
  // replies back.
  sinceLastPacket_ = sent.packetEnd ? 0 : sinceLastPacket_ + 1;
  if (sent.packetEnd) {
    ++packetsSent_;
    if (config_.hangUpAfter >= 0 && int64_t(packetsSent_) >= config_.hangUpAfter) hungUp_ = true;
  }
  if (!MidPacket() && stopAtPacketEnd_) {
    streaming_ = false;
    stopAtPacketEnd_ = false;
  }
  if (++streamPos_ == stream_.size() && config_.loop) streamPos_ = 0;
}

void TabletEmulator::Transmit(double nowMs, std::vector<uint8_t>& out) {
  // After a stall of the caller the line catches up, but by a second at most: a real line sends
  // no faster than its rate, and an unbounded catch-up is a burst no receiver would ever see.
  // The bound applies to when the next byte was due, not to the line itself: a scripted pause
  // longer than the bound must still end.
  if (const OutByte* next = hungUp_ ? nullptr : Peek()) {
    const double due = lineFree_ + (next->delayMs + kByteMs) / config_.rateMultiplier;
    if (due < nowMs - kMaxCatchUpMs) lineFree_ += nowMs - kMaxCatchUpMs - due;
  }
  while (!hungUp_) {
    const OutByte* next = Peek();
    if (!next) break;
    const double done = lineFree_ + (next->delayMs + kByteMs) / config_.rateMultiplier;
    if (done > nowMs) break;
    out.push_back(next->byte);
    lineFree_ = done;
    Pop();
  }
}

double TabletEmulator::NextDueMs() const {
  const OutByte* next = hungUp_ ? nullptr : Peek();
  return next ? lineFree_ + (next->delayMs + kByteMs) / config_.rateMultiplier : kNothingDue;
}

}  // namespace vellum::emu
