#include "tools/emulator/Stream.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include "tablet/TabletLink.h"
#include "tools/emulator/Emulator.h"

namespace vellum::emu {

std::vector<uint8_t> EncodeRangeReply(int32_t maxX, int32_t maxY, int packetLength) {
  return EncodePacket(Pen{0, maxX, maxY, 0}, packetLength);
}

void AppendPacket(Stream& stream, const Pen& pen, int packetLength) {
  for (uint8_t b : EncodePacket(pen, packetLength)) stream.push_back(OutByte{b, false, 0});
  stream.back().packetEnd = true;
}

namespace {

// Small deterministic generator so that a script replays identically.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  int32_t Next(int32_t lo, int32_t hi) {  // inclusive
    state_ = state_ * 1664525u + 1013904223u;
    return lo + int32_t((state_ >> 8) % uint32_t(hi - lo + 1));
  }

 private:
  uint32_t state_;
};

void AppendStroke(Stream& s, const Pen& from, const Pen& to, int32_t steps, int length) {
  for (int32_t i = 0; i < steps; ++i) {
    const double t = steps > 1 ? double(i) / (steps - 1) : 0.0;
    auto mix = [t](int32_t a, int32_t b) { return int32_t(std::lround(a + (b - a) * t)); };
    AppendPacket(
        s, Pen{from.buttons, mix(from.x, to.x), mix(from.y, to.y), mix(from.pressure, to.pressure)},
        length);
  }
}

void AppendRest(Stream& s, Lcg& random, const Pen& at, int32_t jitter, int32_t count, int length) {
  for (int32_t i = 0; i < count; ++i) {
    Pen pen = at;
    pen.x = std::clamp(at.x + random.Next(-jitter, jitter), 0, 16383);
    pen.y = std::clamp(at.y + random.Next(-jitter, jitter), 0, 16383);
    AppendPacket(s, pen, length);
  }
}

struct Limits {
  long lo;
  long hi;
};
constexpr Limits kCode{0, 7}, kCoord{0, 16383}, kPressure{0, 511}, kCount{1, 100000},
    kJitter{0, 1000}, kMs{0, 600000};

// One command's numbers against its shape: `limits` has one entry per argument, the first
// `required` of them mandatory.
bool Fits(const std::vector<long>& n, std::initializer_list<Limits> limits, size_t required) {
  if (n.size() < required || n.size() > limits.size()) return false;
  size_t i = 0;
  for (const Limits& l : limits) {
    if (i < n.size() && (n[i] < l.lo || n[i] > l.hi)) return false;
    ++i;
  }
  return true;
}

int32_t Arg(const std::vector<long>& n, size_t i, int32_t fallback = 0) {
  return i < n.size() ? int32_t(n[i]) : fallback;
}

}  // namespace

