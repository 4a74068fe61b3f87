// Line statistics: running sums on the reader's side, the figures and their text on the other.
#include "tablet/LineStats.h"

#include <charconv>
#include <cmath>
#include <thread>

namespace vellum {
namespace {

constexpr const char* kDot = " \u00b7 ";

// Population standard deviation from a count, a sum and a sum of squares. The difference of the
// products is formed in 128 bits, so it is exact.
double StdDev(int64_t n, int64_t sum, int64_t squareSum) {
  if (n <= 0) return 0;
  __int128 spread = __int128(n) * squareSum - __int128(sum) * sum;
  if (spread < 0) spread = 0;
  return std::sqrt(double(spread)) / double(n);
}

std::string Fixed(double value, int decimals) {
  char text[32];
  const auto [end, ec] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

std::string NoiseText(const NoiseFigure& noise) {
  switch (noise.kind) {
    case NoiseFigure::Kind::kStill:
      return Fixed(noise.x, 1) + " x " + Fixed(noise.y, 1);
    case NoiseFigure::Kind::kMoving:
      return "moving";
    case NoiseFigure::Kind::kNone:
      break;
  }
  return "-";
}

std::string ErrorsText(const std::optional<LineErrorCounts>& errors) {
  if (!errors) return "n/a";
  std::string text = std::to_string(errors->Total());
  if (errors->Total() == 0) return text;
  const std::pair<uint32_t, const char*> kinds[] = {{errors->framing, "framing"},
                                                    {errors->parity, "parity"},
                                                    {errors->overrun, "overrun"},
                                                    {errors->bufferOverrun, "buffer overrun"}};
  const char* separator = " (";
  for (const auto& [count, name] : kinds) {
    if (count == 0) continue;
    text += separator + std::to_string(count) + ' ' + name;
    separator = ", ";
  }
  return text + ')';
}

std::string RateText(const std::optional<double>& rate) {
  if (!rate) return "-/s";
  if (*rate == 0) return "0/s";
  return Fixed(*rate, 1) + "/s";
}

// Packets a second the line carries at most: 9600 baud, 11 bits a byte (start, 8 data, parity,
// stop). 124.7 for 7-byte packets, 174.5 for 5-byte ones.
double LineCeiling(int packetLength) {
  return packetLength > 0 ? 9600.0 / (11.0 * packetLength) : 0;
}

// Rate, jitter and noise of one second (the other fields are left alone).
void ComputeSecondFigures(const SecondSums& s, LineFigures& out) {
  // Measured on the gaps, so a second that holds 124 or 125 packets of a steady stream reads the
  // same; without a gap to measure, the count is all there is (0 or 1).
  out.rate = s.intervals > 0 && s.intervalSumUs > 0
                 ? double(s.intervals) * double(kStatsSecondUs) / double(s.intervalSumUs)
                 : double(s.packets);
  out.jitterMs.reset();
  if (s.intervals >= 2) {
    out.jitterMs = StdDev(s.intervals, s.intervalSumUs, s.intervalSquareSum) / 1000.0;
  }
  out.noise = {};
  if (s.packets < 2) return;
  const double x = StdDev(s.packets, s.dxSum, s.dxSquareSum);
  const double y = StdDev(s.packets, s.dySum, s.dySquareSum);
  if (!s.oneCode || x >= kStillBelowCounts || y >= kStillBelowCounts) {
    out.noise.kind = NoiseFigure::Kind::kMoving;
  } else {
    out.noise = {NoiseFigure::Kind::kStill, x, y};
  }
}

}  // namespace

std::string FormatLineFigures(const LineFigures& f, int packetLength) {
  return RateText(f.rate) + " of " + Fixed(LineCeiling(packetLength), 1) + kDot + "jitter " +
         (f.jitterMs ? Fixed(*f.jitterMs, 2) + " ms" : std::string("-")) + kDot + "noise " +
         NoiseText(f.noise) + kDot + "garbled " + std::to_string(f.garbled) + kDot +
         "line errors " + ErrorsText(f.lineErrors);
}

std::string FormatLineSummary(const LineSummary& s) {
  return std::to_string(s.packets) + " packets in " + Fixed(s.seconds, 2) + " s (" +
         RateText(s.rate) + ")" + kDot + "garbled " + std::to_string(s.garbled) + kDot +
         "line errors " + ErrorsText(s.lineErrors) + kDot + "noise " + NoiseText(s.noise);
}

void LineStats::CloseSecond(int64_t timeUs) {
  if (current_.packets >= 2) {
    lastFull_ = current_;
    haveLastFull_ = true;
  }
  // Whole seconds without a packet between the current one and this packet's.
  const int64_t quiet = (timeUs - secondEndUs_) / kStatsSecondUs;
  if (quiet == 0) {
    current_.endUs = secondEndUs_;
    Publish(current_);
  } else {
    SecondSums empty;
    empty.endUs = secondEndUs_ + quiet * kStatsSecondUs;
    Publish(empty);
  }
  secondEndUs_ += (quiet + 1) * kStatsSecondUs;
  current_ = {};
}

void LineStats::Publish(const SecondSums& s) {
  const int64_t words[kWords] = {s.endUs,        s.packets,   s.intervals,   s.intervalSumUs,
                                 s.intervalSquareSum, s.dxSum, s.dxSquareSum, s.dySum,
                                 s.dySquareSum, s.oneCode ? 1 : 0};
  const uint64_t sequence = sequence_.load(std::memory_order_relaxed);
  sequence_.store(sequence + 1, std::memory_order_relaxed);
  // Release stores rather than a fence (which ThreadSanitizer cannot follow): a reader that sees
  // any new word also sees the odd sequence before it, and retries. Once a second, and plain
  // moves on x86.
  for (size_t i = 0; i < kWords; ++i) words_[i].store(words[i], std::memory_order_release);
  sequence_.store(sequence + 2, std::memory_order_release);
}

bool LineStats::ReadPublished(SecondSums& s) const {
  int64_t w[kWords];
  for (;;) {
    const uint64_t before = sequence_.load(std::memory_order_acquire);
    if (before == 0) return false;
    if (before & 1) {
      // The reader is half-way through a second's few stores.
      std::this_thread::yield();
      continue;
    }
    // Acquire loads: the sequence read after them cannot be older than what they saw.
    for (size_t i = 0; i < kWords; ++i) w[i] = words_[i].load(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) == before) break;
  }
  s.endUs = w[0];
  s.packets = w[1];
  s.intervals = w[2];
  s.intervalSumUs = w[3];
  s.intervalSquareSum = w[4];
  s.dxSum = w[5];
  s.dxSquareSum = w[6];
  s.dySum = w[7];
  s.dySquareSum = w[8];
  s.oneCode = w[9] != 0;
  return true;
}

LineFigures LineStats::Figures(int64_t nowUs) const {
  LineFigures f;
  f.garbled = garbled_.load(std::memory_order_relaxed);
  const int64_t last = lastPacketUs_.load(std::memory_order_acquire);
  // No packet for a second: that second's figures are known without the reader.
  if (last == kNever || nowUs - last >= kStatsSecondUs) {
    f.rate = 0.0;
    return f;
  }
  SecondSums second;
  if (ReadPublished(second)) ComputeSecondFigures(second, f);
  return f;
}

LineSummary LineStats::Summary() const {
  LineSummary s;
  s.packets = packets_;
  s.garbled = garbled_.load(std::memory_order_relaxed);
  if (packets_ >= 2 && lastUs_ > firstUs_) {
    s.seconds = double(lastUs_ - firstUs_) / double(kStatsSecondUs);
    s.rate = double(packets_ - 1) * double(kStatsSecondUs) / double(lastUs_ - firstUs_);
  }
  LineFigures f;
  ComputeSecondFigures(haveLastFull_ ? lastFull_ : current_, f);
  s.noise = f.noise;
  return s;
}

}  // namespace vellum
