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

// Delivers the stream a byte a read, with an empty read after the bytes the seed picks.
class ChunkedPort final : public vellum::IPort {
 public:
  ChunkedPort(const uint8_t* data, size_t size, uint8_t seed)
      : data_(data), size_(size), state_(0x9E3779B9u ^ seed) {}
  vellum::OpenResult Open(int) override { return vellum::OpenResult::kOk; }
  void Write(const uint8_t*, size_t) override {}
  vellum::ReadResult ReadByte() override {
    if (gap_) {
      gap_ = false;
      return {true, 0, 0};
    }
    if (next_ >= size_) return {};
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    gap_ = (state_ & 3) == 0;
    return {true, 1, data_[next_++]};
  }
  uint32_t InputQueueCount() override { return 0; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Pause(int) override {}
  int64_t NowMs() const override { return 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;
  bool gap_ = false;
  uint32_t state_;
};

// Stands on the Linear screen, where every packet is decoded and its values stored.
class Recorder final : public vellum::IReaderTarget {
 public:
  std::vector<vellum::TabletPacket> packets;
  uint32_t Mode() const override { return 1; }
  void StoreButtons(int32_t c) override { current_.buttons = c; }
  void StoreStatus(int32_t x, int32_t y, int32_t p) override {
    current_.x = x;
    current_.y = y;
    current_.pressure = p;
  }
  void StorePenWidth(int32_t) override {}
  int32_t ShownButtons() const override { return 0; }
  int32_t Transducer() const override { return 0; }
  vellum::ClientPoint ClientToScreen(vellum::ClientPoint p) const override { return p; }
  void MovePointer(vellum::ClientPoint) override {}
  void DrawTraceSegment(vellum::ClientPoint) override {}
  void ShowStylusButtons(int32_t) override {}
  void ShowTwoButtonStylusButtons(int32_t) override {}
  void ShowThreeButtonStylusButtons(int32_t) override {}
  void ShowCursorButtons(int32_t) override {}
  void ShowReadout(int32_t, int32_t, int32_t, int32_t) override {}
  void ClearSelectorLatch() override {}
  void PenSelectorStep(int32_t, vellum::ClientPoint) override {}
  void ShowShake(int32_t, int32_t) override {}
  void ShowKeystroke(int32_t) override {}
  void PacketHandled() override { packets.push_back(current_); }

 private:
  vellum::TabletPacket current_;
};

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

  ChunkedPort port(stream, n, data[1]);
  Recorder recorder;
  const vellum::ReaderConfig config{1024, 768, 5000, 3750, length};
  const std::atomic<bool> stop{false};
  vellum::RunReader(port, config, recorder, stop, nullptr);
  Check(recorder.packets == whole);
  return 0;
}
