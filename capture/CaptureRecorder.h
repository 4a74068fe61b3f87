#pragma once
// Writes a capture file while the program runs: the reader's bytes (as its IByteTap) or, through
// RecordingPort, the probe's dialogue.
//
// Threading: one thread records at a time (the reader, or before it the probe); Flush(),
// SetHeader() and Close() may come from any thread. Recording stamps the bytes and appends them to
// a batch under a lock held for that alone. Flush() swaps the batch for an empty one and makes and
// writes the text with the lock released, so the recording thread never waits for the disk behind
// another thread. The recording thread flushes itself when a second has passed without a flush or
// the batch has grown large, and skips that when another thread is already flushing.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capture/CaptureFormat.h"
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
  // A batch of this many recordings is written out by the next recording call, header or not,
  // so that memory stays bounded with nobody flushing (over a minute of a 9600 baud line).
  static constexpr size_t kWriteOutRecords = size_t(1) << 16;

  explicit CaptureRecorder(Clock clock = SteadyClockMicros);
  ~CaptureRecorder() override;  // Close()
  CaptureRecorder(const CaptureRecorder&) = delete;
  CaptureRecorder& operator=(const CaptureRecorder&) = delete;

  // Creates (or empties) the file. Returns "" or "PATH: reason". Call once, before recording.
  std::string Open(const std::string& path);

  // The header goes out with the first write, so it may be set after recording has begun (the
  // probe's dialogue comes before its result). Until it is set, only Flush(), Close() and a
  // full batch write.
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
  struct Batch {
    std::vector<CaptureRecord> records;
    std::vector<uint8_t> bytes;  // every record's bytes, back to back
  };

  static constexpr size_t kInitialRoom = 1024;

  // REQUIRES: mutex_ held. Stamps a recording made at nowUs and adds it to the batch; nullptr
  // when it is to be dropped.
  CaptureRecord* Add(int64_t nowUs, CaptureEvent event);
  // Releases `lock` (on mutex_), then writes out if that is due and no one else is writing.
  void WriteOutIfDue(std::unique_lock<std::mutex>& lock);
  // REQUIRES: fileMutex_ held.
  void WriteOut();

  Clock clock_;

  mutable std::mutex mutex_;  // held only to add to the batch or to swap it out, never over a write
  Batch pending_;             // recorded and not written out yet
  CaptureHeader header_;
  bool headerSet_ = false;
  bool headerTaken_ = false;  // gone out with the first write: later headers are ignored
  bool open_ = false;
  bool stopped_ = false;  // closed, or a write failed: recordings are dropped
  bool started_ = false;
  int64_t startUs_ = 0;    // clock reading of the first recording
  int64_t lastUs_ = 0;     // file time of the last recording
  int64_t flushedUs_ = 0;  // file time of the last recording written out
  std::string error_;

  std::mutex fileMutex_;  // held while writing, so that the text goes out in order
  int fd_ = -1;
  Batch writing_;  // swapped with pending_: both keep their room
  std::string text_;
};

}  // namespace vellum
