#include "capture/RecordingPort.h"

namespace vellum {

OpenResult RecordingPort::Open(int n) {
  const OpenResult r = inner_.Open(n);
  CaptureOpenResult recorded = CaptureOpenResult::kOk;
  if (r == OpenResult::kOpenFailed) recorded = CaptureOpenResult::kOpenFailed;
  if (r == OpenResult::kSettingsFailed) recorded = CaptureOpenResult::kSettingsFailed;
  recorder_.RecordOpen(n, recorded);
  return r;
}

void RecordingPort::Write(const uint8_t* bytes, size_t count) {
  inner_.Write(bytes, count);
  if (count > 0) recorder_.Record(CaptureEvent::kProbeWrite, bytes, count);
}

ReadResult RecordingPort::ReadByte() {
  const ReadResult r = inner_.ReadByte();
  if (r.ok && r.count == 1) recorder_.Record(CaptureEvent::kProbeRead, &r.byte, 1);
  return r;
}

void RecordingPort::Close() {
  // Close() is idempotent; only the close of an open port is worth a line.
  const bool wasOpen = inner_.IsOpen();
  inner_.Close();
  if (wasOpen) recorder_.Record(CaptureEvent::kClose, nullptr, 0);
}

}  // namespace vellum
