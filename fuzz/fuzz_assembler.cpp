// The packet assembler on any byte stream, in both variants. Checked against a plain model of the
// cutting rules written out again here: the same steps and packets, the position always inside
// the buffer, every complete packet well formed with its fields in range. The data variant also
// goes through the reader with empty reads between arbitrary bytes, as when a line delivers its
// bytes in chunks: the packets handled must be the same.
//
// Input: byte 0 chooses the packet length (bit 0) and the variant (bit 1); byte 1 seeds where the
// chunks end; the rest is the stream.
#include <atomic>
#include <cstdlib>
#include <vector>

#include "tablet/Reader.h"
#include "tablet/TabletLink.h"
#include "tests/support/MemoryPort.h"
#include "tests/support/RecordingSink.h"

namespace {

using vellum::PacketAssembler;
using Step = PacketAssembler::Step;

void Check(bool ok) {
  if (!ok) std::abort();
}

// The rules once more, as simply as they can be written.
class Model {
 public:
  Model(int length, bool range) : length_(length), range_(range) {}
  Step Push(uint8_t b) {
    if (b & 0x80) {
      if (!range_ && b == 0x80) return Step::kIgnored;
      position_ = 0;
      if ((b & (range_ ? 0xB8 : 0xF8)) != 0x98) return Step::kDiscarded;
      bytes_[0] = b;
      position_ = 1;
      return Step::kStarted;
    }
    if (position_ == 0) return Step::kDiscarded;
    if (range_ && length_ == 7 && position_ == 6 && (b & 0xEE) != 0x04) return Step::kRejected;
    bytes_[position_++] = b;
    if (position_ < length_) return Step::kStored;
    position_ = 0;
    return Step::kComplete;
  }
  const uint8_t* Bytes() const { return bytes_; }

 private:
  int length_;
  bool range_;
  int position_ = 0;
  uint8_t bytes_[7] = {};
};

void CheckWellFormed(const PacketAssembler& a, bool range) {
  const auto& p = a.Bytes();
  const int length = a.PacketLength();
  Check((p[0] & (range ? 0xB8 : 0xF8)) == 0x98);
  for (int i = 1; i < length; ++i) Check((p[size_t(i)] & 0x80) == 0);
  if (range && length == 7) Check((p[6] & 0xEE) == 0x04);
  const vellum::TabletPacket t = a.Packet();
  Check(t.buttons >= 0 && t.buttons <= 7);
  Check(t.x >= 0 && t.x <= 16383 && t.y >= 0 && t.y <= 16383);
  Check(t.pressure >= 0 && t.pressure <= (length == 7 ? 511 : 0));
}

// The stream a byte a read, with an empty read after the bytes the seed picks.
vellum::test::MemoryPort Chunked(const uint8_t* data, size_t size, uint8_t seed) {
  vellum::test::MemoryPort port;
  uint32_t state = 0x9E3779B9u ^ seed;
  for (size_t i = 0; i < size; ++i) {
    port.Add(data[i]);
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    if ((state & 3) == 0) port.Add(vellum::test::MemoryPort::kEmpty);
  }
  return port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int length = data[0] & 1 ? 7 : 5;
  const bool range = (data[0] & 2) != 0;
  const uint8_t* stream = data + 2;
  const size_t n = size - 2;

  PacketAssembler assembler(length, range ? PacketAssembler::Variant::kRangeReply
                                          : PacketAssembler::Variant::kDataStream);
  Model model(length, range);
  std::vector<vellum::TabletPacket> whole;
  int highBits = 0;
  for (size_t i = 0; i < n; ++i) {
    const Step step = assembler.Push(stream[i]);
    Check(step == model.Push(stream[i]));
    Check(assembler.Position() >= 0 && assembler.Position() < length);
    if (range && (stream[i] & 0x80)) ++highBits;
    Check(assembler.HighBitCount() == (range ? highBits : 0));
    if (step != Step::kComplete) continue;
    Check(assembler.Position() == 0);
    for (int k = 0; k < length; ++k) Check(assembler.Bytes()[size_t(k)] == model.Bytes()[k]);
    CheckWellFormed(assembler, range);
    whole.push_back(assembler.Packet());
  }
  if (range) return 0;

  vellum::test::MemoryPort port = Chunked(stream, n, data[1]);
  vellum::test::RecordingSink sink;
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, length};
  const std::atomic<bool> stop{false};
  vellum::RunReader(port, config, sink, stop, nullptr);
  Check(sink.events.size() == whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    const vellum::TabletEvent& e = sink.events[i];
    Check(vellum::TabletPacket{e.code, e.x, e.y, e.pressure} == whole[i]);
  }
  return 0;
}
