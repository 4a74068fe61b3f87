// The wire format: the packet's bits both ways, the accepted ranges and the cutting of the byte
// stream into packets.
#include <algorithm>

#include "tablet/TabletLink.h"

namespace vellum {

bool IsAcceptedXRange(int32_t x) {
  return std::find(AcceptedXRanges.begin(), AcceptedXRanges.end(), x) != AcceptedXRanges.end();
}

bool IsAcceptedYRange(int32_t y) {
  return std::find(AcceptedYRanges.begin(), AcceptedYRanges.end(), y) != AcceptedYRanges.end();
}

TabletPacket DecodePacket(const uint8_t* p, int length) {
  TabletPacket packet;
  packet.buttons = p[0] & 7;
  packet.x = int32_t(p[1]) | (int32_t(p[2]) << 7);
  packet.y = int32_t(p[3]) | (int32_t(p[4]) << 7);
  // Byte 6 goes in shifted as a whole; the tablet keeps its bits 5 and 6 clear, so the
  // pressure stays within 0..511.
  if (HasPressure(length)) {
    packet.pressure = (int32_t(p[5]) << 2) | ((int32_t(p[6]) & 1) << 1) | (int32_t(p[6]) >> 4);
  }
  return packet;
}

std::vector<uint8_t> EncodePacket(const TabletPacket& packet, int length) {
  std::vector<uint8_t> p = {uint8_t(0x98 | (packet.buttons & 7)), uint8_t(packet.x & 0x7F),
                            uint8_t((packet.x >> 7) & 0x7F), uint8_t(packet.y & 0x7F),
                            uint8_t((packet.y >> 7) & 0x7F)};
  if (HasPressure(length)) {
    const int32_t pressure = packet.pressure & 0x1FF;
    p.push_back(uint8_t(pressure >> 2));
    // Bit 2 is always set; bit 0 carries pressure bit 1 and bit 4 pressure bit 0.
    p.push_back(uint8_t(0x04 | ((pressure >> 1) & 1) | ((pressure & 1) << 4)));
  }
  return p;
}

PacketAssembler::PacketAssembler(int packetLength, Variant variant)
    : length_(HasPressure(packetLength) ? kPressurePacketLength : kPlainPacketLength),
      variant_(variant) {}

PacketAssembler::Step PacketAssembler::Push(uint8_t b) {
  const bool rangeReply = variant_ == Variant::kRangeReply;
  if (b & 0x80) {
    // In the data stream 0x80 is filler the tablet may put anywhere, even inside a packet.
    if (!rangeReply && b == 0x80) return Step::kIgnored;
    if (rangeReply) ++highBits_;
    position_ = 0;
    // A range reply may carry bit 6 in its start byte (0xD8..0xDF); a data packet may not.
    const uint8_t mask = rangeReply ? 0xB8 : 0xF8;
    if ((b & mask) != 0x98) return Step::kDiscarded;
    buffer_[0] = b;
    position_ = 1;
    return Step::kStarted;
  }
  if (position_ == 0) return Step::kDiscarded;
  if (rangeReply && length_ == 7 && position_ == 6 && (b & 0xEE) != 0x04) return Step::kRejected;
  buffer_[size_t(position_)] = b;
  if (++position_ < length_) return Step::kStored;
  position_ = 0;
  return Step::kComplete;
}

}  // namespace vellum