std::string ParseScript(const std::string& text, int packetLength, Stream& stream) {
  Stream parsed;
  Lcg random(1);
  float pendingDelay = 0;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) continue;
    auto error = [number](const std::string& why) {
      return "line " + std::to_string(number) + ": " + why;
    };
    const size_t before = parsed.size();
    if (verb == "raw") {
      std::string hex;
      while (words >> hex) {
        unsigned long v = 0;
        size_t used = 0;
        try {
          v = std::stoul(hex, &used, 16);
        } catch (const std::exception&) {
          used = 0;
        }
        if (used != hex.size() || v > 0xFF)
          return error("raw takes hex bytes, got \"" + hex + "\"");
        parsed.push_back(OutByte{uint8_t(v), false, 0});
      }
    } else {
      std::vector<long> n;
      for (long v; words >> v;) n.push_back(v);
      if (!words.eof()) return error("\"" + verb + "\" takes numbers only");
      if (verb == "packet") {
        if (!Fits(n, {kCode, kCoord, kCoord, kPressure}, 3)) return error("packet B X Y [P]");
        AppendPacket(parsed, Pen{Arg(n, 0), Arg(n, 1), Arg(n, 2), Arg(n, 3)}, packetLength);
      } else if (verb == "stroke") {
        if (!Fits(n, {kCode, kCoord, kCoord, kCoord, kCoord, kCount, kPressure, kPressure}, 6) ||
            n.size() == 7) {
          return error("stroke B X0 Y0 X1 Y1 STEPS [P0 P1]");
        }
        AppendStroke(parsed, Pen{Arg(n, 0), Arg(n, 1), Arg(n, 2), Arg(n, 6)},
                     Pen{Arg(n, 0), Arg(n, 3), Arg(n, 4), Arg(n, 7)}, Arg(n, 5), packetLength);
      } else if (verb == "buttons") {
        if (!Fits(n, {kCoord, kCoord, kPressure, kCount}, 2)) return error("buttons X Y [P [N]]");
        for (int32_t code = 0; code < 8; ++code) {
          AppendRest(parsed, random, Pen{code, Arg(n, 0), Arg(n, 1), Arg(n, 2)}, 0, Arg(n, 3, 20),
                     packetLength);
        }
      } else if (verb == "rest") {
        if (!Fits(n, {kCode, kCoord, kCoord, kJitter, kCount, kPressure}, 5)) {
          return error("rest B X Y JITTER N [P]");
        }
        AppendRest(parsed, random, Pen{Arg(n, 0), Arg(n, 1), Arg(n, 2), Arg(n, 5)}, Arg(n, 3),
                   Arg(n, 4), packetLength);
      } else if (verb == "gap") {
        if (!Fits(n, {kMs}, 1)) return error("gap MS (0 to 600000)");
        pendingDelay += float(n[0]);
      } else {
        return error("unknown command \"" + verb + "\"");
      }
    }
    if (parsed.size() > before) {
      parsed[before].delayMs += pendingDelay;
      pendingDelay = 0;
    }
  }
  // A gap at the end holds the line before the script starts over.
  if (pendingDelay > 0 && !parsed.empty()) parsed.front().delayMs += pendingDelay;
  stream = std::move(parsed);
  return {};
}

Stream DemoStream(int32_t maxX, int32_t maxY, int packetLength) {
  Stream s;
  Lcg random(7);
  const int32_t cx = maxX / 2;
  const int32_t cy = maxY / 2;
  // Between strokes the pen lifts and hovers across (code 0), as a hand would move it.
  Pen at{0, maxX / 10, maxY / 10, 0};
  auto hoverTo = [&](int32_t x, int32_t y) {
    AppendStroke(s, Pen{0, at.x, at.y, 0}, Pen{0, x, y, 0}, 30, packetLength);
    at = Pen{0, x, y, 0};
  };
  auto stroke = [&](const Pen& from, const Pen& to, int32_t steps) {
    hoverTo(from.x, from.y);
    AppendStroke(s, from, to, steps, packetLength);
    at = to;
  };
  // A circle drawn with the tip, pressure rising all the way round.
  constexpr int kSteps = 240;
  auto onCircle = [&](int i, int32_t code, int32_t pressure) {
    const double a = 2 * std::numbers::pi * i / kSteps;
    return Pen{code, cx + int32_t(std::lround(maxX * 0.3 * std::cos(a))),
               cy + int32_t(std::lround(maxY * 0.3 * std::sin(a))), pressure};
  };
  hoverTo(onCircle(0, 0, 0).x, onCircle(0, 0, 0).y);
  for (int i = 0; i <= kSteps; ++i) AppendPacket(s, onCircle(i, 1, 511 * i / kSteps), packetLength);
  at = onCircle(kSteps, 0, 0);
  // Corner to corner with the side switches, pressure falling and rising.
  stroke(Pen{2, maxX / 10, maxY / 10, 400}, Pen{2, maxX * 9 / 10, maxY * 9 / 10, 40}, 120);
  stroke(Pen{3, maxX / 10, maxY * 9 / 10, 200}, Pen{3, maxX * 9 / 10, maxY / 10, 511}, 120);
  // Every button code in turn, the pen held still.
  hoverTo(cx, cy);
  for (int32_t code = 0; code < 8; ++code) {
    AppendRest(s, random, Pen{code, cx, cy, code == 0 ? 0 : 300}, 0, 60, packetLength);
  }
  // A resting pen, hovering with a little jitter, then back to where the next round starts.
  hoverTo(maxX / 3, maxY / 3);
  AppendRest(s, random, Pen{0, maxX / 3, maxY / 3, 0}, 3, 300, packetLength);
  hoverTo(maxX / 10, maxY / 10);
  s.front().delayMs = 300;  // out of proximity between rounds
  return s;
}

