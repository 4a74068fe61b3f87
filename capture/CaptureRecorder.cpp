#include "capture/CaptureRecorder.h"

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
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) return path + ": a recording is already open";
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return path + ": " + std::strerror(errno);
  fd_ = fd;
  std::lock_guard<std::mutex> lock(mutex_);
  // Room for more than a second of a 9600 baud line, so that the reader does not allocate.
  for (Batch* b : {&writing_, &pending_}) {
    b->records.reserve(kInitialRoom);
    b->bytes.reserve(kInitialRoom);
  }
  open_ = true;
  return "";
}

void CaptureRecorder::SetHeader(const CaptureHeader& header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (headerTaken_) return;  // too late: the file already has one
  header_ = header;
  headerSet_ = true;
}

void CaptureRecorder::OnBytes(const uint8_t* bytes, size_t count) {
  RecordAt(clock_(), CaptureEvent::kRead, bytes, count);
}

void CaptureRecorder::Record(CaptureEvent event, const uint8_t* bytes, size_t count) {
  RecordAt(clock_(), event, bytes, count);
}

void CaptureRecorder::RecordAt(int64_t nowUs, CaptureEvent event, const uint8_t* bytes,
                               size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  CaptureRecord* r = Add(nowUs, event);
  if (!r) return;
  r->count = uint32_t(count);
  pending_.bytes.insert(pending_.bytes.end(), bytes, bytes + count);
  WriteOutIfDue(lock);
}

void CaptureRecorder::RecordOpen(int32_t port, CaptureOpenResult result) {
  const int64_t nowUs = clock_();
  std::unique_lock<std::mutex> lock(mutex_);
  CaptureRecord* r = Add(nowUs, CaptureEvent::kOpen);
  if (!r) return;
  r->port = port;
  r->openResult = result;
  WriteOutIfDue(lock);
}

CaptureRecord* CaptureRecorder::Add(int64_t nowUs, CaptureEvent event) {
  if (!open_ || stopped_) return nullptr;
  if (!started_) {
    started_ = true;
    startUs_ = nowUs;
  }
  // A clock that stepped back must not make the file unreadable: its times never go back.
  lastUs_ = std::max(lastUs_, nowUs - startUs_);
  CaptureRecord& r = pending_.records.emplace_back();
  r.timeUs = lastUs_;
  r.event = event;
  r.offset = uint32_t(pending_.bytes.size());
  return &r;
}

void CaptureRecorder::WriteOutIfDue(std::unique_lock<std::mutex>& lock) {
  const bool due = (headerSet_ && lastUs_ - flushedUs_ >= kFlushIntervalUs) ||
                   pending_.records.size() >= kWriteOutRecords;
  lock.unlock();
  if (!due) return;
  // Another thread writing right now takes these recordings too, or the next call will.
  std::unique_lock<std::mutex> fileLock(fileMutex_, std::try_to_lock);
  if (fileLock.owns_lock()) WriteOut();
}

void CaptureRecorder::Flush() {
  std::lock_guard<std::mutex> fileLock(fileMutex_);
  WriteOut();
}

void CaptureRecorder::WriteOut() {
  if (fd_ < 0) return;
  writing_.records.clear();
  writing_.bytes.clear();
  text_.clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(writing_, pending_);
    if (!headerTaken_) {
      headerTaken_ = true;
      text_ = FormatCaptureHeader(header_);
    }
    // A flush from outside counts as the recording thread's own: with a timer flushing every
    // second, the reader hardly ever has to.
    flushedUs_ = lastUs_;
  }
  for (const CaptureRecord& r : writing_.records) {
    if (r.event == CaptureEvent::kOpen) {
      AppendCaptureOpenLine(text_, r.timeUs, r.port, r.openResult);
    } else {
      AppendCaptureLine(text_, r.timeUs, r.event, writing_.bytes.data() + r.offset, r.count);
    }
  }
  const char* data = text_.data();
  size_t left = text_.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = "write: " + reason;
      stopped_ = true;
      pending_.records.clear();
      pending_.bytes.clear();
      break;
    }
    data += n;
    left -= size_t(n);
  }
}

void CaptureRecorder::Close() {
  std::lock_guard<std::mutex> fileLock(fileMutex_);
  if (fd_ < 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;  // what was recorded until now goes out below, nothing after it
  }
  WriteOut();
  const bool failed = ::close(fd_) != 0 && errno != EINTR;
  const std::string reason = failed ? std::strerror(errno) : "";
  fd_ = -1;
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed && error_.empty()) error_ = "close: " + reason;
}

std::string CaptureRecorder::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

}  // namespace vellum
