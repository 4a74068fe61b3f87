// The probe of one port: the identification phase decides the packet length, the range reply
// confirms the tablet. Driven only through IPort, so a scripted fake port can walk every branch.
#include "tablet/Detection.h"

#include <cstring>

namespace vellum {
namespace {

constexpr int kRequestPauseMs = 50;
constexpr int kMaxIdentifyBlocks = 10;
constexpr int kMaxRangeHighBytes = 10;
constexpr char kIdentifyName[] = "TRELVO";

void WriteByte(IPort& port, uint8_t b) {
  port.Write(&b, 1);
}

void DiscardPendingInput(IPort& port) {
  const uint32_t pending = port.InputQueueCount();
  for (uint32_t i = 0; i < pending; ++i) port.ReadByte();
}

// "z~", the fixed wait, then whether anything is waiting.
bool AskIdentityAnswered(IPort& port) {
  port.Write(kIdentifyRequest, sizeof kIdentifyRequest);
  port.Pause(kRequestPauseMs);
  return port.InputQueueCount() != 0;
}

void AskRange(IPort& port) {
  WriteByte(port, kRangeRequest);
  port.Pause(kRequestPauseMs);
}

enum class Identity { kSevenByte, kFiveByte, kGiveUp };

// Entered after "z~" found input waiting. `readFailed` tells a failed read from a named block.
Identity Identify(IPort& port, bool& readFailed) {
  std::array<uint8_t, kIdentifyReplyLength> block{};
  size_t position = 0;
  int blocks = 0;
  const int64_t start = port.NowMs();
  for (;;) {
    if (port.NowMs() - start >= kIdentifyPhaseLimitMs) return Identity::kGiveUp;
    const ReadResult r = port.ReadByte();
    if (!r.ok) {
      readFailed = true;
      return Identity::kSevenByte;
    }
    if (r.count == 0) {
      // The reply may still be on its way: ask again and go on filling the same block.
      if (!AskIdentityAnswered(port)) return Identity::kFiveByte;
      continue;
    }
    block[position++] = r.byte;
    if (position < block.size()) continue;
    position = 0;
    ++blocks;
    const bool named = std::memcmp(block.data(), kIdentifyName, 6) == 0;
    bool answered = true;
    if (!named) {
      DiscardPendingInput(port);
      answered = AskIdentityAnswered(port);
    }
    // The eleventh block ends the probe, whatever it held.
    if (blocks > kMaxIdentifyBlocks) return Identity::kGiveUp;
    if (named) return Identity::kSevenByte;
    if (!answered) return Identity::kFiveByte;
  }
}

enum class RangeOutcome { kSilent, kFinished };

// Entered after the identification phase. On kFinished the caller writes 0x11 and closes; on
// kSilent it closes without writing. x and y are set only when an accepted reply arrived.
RangeOutcome ReadRange(IPort& port, int packetLength, bool& accepted, int32_t& x, int32_t& y,
                       bool& readFailed) {
  const int64_t start = port.NowMs();
  PacketAssembler assembler(packetLength, PacketAssembler::Variant::kRangeReply);
  DiscardPendingInput(port);
  AskRange(port);
  WriteByte(port, kRangeFollowUp);
  if (port.InputQueueCount() == 0) return RangeOutcome::kSilent;

  using Step = PacketAssembler::Step;
  for (;;) {
    // Bytes that can never be stored (bad start bytes, data outside a packet) and silence after
    // the first answer never reach the start-byte bound below; time ends them.
    if (port.NowMs() - start >= kRangePhaseLimitMs) return RangeOutcome::kFinished;
    const ReadResult r = port.ReadByte();
    if (!r.ok) {
      readFailed = true;
      return RangeOutcome::kFinished;
    }
    if (r.count == 0) {
      AskRange(port);
      continue;
    }
    const Step step = assembler.Push(r.byte);
    if (step == Step::kIgnored || step == Step::kDiscarded) continue;
    if (step == Step::kRejected) {
      DiscardPendingInput(port);
      AskRange(port);
      continue;
    }
    if (step == Step::kComplete) {
      const TabletPacket reply = assembler.Packet();
      if (IsAcceptedXRange(reply.x) && IsAcceptedYRange(reply.y)) {
        accepted = true;
        x = reply.x;
        y = reply.y;
        return RangeOutcome::kFinished;
      }
      DiscardPendingInput(port);
      AskRange(port);
    }
    if (assembler.HighBitCount() > kMaxRangeHighBytes) return RangeOutcome::kFinished;
  }
}

}  // namespace

void ProbePort(IPort& port, int n, TabletInfo& found, ProbeOutcome* outcome) {
  ProbeOutcome unused;
  ProbeOutcome& seen = outcome ? *outcome : unused;
  seen = {};
  const OpenResult opened = port.Open(n);
  seen.open = port.LastOpen();
  if (opened != OpenResult::kOk) {
    seen.stage = opened == OpenResult::kSettingsFailed ? ProbeStage::kSettingsFailed
                                                       : ProbeStage::kOpenFailed;
    port.Close();
    return;
  }
  WriteByte(port, kProbeStartByte);
  DiscardPendingInput(port);
  int packetLength = 5;
  bool answered = false;
  bool readFailed = false;
  if (AskIdentityAnswered(port)) {
    answered = true;
    switch (Identify(port, readFailed)) {
      case Identity::kGiveUp:
        seen.stage = ProbeStage::kNotIdentified;
        port.Close();
        return;
      case Identity::kSevenByte:
        packetLength = 7;
        break;
      case Identity::kFiveByte:
        packetLength = 5;
        break;
    }
  }

  bool accepted = false;
  int32_t x = 0;
  int32_t y = 0;
  const RangeOutcome range = ReadRange(port, packetLength, accepted, x, y, readFailed);
  if (range == RangeOutcome::kFinished) {
    if (accepted && found.port == 0) {
      found.port = uint32_t(n);
      found.packetLength = packetLength;
      found.maxX = x;
      found.maxY = y;
    }
    // The answer to a repeated "a" may still be waiting. A pty keeps it across the close (a
    // UART's close drops it), and the port opened for good would read it as a pen packet. What
    // comes after the end byte, the tablet's stream, is the reader's.
    if (accepted) DiscardPendingInput(port);
    WriteByte(port, kProbeEndByte);
  }
  if (accepted) {
    seen.stage = ProbeStage::kFound;
    seen.packetLength = packetLength;
  } else if (readFailed) {
    seen.stage = ProbeStage::kLineFailed;
    seen.readFailure = port.ReadFailure();
  } else if (range == RangeOutcome::kSilent) {
    seen.stage = answered ? ProbeStage::kNoRangeReply : ProbeStage::kSilent;
  } else {
    seen.stage = ProbeStage::kBadRangeReply;
  }
  port.Close();
}

TabletInfo ScanPorts(IPort& port, ProbeOutcomes* outcomes) {
  TabletInfo found;
  for (int n = 1; n <= kComPorts; ++n) {
    ProbePort(port, n, found, outcomes ? &(*outcomes)[size_t(n - 1)] : nullptr);
  }
  return found;
}

bool OpenTabletPort(IPort& port, const TabletInfo& info) {
  // Only the open itself counts here. A port that opens but refuses its settings has closed
  // itself, so it fails too; the same settings were accepted moments ago by the probe.
  return port.Open(int(info.port)) == OpenResult::kOk;
}

ScaleFactors ComputeScaleFactors(int screenWidth, int screenHeight) {
  ScaleFactors s;
  s.x = float(double(screenWidth) * 0x1p-10);
  // The nearest float to 1/768 (bit pattern 0x3AAAAAAB), the product rounded to float.
  constexpr float kInverse768 = float(1.0 / 768.0);
  s.y = float(double(screenHeight) * double(kInverse768));
  return s;
}

}  // namespace vellum
