#pragma once
// Captures of the tablet's byte stream: what the reader read, replayable by vellum-tablet.
// The format is described in docs/capture-format.md.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tablet/Reader.h"

namespace vellum {

struct CaptureHeader {
  int32_t packetLength = 7;  // 7 or 5
  int32_t maxX = 0;          // 0: not recorded
  int32_t maxY = 0;
};

struct Capture {
  CaptureHeader header;
  std::vector<uint8_t> bytes;
};

// Parses a whole capture file. Returns an empty string on success, else a one-line error;
// `capture` is left untouched on error.
std::string ParseCapture(const std::vector<uint8_t>& file, Capture& capture);

// A tap for the reader: writes the header on Open and every byte it is given after it. OnBytes
// runs on the reader thread; the file is flushed when the writer is destroyed.
class CaptureWriter final : public IByteTap {
 public:
  CaptureWriter() = default;
  ~CaptureWriter() override;
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // Returns an empty string on success, else "fopen: <reason>".
  std::string Open(const std::string& path, const CaptureHeader& header);
  void OnBytes(const uint8_t* bytes, size_t count) override;

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace vellum
