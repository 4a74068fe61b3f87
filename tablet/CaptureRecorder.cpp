#include "tablet/CaptureRecorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#ifndef VELLUM_VERSION
#define VELLUM_VERSION "unknown"
#endif

namespace vellum {

int64_t SteadyClockMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

CaptureHeader CaptureHeaderFor(const TabletInfo& info, const std::string& path) {
  CaptureHeader h;
  h.program = VELLUM_VERSION;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char date[32];
  if (gmtime_r(&now, &utc) && std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc) > 0) {
    h.date = date;
  }
  h.port = info.port;
  if (info.port != 0) h.path = path;
  h.packetLength = info.packetLength;
  h.rangeX = info.maxX;
  h.rangeY = info.maxY;
  return h;
}

CaptureRecorder::CaptureRecorder(Clock clock) : clock_(std::move(clock)) {}

CaptureRecorder::~CaptureRecorder() {
  Close();
}

std::string CaptureRecorder::Open(const std::string& path) {
  std::lock_guard<std::mutex> fileLock(fileMutex_);
  if (fd_ >= 0) return path + ": a recording is already open";
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return path + ": " + std::strerror(errno);
  fd_ = fd;
  std::lock_guard<std::mutex> lock(dataMutex_);
  opened_ = true;
  return "";
}

void CaptureRecorder::SetHeader(const CaptureHeader& header) {
  std::lock_guard<std::mutex> lock(dataMutex_);
  if (headerWritten_) return;  // too late: the file already has one
  header_ = header;
  headerSet_ = true;
}

int64_t CaptureRecorder::Stamp(int64_t nowUs) {
  if (!started_) {
    started_ = true;
    startUs_ = nowUs;
    lastFlushUs_ = nowUs;
  }
  lastRecordUs_ = nowUs;
  // A clock that stepped back must not make the file unreadable: its times never go back.
  const int64_t t = nowUs - startUs_;
  if (t > lastStampUs_) lastStampUs_ = t;
  return lastStampUs_;
}

bool CaptureRecorder::Due(int64_t nowUs) const {
  return headerSet_ && (nowUs - lastFlushUs_ >= kFlushIntervalUs || buffer_.size() >= kFlushBytes);
}

void CaptureRecorder::OnBytes(const uint8_t* bytes, size_t count) {
  Record(CaptureEvent::kRead, bytes, count);
}

void CaptureRecorder::Record(CaptureEvent event, const uint8_t* bytes, size_t count) {
  RecordAt(clock_(), event, bytes, count);
}

void CaptureRecorder::RecordAt(int64_t now, CaptureEvent event, const uint8_t* bytes,
                               size_t count) {
  bool due;
  {
    std::lock_guard<std::mutex> lock(dataMutex_);
    if (!opened_ || closed_) return;
    AppendCaptureLine(buffer_, Stamp(now), event, bytes, count);
    due = Due(now);
    if (due) lastFlushUs_ = now;
  }
  if (due) FlushFromRecorder();
}

void CaptureRecorder::RecordOpen(int32_t port, CaptureOpenResult result) {
  bool due;
  {
    std::lock_guard<std::mutex> lock(dataMutex_);
    if (!opened_ || closed_) return;
    const int64_t now = clock_();
    AppendCaptureOpenLine(buffer_, Stamp(now), port, result);
    due = Due(now);
    if (due) lastFlushUs_ = now;
  }
  if (due) FlushFromRecorder();
}

void CaptureRecorder::FlushFromRecorder() {
  // Another thread writing right now will take our lines too, or the next turn will.
  std::unique_lock<std::mutex> fileLock(fileMutex_, std::try_to_lock);
  if (fileLock.owns_lock()) WriteOut();
}

void CaptureRecorder::Flush() {
  std::lock_guard<std::mutex> fileLock(fileMutex_);
  WriteOut();
}

void CaptureRecorder::WriteOut() {
  if (fd_ < 0) return;
  {
    std::lock_guard<std::mutex> lock(dataMutex_);
    if (!error_.empty()) return;
    spare_.clear();
    // A flush from outside counts as the recording thread's own: with a timer flushing every
    // second, the reader hardly ever has to.
    lastFlushUs_ = std::max(lastFlushUs_, lastRecordUs_);
    if (!headerWritten_) {
      spare_ = FormatCaptureHeader(header_);
      headerWritten_ = true;
      spare_ += buffer_;
      buffer_.clear();
    } else {
      // The reader keeps appending to the emptied buffer while we write; both keep their
      // capacity, so a steady recording does not allocate.
      spare_.swap(buffer_);
    }
  }
  const char* p = spare_.data();
  size_t left = spare_.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
      std::lock_guard<std::mutex> lock(dataMutex_);
      error_ = "write: " + reason;
      closed_ = true;
      buffer_.clear();
      break;
    }
    p += n;
    left -= size_t(n);
  }
  spare_.clear();
}

void CaptureRecorder::Close() {
  std::lock_guard<std::mutex> fileLock(fileMutex_);
  if (fd_ < 0) return;
  WriteOut();
  {
    std::lock_guard<std::mutex> lock(dataMutex_);
    closed_ = true;
    buffer_.clear();
  }
  if (::close(fd_) != 0 && errno != EINTR) {
    std::lock_guard<std::mutex> lock(dataMutex_);
    if (error_.empty()) error_ = std::string("close: ") + std::strerror(errno);
  }
  fd_ = -1;
}

std::string CaptureRecorder::Error() const {
  std::lock_guard<std::mutex> lock(dataMutex_);
  return error_;
}

}  // namespace vellum
