#pragma once
// Writes a capture file while the program runs: the reader's bytes (as its IByteTap) or, through
// RecordingPort, the probe's dialogue.
//
// Threading: one thread records at a time (the reader, or before it the probe); Flush(),
// SetHeader() and Close() may come from any thread. Recording takes no lock: it stamps the bytes
// and puts them in a ring that only that thread fills. Flush() empties the ring into the file;
// the recording thread runs it itself when a second has passed without one or the ring is half
// full, and skips it when another thread is already flushing. The reader waits only when the ring
// is full, which takes a minute of a 9600 baud line with nobody flushing.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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
  // Entries in the ring (one per read of up to kEntryBytes bytes).
  static constexpr uint64_t kRingEntries = uint64_t(1) << 16;

  explicit CaptureRecorder(Clock clock = SteadyClockMicros);
  ~CaptureRecorder() override;  // Close()
  CaptureRecorder(const CaptureRecorder&) = delete;
  CaptureRecorder& operator=(const CaptureRecorder&) = delete;

  // Creates (or empties) the file. Returns "" or "PATH: reason". Call once, before recording.
  std::string Open(const std::string& path);

  // The header goes out with the first write, so it may be set after recording has begun (the
  // probe's dialogue comes before its result). Until it is set, only Flush(), Close() and a full
  // ring write.
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
  static constexpr size_t kEntryBytes = 5;
  struct Entry {
    int64_t timeUs;              // in the file's time
    uint8_t kind;                // CaptureEvent, with kContinues when it extends the previous entry
    uint8_t count;               // bytes used
    uint8_t arg;                 // kOpen: the port
    uint8_t bytes[kEntryBytes];  // kOpen: bytes[0] is the CaptureOpenResult
  };
  static constexpr uint8_t kContinues = 0x80;

  // Recording thread: stamps, fills the ring, flushes when due.
  void Put(int64_t nowUs, uint8_t kind, uint8_t arg, const uint8_t* bytes, size_t count);
  // Makes room for `entries` more; false when the recording has stopped.
  bool Reserve(uint64_t head, uint64_t entries);
  // REQUIRES: fileMutex_ held.
  void WriteOut();

  Clock clock_;
  std::unique_ptr<Entry[]> ring_;  // allocated by Open, before recording starts
  std::atomic<uint64_t> head_{0};  // written by the recording thread only
  std::atomic<uint64_t> tail_{0};  // written under fileMutex_ only
  std::atomic<bool> opened_{false};
  std::atomic<bool> stopped_{false};  // closed, or a write failed
  std::atomic<bool> headerSet_{false};
  // The file time of the newest entry written out: a flush from outside counts as the recording
  // thread's own, so with a timer flushing every second the reader hardly ever has to.
  std::atomic<int64_t> flushedUs_{0};

  // The recording thread's own.
  bool started_ = false;
  int64_t startUs_ = 0;  // clock reading of the first recording
  int64_t lastUs_ = 0;   // file time of the last recording

  mutable std::mutex fileMutex_;
  int fd_ = -1;
  CaptureHeader header_;
  bool headerWritten_ = false;
  std::string text_;
  std::vector<uint8_t> line_;
  std::string error_;
};

}  // namespace vellum
