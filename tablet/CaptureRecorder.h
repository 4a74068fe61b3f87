#pragma once
// Writes a capture file while the program runs: the reader's bytes (as its IByteTap) or, through
// RecordingPort, the probe's dialogue.
//
// Threading: one thread records at a time (the reader, or the probe); Flush() and Close() may
// come from any other thread. Recording only appends to a memory buffer under a short lock; file
// writes happen in Flush(), which the recording thread itself runs at most once a second and
// skips when another thread is already writing. The reader therefore never waits for the disk
// behind another thread, and never for longer than one swap of buffers.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "tablet/CaptureFormat.h"
#include "tablet/Detection.h"
#include "tablet/Reader.h"

namespace vellum {

// The header for a tablet found by detection (port 0: none found), stamped with this program's
// version and the current UTC time.
CaptureHeader CaptureHeaderFor(const TabletInfo& info, const std::string& path);

// Monotonic microseconds.
int64_t SteadyClockMicros();

class CaptureRecorder final : public IByteTap {
 public:
  using Clock = std::function<int64_t()>;  // monotonic microseconds
  // Recordings older than this are written out by the next recording call.
  static constexpr int64_t kFlushIntervalUs = 1'000'000;
  // A buffer this large is written out at once, whatever its age.
  static constexpr size_t kFlushBytes = 256 * 1024;

  explicit CaptureRecorder(Clock clock = SteadyClockMicros);
  ~CaptureRecorder() override;  // Close()
  CaptureRecorder(const CaptureRecorder&) = delete;
  CaptureRecorder& operator=(const CaptureRecorder&) = delete;

  // Creates (or empties) the file. Returns "" or "PATH: reason". Call once, before recording.
  std::string Open(const std::string& path);

  // The header goes out with the first write, so it may be set after recording has begun (the
  // probe's dialogue comes before its result). Until it is set, only Flush() and Close() write.
  void SetHeader(const CaptureHeader& header);

  // Reader thread.
  void OnBytes(const uint8_t* bytes, size_t count) override;
  // The probe's dialogue (RecordingPort).
  void Record(CaptureEvent event, const uint8_t* bytes, size_t count);
  // As Record, stamped with a time the caller has just read from the same clock (so that a
  // caller's own output can carry the very times the file gets).
  void RecordAt(int64_t nowUs, CaptureEvent event, const uint8_t* bytes, size_t count);
  void RecordOpen(int32_t port, CaptureOpenResult result);

  // Writes out everything recorded so far (and the header if it has not gone out yet).
  void Flush();
  // Flush, then close the file; later recordings are dropped. Idempotent.
  void Close();

  // The first failure to write, "" while there has been none. Recording stops at that point.
  std::string Error() const;

 private:
  // REQUIRES: dataMutex_ held. Returns the time to stamp the line with.
  int64_t Stamp(int64_t nowUs);
  // REQUIRES: dataMutex_ held. Whether the recording thread should write out now.
  bool Due(int64_t nowUs) const;
  // REQUIRES: fileMutex_ held.
  void WriteOut();
  void FlushFromRecorder();

  Clock clock_;
  int fd_ = -1;  // written under fileMutex_; set once by Open before recording starts

  // Lock order: fileMutex_ before dataMutex_.
  std::mutex fileMutex_;
  std::string spare_;  // fileMutex_: the buffer being written

  mutable std::mutex dataMutex_;
  std::string buffer_;
  CaptureHeader header_;
  bool opened_ = false;  // the recording threads' view of fd_ >= 0
  bool headerSet_ = false;
  bool headerWritten_ = false;
  bool closed_ = false;
  bool started_ = false;
  int64_t startUs_ = 0;
  int64_t lastFlushUs_ = 0;
  int64_t lastRecordUs_ = 0;  // clock reading of the last recording
  int64_t lastStampUs_ = 0;   // its time in the file
  std::string error_;
};

}  // namespace vellum
