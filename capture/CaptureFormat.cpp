#include "capture/CaptureFormat.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "tablet/PortPaths.h"

namespace vellum {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string LineError(size_t line, std::string_view reason) {
  return "line " + std::to_string(line) + ": " + std::string(reason);
}

// Quotes a piece of the file for a message, cut short so that a binary file gives a short line.
std::string Quoted(std::string_view text) {
  constexpr size_t kMax = 40;
  std::string q = "\"";
  for (char c : text.substr(0, kMax)) {
    const auto u = static_cast<unsigned char>(c);
    q += (u >= 0x20 && u < 0x7F) ? c : '?';
  }
  if (text.size() > kMax) q += "...";
  return q + "\"";
}

template <typename T>
bool ParseDecimal(std::string_view text, T& value) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits on runs of spaces.
std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

const char* OpenResultWord(CaptureOpenResult r) {
  switch (r) {
    case CaptureOpenResult::kOk:
      return "ok";
    case CaptureOpenResult::kOpenFailed:
      return "open-failed";
    case CaptureOpenResult::kSettingsFailed:
      return "settings-failed";
  }
  return "ok";
}

bool ParseOpenResult(std::string_view word, CaptureOpenResult& r) {
  for (auto candidate : {CaptureOpenResult::kOk, CaptureOpenResult::kOpenFailed,
                         CaptureOpenResult::kSettingsFailed}) {
    if (word == OpenResultWord(candidate)) {
      r = candidate;
      return true;
    }
  }
  return false;
}

// One "key: value" line of the header into `h`. Returns "" or the reason it is wrong.
std::string ParseHeaderLine(std::string_view line, CaptureHeader& h) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) {
    return "header line " + Quoted(line) + " is not \"key: value\"";
  }
  const std::string_view key = line.substr(0, colon);
  for (char c : key) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
      return "header key " + Quoted(key) + " is not lower-case letters, digits and '-'";
    }
  }
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);

  auto number = [&](int32_t lo, int32_t hi, int32_t& field, const char* wanted) -> std::string {
    int32_t v = 0;
    if (!ParseDecimal(value, v) || v < lo || v > hi) {
      return "bad " + std::string(key) + " " + Quoted(value) + " (" + wanted + ")";
    }
    field = v;
    return "";
  };
  if (key == "version") {
    h.program = std::string(value);
  } else if (key == "date") {
    h.date = std::string(value);
  } else if (key == "path") {
    h.path = std::string(value);
  } else if (key == "port") {
    int32_t port = 0;
    std::string e = number(0, kComPorts, port, "0 to 4");
    if (!e.empty()) return e;
    h.port = uint32_t(port);
  } else if (key == "packet-length") {
    int32_t length = 0;
    std::string e = number(0, 7, length, "7 or 5");
    if (!e.empty()) return e;
    if (length != 7 && length != 5 && length != 0) {
      return "bad packet-length " + Quoted(value) + " (7 or 5)";
    }
    h.packetLength = length;
  } else if (key == "range-x") {
    return number(0, 16383, h.rangeX, "0 to 16383");
  } else if (key == "range-y") {
    return number(0, 16383, h.rangeY, "0 to 16383");
  }
  // Any other key belongs to a later writer: skipped.
  return "";
}

// One body line into `out`. Returns "" or the reason it is wrong.
std::string ParseBodyLine(std::string_view line, uint32_t lineNumber, int64_t previousUs,
                          Capture& out) {
  const std::vector<std::string_view> tokens = Tokens(line);
  if (tokens.empty()) return "empty line in the body";
  CaptureRecord r;
  r.line = lineNumber;
  if (!ParseDecimal(tokens[0], r.timeUs)) {
    return "bad time " + Quoted(tokens[0]) + " (microseconds, a decimal number)";
  }
  if (r.timeUs < previousUs) return "time " + std::string(tokens[0]) + " goes backwards";

  size_t first = 1;  // first hex token
  if (tokens.size() > 1 && tokens[1] == "open") {
    r.event = CaptureEvent::kOpen;
    if (tokens.size() != 4) return "an open line is \"<us> open <port> <result>\"";
    if (!ParseDecimal(tokens[2], r.port) || r.port < 1 || r.port > kComPorts) {
      return "bad port " + Quoted(tokens[2]) + " (1 to 4)";
    }
    if (!ParseOpenResult(tokens[3], r.openResult)) {
      return "bad open result " + Quoted(tokens[3]) + " (ok, open-failed or settings-failed)";
    }
    out.records.push_back(r);
    return "";
  }
  if (tokens.size() > 1 && tokens[1] == "close") {
    if (tokens.size() != 2) return "a close line is \"<us> close\"";
    r.event = CaptureEvent::kClose;
    out.records.push_back(r);
    return "";
  }
  if (tokens.size() > 1 && (tokens[1] == "<" || tokens[1] == ">")) {
    r.event = tokens[1] == "<" ? CaptureEvent::kProbeRead : CaptureEvent::kProbeWrite;
    first = 2;
  }
  if (tokens.size() <= first) return "no bytes after the time";
  if (out.bytes.size() + (tokens.size() - first) > std::numeric_limits<uint32_t>::max()) {
    return "capture too large";
  }
  r.offset = uint32_t(out.bytes.size());
  for (size_t i = first; i < tokens.size(); ++i) {
    const std::string_view t = tokens[i];
    const int hi = t.size() == 2 ? HexValue(t[0]) : -1;
    const int lo = t.size() == 2 ? HexValue(t[1]) : -1;
    if (hi < 0 || lo < 0) {
      out.bytes.resize(r.offset);
      return "bad hex byte " + Quoted(t) + " (two hex digits)";
    }
    out.bytes.push_back(uint8_t(hi << 4 | lo));
  }
  r.count = uint32_t(out.bytes.size() - r.offset);
  out.records.push_back(r);
  return "";
}

}  // namespace

