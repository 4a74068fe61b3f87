#pragma once
// Line quality: how well the serial line carries the tablet's reports. The reader gives LineStats
// every packet, with the time it read the packet's last byte, and every byte the assembler threw
// away. Each whole second is published when the first packet after it arrives; any thread reads
// the last one without a lock. Nothing here reads a clock or does I/O, so tests run it on a
// virtual clock.
//
// A quiet line publishes nothing: the reader sleeps in poll() until a byte comes. The reading side
// therefore judges by its own clock (the same one the packets' times come from): once a second
// has passed without a packet, the rate reads 0/s.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "tablet/TabletLink.h"

namespace vellum {

inline constexpr int64_t kStatsSecondUs = 1'000'000;

// Sums over the packets of one second. Positions are summed as offsets from the second's first
// packet: small at rest, and exact in 64 bits however many packets come.
struct SecondSums {
  int64_t endUs = 0;  // the second is [endUs - 1 s, endUs)
  int64_t packets = 0;
  // The gaps from each packet of the second to the one before it (which may lie in the second
  // before); a gap over a second is a pause, not a rhythm, and is left out.
  int64_t intervals = 0;
  int64_t intervalSumUs = 0;
  int64_t intervalSquareSum = 0;  // us squared; at most 2e12, as the gaps span at most 2 s
  int64_t dxSum = 0, dxSquareSum = 0, dySum = 0, dySquareSum = 0;
  bool oneCode = true;  // every packet had the button code of the first
};

struct NoiseFigure {
  enum class Kind { kNone, kMoving, kStill };
  Kind kind = Kind::kNone;  // kNone: fewer than two packets; kMoving: code changed, or 16 and up
  double x = 0, y = 0;      // kStill: population standard deviations in tablet counts
};

inline constexpr double kStillBelowCounts = 16;

struct LineFigures {
  std::optional<double> rate;      // packets a second; nullopt: no whole second measured yet
  std::optional<double> jitterMs;  // standard deviation of the gaps; nullopt: fewer than two
  NoiseFigure noise;
  uint64_t garbled = 0;                       // since the port was opened
  std::optional<LineErrorCounts> lineErrors;  // the port's, since it was opened; nullopt: n/a
};

// One short line: "124.6/s of 124.7 · jitter 0.02 ms · noise 0.4 x 0.5 · garbled 0 ·
// line errors 0". A figure that cannot be given reads "-".
std::string FormatLineFigures(const LineFigures& figures, int packetLength);

// A whole run, for the monitor's last line.
struct LineSummary {
  int64_t packets = 0;
  double seconds = 0;          // from the first packet to the last
  std::optional<double> rate;  // (packets - 1) / seconds; nullopt under two packets
  uint64_t garbled = 0;
  NoiseFigure noise;  // of the last whole second with two packets or more (else the run so far)
  std::optional<LineErrorCounts> lineErrors;
};
// "1247 packets in 10.00 s (124.7/s) · garbled 0 · line errors n/a · noise 0.4 x 0.5"
std::string FormatLineSummary(const LineSummary& summary);

class LineStats {
 public:
  LineStats() = default;
  LineStats(const LineStats&) = delete;
  LineStats& operator=(const LineStats&) = delete;

  // ---- reader thread: constant work, no allocation, no lock, no system call ----
  void OnPacket(int64_t timeUs, int32_t code, int32_t x, int32_t y);
  // What one step of the data-stream assembler threw away, given its position before the step:
  // a stray byte (a data byte outside a packet, a byte with bit 7 set that starts none) and the
  // bytes of a packet cut short by a byte with bit 7 set. 0x80 filler is not garbled.
  void OnAssemblerStep(PacketAssembler::Step step, int positionBefore) {
    if (step == PacketAssembler::Step::kDiscarded) {
      AddGarbled(uint64_t(positionBefore) + 1);
    } else if (step == PacketAssembler::Step::kStarted && positionBefore > 0) {
      AddGarbled(uint64_t(positionBefore));
    }
  }

  // ---- any thread ----
  // The figures of the last whole second as seen at `nowUs` (the clock of the packets' times).
  // lineErrors is the caller's to fill.
  LineFigures Figures(int64_t nowUs) const;

  // ---- the reader thread, or any thread once the reader has ended ----
  LineSummary Summary() const;

 private:
  static constexpr int64_t kNever = INT64_MIN;
  static constexpr size_t kWords = 10;

  void AddGarbled(uint64_t bytes) {
    garbled_.store(garbled_.load(std::memory_order_relaxed) + bytes, std::memory_order_relaxed);
  }
  void CloseSecond(int64_t timeUs);
  void Publish(const SecondSums& second);
  bool ReadPublished(SecondSums& second) const;

  // Reader thread only.
  SecondSums current_;
  int64_t secondEndUs_ = 0;
  int64_t firstUs_ = 0;
  int64_t lastUs_ = 0;
  int64_t packets_ = 0;
  int32_t firstCode_ = 0, firstX_ = 0, firstY_ = 0;  // of the current second
  SecondSums lastFull_;  // the last whole second with two packets or more
  bool haveLastFull_ = false;

  // Published: a seqlock of plain words (the sequence is odd while a second is written) and two
  // words kept current a packet or a byte at a time. Single writer: the reader.
  std::atomic<uint64_t> sequence_{0};
  std::array<std::atomic<int64_t>, kWords> words_{};
  std::atomic<int64_t> lastPacketUs_{kNever};
  std::atomic<uint64_t> garbled_{0};
};

// Inline: the reader calls it for every packet.
inline void LineStats::OnPacket(int64_t timeUs, int32_t code, int32_t x, int32_t y) {
  if (packets_ == 0) {
    firstUs_ = timeUs;
    secondEndUs_ = timeUs + kStatsSecondUs;
  } else {
    if (timeUs >= secondEndUs_) CloseSecond(timeUs);
    const int64_t gap = timeUs - lastUs_;
    if (gap >= 0 && gap <= kStatsSecondUs) {
      ++current_.intervals;
      current_.intervalSumUs += gap;
      current_.intervalSquareSum += gap * gap;
    }
  }
  if (current_.packets == 0) {
    firstCode_ = code;
    firstX_ = x;
    firstY_ = y;
  } else if (code != firstCode_) {
    current_.oneCode = false;
  }
  const int64_t dx = int64_t(x) - firstX_;
  const int64_t dy = int64_t(y) - firstY_;
  current_.dxSum += dx;
  current_.dxSquareSum += dx * dx;
  current_.dySum += dy;
  current_.dySquareSum += dy * dy;
  ++current_.packets;
  ++packets_;
  lastUs_ = timeUs;
  // Release: whoever sees this time also sees the second published before it.
  lastPacketUs_.store(timeUs, std::memory_order_release);
}

}  // namespace vellum
