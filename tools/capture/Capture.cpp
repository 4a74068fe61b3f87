#include "tools/capture/Capture.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

namespace vellum {
namespace {

constexpr std::string_view kMagic = "vellum-capture 1";
constexpr size_t kMaxHeaderBytes = 4096;

bool ParseInt(std::string_view text, int32_t& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string ParseCapture(const std::vector<uint8_t>& file, Capture& capture) {
  const std::string_view text(reinterpret_cast<const char*>(file.data()),
                              std::min(file.size(), kMaxHeaderBytes));
  const size_t end = text.find("\n\n");
  if (end == std::string_view::npos) return "no end of header within 4096 bytes";
  std::string_view header = text.substr(0, end + 1);
  const size_t firstEnd = header.find('\n');
  if (header.substr(0, firstEnd) != kMagic) return "the first line is not \"vellum-capture 1\"";
  header.remove_prefix(firstEnd + 1);
  CaptureHeader parsed;
  while (!header.empty()) {
    const size_t eol = header.find('\n');
    const std::string_view line = header.substr(0, eol);
    header.remove_prefix(eol + 1);
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) return "a header line without \": \"";
    const std::string_view key = line.substr(0, colon);
    int32_t* field = key == "packet-length" ? &parsed.packetLength
                     : key == "max-x"       ? &parsed.maxX
                     : key == "max-y"       ? &parsed.maxY
                                            : nullptr;
    if (!field) continue;  // keys of later writers
    if (!ParseInt(line.substr(colon + 2), *field)) return "bad number for " + std::string(key);
  }
  if (parsed.packetLength != 7 && parsed.packetLength != 5) return "packet-length must be 7 or 5";
  if (parsed.maxX < 0 || parsed.maxY < 0) return "a negative range";
  capture.header = parsed;
  capture.bytes.assign(file.begin() + std::ptrdiff_t(end + 2), file.end());
  return {};
}

CaptureWriter::~CaptureWriter() {
  if (file_) std::fclose(file_);
}

std::string CaptureWriter::Open(const std::string& path, const CaptureHeader& header) {
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "wbe");
  if (!file_) return std::string("fopen: ") + std::strerror(errno);
  std::fprintf(file_, "%.*s\npacket-length: %d\nmax-x: %d\nmax-y: %d\n\n", int(kMagic.size()),
               kMagic.data(), int(header.packetLength), int(header.maxX), int(header.maxY));
  return {};
}

void CaptureWriter::OnBytes(const uint8_t* bytes, size_t count) {
  if (file_) std::fwrite(bytes, 1, count, file_);
}

}  // namespace vellum
