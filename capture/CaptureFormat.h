#pragma once
// The capture file: what the reader read (or what the probe said and heard), one line per read,
// with a header naming the tablet. docs/capture-format.md describes it byte by byte.
// Pure text in, text out: no file or clock in here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

inline constexpr int kCaptureVersion = 1;
inline constexpr std::string_view kCaptureMagic = "vellum-capture";
inline constexpr std::string_view kCaptureHeaderEnd = "---";

struct CaptureHeader {
  std::string program;       // "version": the writing program's version
  std::string date;          // "date": UTC start of the recording, ISO 8601; informative only
  uint32_t port = 0;         // "port": COMn where the tablet was found; 0 when none was
  std::string path;          // "path": the device that stood for COMn
  int32_t packetLength = 0;  // "packet-length": 7 or 5; 0 when unknown
  int32_t rangeX = 0;        // "range-x", "range-y": the range reply's values; 0 when unknown
  int32_t rangeY = 0;
};

enum class CaptureEvent : uint8_t {
  kRead,        // "<us> <hex>...": bytes the reader read
  kProbeRead,   // "<us> < <hex>...": bytes the probe read
  kProbeWrite,  // "<us> > <hex>...": bytes the probe wrote
  kOpen,        // "<us> open <n> <result>": the probe opened COMn
  kClose,       // "<us> close": the probe closed the port
};

// Results of an "open" line, in the words the file uses.
enum class CaptureOpenResult : uint8_t { kOk, kOpenFailed, kSettingsFailed };

struct CaptureRecord {
  int64_t timeUs = 0;
  CaptureEvent event = CaptureEvent::kRead;
  int32_t port = 0;                                       // kOpen only
  CaptureOpenResult openResult = CaptureOpenResult::kOk;  // kOpen only
  uint32_t offset = 0;                                    // into Capture::bytes
  uint32_t count = 0;
  uint32_t line = 0;  // line number in the file, for messages about it
};

struct Capture {
  CaptureHeader header;
  uint32_t headerEndLine = 0;  // the "---" line, for messages about the header as a whole
  std::vector<CaptureRecord> records;
  std::vector<uint8_t> bytes;  // every record's bytes, back to back
  const uint8_t* BytesOf(const CaptureRecord& r) const { return bytes.data() + r.offset; }
};

// Parses a whole capture file. Returns "" on success, else "line N: reason"; `out` is left
// untouched on error. Unknown header keys are skipped; everything after the header is strict.
std::string ParseCapture(std::string_view text, Capture& out);

// The first line and the header, up to and including the "---" line.
std::string FormatCaptureHeader(const CaptureHeader& header);

// Appends one body line (any event but kOpen; kClose takes no bytes). Kept allocation-free once
// `out` has room: the reader calls it per byte.
void AppendCaptureLine(std::string& out, int64_t timeUs, CaptureEvent event, const uint8_t* bytes,
                       size_t count);
void AppendCaptureOpenLine(std::string& out, int64_t timeUs, int32_t port,
                           CaptureOpenResult result);

}  // namespace vellum
