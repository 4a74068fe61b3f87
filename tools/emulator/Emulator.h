#pragma once
// The emulated tablet's behaviour, without I/O: host bytes and the time go in, the bytes that
// the line has finished sending by that time come out. PtyTablet puts it on a pseudo-terminal.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tools/emulator/Stream.h"

namespace vellum::emu {

enum class Fault {
  kNone,
  kSilent,        // answers nothing, sends nothing
  kBadRange,      // the range reply never holds an accepted range
  kSlowIdentify,  // the identification reply comes in pieces with pauses between them
  kGarbage,       // every request and the stream get random bytes
};

// "silent", "bad-range", "slow-identify", "garbage" (and "none"). False for an unknown name.
bool ParseFault(const std::string& name, Fault& fault);

// 11 bits a character (start, 8 data, parity, stop) at 9600 baud.
inline constexpr double kByteMs = 11.0 * 1000.0 / 9600.0;

struct EmulatorConfig {
  int packetLength = 7;  // 7: answers "z~"; 5: silent to it
  int32_t maxX = 5000;
  int32_t maxY = 3750;
  Fault fault = Fault::kNone;
  int64_t hangUpAfter = -1;    // packets sent before the line drops; -1: never
  bool loop = true;            // start the stream over at its end
  bool streamAtStart = false;  // send packets before the first DC1, like a tablet left running
  // Line speed as a multiple of 9600 baud (benchmarks); pauses in the stream shrink alike.
  double rateMultiplier = 1;
};

class TabletEmulator {
 public:
  // `startMs`: the time on the caller's clock when the line comes up; a tablet left running
  // starts sending then, not at the clock's zero.
  TabletEmulator(const EmulatorConfig& config, Stream stream, double startMs = 0);

  void Receive(uint8_t b, double nowMs);
  // Appends the bytes whose transmission has finished by nowMs.
  void Transmit(double nowMs, std::vector<uint8_t>& out);
  // When the next byte will have been sent; a large value when there is nothing to send.
  double NextDueMs() const;

  bool HungUp() const { return hungUp_; }
  bool Streaming() const { return streaming_; }
  uint64_t PacketsSent() const { return packetsSent_; }

 private:
  enum class Source { kNone, kReply, kStream };
  Source NextSource() const;
  bool MidPacket() const {
    return sinceLastPacket_ > 0 && sinceLastPacket_ < size_t(config_.packetLength);
  }
  const OutByte* Peek() const;
  void Pop();
  void Queue(const std::vector<uint8_t>& bytes, double nowMs, float delayEvery7 = 0);
  std::vector<uint8_t> Noise(size_t count);

  EmulatorConfig config_;
  Stream stream_;
  size_t streamPos_ = 0;
  std::deque<OutByte> replies_;
  bool streaming_ = false;
  bool stopAtPacketEnd_ = false;  // DC3 arrived mid-packet: finish the packet, then stop
  size_t sinceLastPacket_ = 0;    // stream bytes sent since the last packet end
  bool hungUp_ = false;
  uint8_t previous_ = 0;
  double lineFree_ = 0;  // when the line finishes the byte it is sending
  uint64_t packetsSent_ = 0;
  uint32_t noiseState_ = 12345;
};

}  // namespace vellum::emu