void ApplyLineFaults(Stream& stream, const LineFaults& faults, int packetLength) {
  if (!faults.Any()) return;
  const size_t length = HasPressure(packetLength) ? kPressurePacketLength : kPlainPacketLength;
  const double packetMs = double(length) * kByteMs;
  const float idleMs =
      faults.rateFraction > 0 && faults.rateFraction < 1
          ? float(packetMs * (1 / faults.rateFraction - 1))
          : 0;
  Lcg random(11);
  Stream out;
  out.reserve(stream.size() + stream.size() / length + 1);
  Pen before{-1, -1, -1, 0};  // as the tablet meant it, before any noise
  int64_t packets = 0;
  float quietMs = 0;  // the time of dropped packets, owed to the next byte sent
  size_t start = 0;   // the current packet's first byte in `stream`
  for (size_t i = 0; i < stream.size(); ++i) {
    if (!stream[i].packetEnd) continue;
    // Bytes ahead of the packet (a script's raw bytes) go as they are.
    const size_t first = i + 1 >= start + length ? i + 1 - length : start;
    for (size_t j = start; j < first; ++j) {
      out.push_back(stream[j]);
      out.back().delayMs += quietMs;
      quietMs = 0;
    }
    std::vector<uint8_t> bytes;
    float delayMs = idleMs;
    for (size_t j = first; j <= i; ++j) {
      bytes.push_back(stream[j].byte);
      delayMs += stream[j].delayMs;
    }
    start = i + 1;
    const int64_t k = packets++;
    if (faults.dropShare > 0 &&
        std::floor(double(k + 1) * faults.dropShare) > std::floor(double(k) * faults.dropShare)) {
      quietMs += delayMs + float(double(bytes.size()) * kByteMs);
      continue;
    }
    if (bytes.size() == length && faults.restNoise > 0) {
      Pen pen = DecodePacket(bytes.data(), int(length));
      const bool resting = pen.buttons == before.buttons && pen.x == before.x && pen.y == before.y;
      before = pen;
      if (resting) {
        pen.x = std::clamp(pen.x + random.Next(-faults.restNoise, faults.restNoise), 0, 16383);
        pen.y = std::clamp(pen.y + random.Next(-faults.restNoise, faults.restNoise), 0, 16383);
        bytes = EncodePacket(pen, int(length));
      }
    }
    for (size_t j = 0; j < bytes.size(); ++j) {
      out.push_back(OutByte{bytes[j], j + 1 == bytes.size(), j == 0 ? delayMs + quietMs : 0});
    }
    quietMs = 0;
    if (faults.garbageEvery > 0 && (k + 1) % faults.garbageEvery == 0) {
      // A data byte outside any packet: the receiver drops exactly this one byte.
      out.push_back(OutByte{uint8_t(random.Next(0, 0x7F)), false, 0});
    }
  }
  for (size_t j = start; j < stream.size(); ++j) out.push_back(stream[j]);
  if (!out.empty()) out.front().delayMs += quietMs;
  stream = std::move(out);
}

Stream RawStream(const std::vector<uint8_t>& bytes, int packetLength) {
  Stream s;
  s.reserve(bytes.size());
  PacketAssembler assembler(packetLength);
  for (uint8_t b : bytes) {
    s.push_back(OutByte{b, assembler.Push(b) == PacketAssembler::Step::kComplete, 0});
  }
  return s;
}

}  // namespace vellum::emu