std::string ParseCapture(std::string_view text, Capture& out) {
  if (text.empty()) return LineError(1, "empty file, not a capture");
  Capture c;
  enum class Part { kMagic, kHeader, kBody } part = Part::kMagic;
  int64_t previousUs = 0;
  uint32_t lineNumber = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    ++lineNumber;
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) return LineError(lineNumber, "cut off before its end");
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::string error;
    switch (part) {
      case Part::kMagic: {
        const std::string prefix = std::string(kCaptureMagic) + " ";
        if (line.substr(0, prefix.size()) != prefix) {
          return LineError(lineNumber, "not a Vellum capture (it starts with " + Quoted(line) +
                                           ", expected \"vellum-capture 1\")");
        }
        int version = 0;
        const std::string_view number = line.substr(prefix.size());
        if (!ParseDecimal(number, version)) {
          return LineError(lineNumber, "bad capture version " + Quoted(number));
        }
        if (version != kCaptureVersion) {
          return LineError(lineNumber, "capture version " + std::string(number) +
                                           " is unknown (this program reads version 1)");
        }
        part = Part::kHeader;
        break;
      }
      case Part::kHeader:
        if (line.empty() || line == kCaptureHeaderEnd) {
          part = Part::kBody;
          c.headerEndLine = lineNumber;
        } else {
          error = ParseHeaderLine(line, c.header);
        }
        break;
      case Part::kBody:
        error = ParseBodyLine(line, lineNumber, previousUs, c);
        if (error.empty()) previousUs = c.records.back().timeUs;
        break;
    }
    if (!error.empty()) return LineError(lineNumber, error);
  }
  if (part != Part::kBody) return LineError(lineNumber + 1, "the header has no end (\"---\")");
  out = std::move(c);
  return "";
}

std::string FormatCaptureHeader(const CaptureHeader& h) {
  std::string s = std::string(kCaptureMagic) + " " + std::to_string(kCaptureVersion) + "\n";
  auto field = [&s](const char* key, const std::string& value) {
    // A line break in a value would end the line early and end the header with it.
    std::string clean = value;
    for (char& ch : clean) {
      if (ch == '\n' || ch == '\r') ch = ' ';
    }
    s += key;
    s += ": ";
    s += clean;
    s += '\n';
  };
  if (!h.program.empty()) field("version", h.program);
  if (!h.date.empty()) field("date", h.date);
  field("port", std::to_string(h.port));
  if (!h.path.empty()) field("path", h.path);
  field("packet-length", std::to_string(h.packetLength));
  field("range-x", std::to_string(h.rangeX));
  field("range-y", std::to_string(h.rangeY));
  s += kCaptureHeaderEnd;
  s += '\n';
  return s;
}

void AppendCaptureLine(std::string& out, int64_t timeUs, CaptureEvent event, const uint8_t* bytes,
                       size_t count) {
  // One stack buffer per line keeps this to a single append for the reader's one-byte reads.
  constexpr size_t kChunk = 32;
  char buf[24 + 2 + 3 * kChunk + 1];
  auto [p, ec] = std::to_chars(buf, buf + 24, timeUs);
  if (ec != std::errc()) p = buf;
  if (event == CaptureEvent::kProbeRead || event == CaptureEvent::kProbeWrite) {
    *p++ = ' ';
    *p++ = event == CaptureEvent::kProbeRead ? '<' : '>';
  } else if (event == CaptureEvent::kClose) {
    for (char ch : std::string_view(" close")) *p++ = ch;
    count = 0;
  }
  size_t i = 0;
  for (;;) {
    const size_t stop = std::min(count, i + kChunk);
    for (; i < stop; ++i) {
      *p++ = ' ';
      *p++ = kHexDigits[bytes[i] >> 4];
      *p++ = kHexDigits[bytes[i] & 15];
    }
    if (i == count) break;
    out.append(buf, size_t(p - buf));
    p = buf;
  }
  *p++ = '\n';
  out.append(buf, size_t(p - buf));
}

void AppendCaptureOpenLine(std::string& out, int64_t timeUs, int32_t port,
                           CaptureOpenResult result) {
  out += std::to_string(timeUs);
  out += " open ";
  out += std::to_string(port);
  out += ' ';
  out += OpenResultWord(result);
  out += '\n';
}

}  // namespace vellum
