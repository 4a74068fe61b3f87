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
  std::lock_guard<std::mutex> lock(fileMutex_);
  if (fd_ >= 0 || opened_.load()) return path + ": a recording is already open";
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return path + ": " + std::strerror(errno);
  fd_ = fd;
  ring_ = std::make_unique<Entry[]>(kRingEntries);
  opened_.store(true, std::memory_order_release);
  return "";
}

void CaptureRecorder::SetHeader(const CaptureHeader& header) {
  std::lock_guard<std::mutex> lock(fileMutex_);
  if (headerWritten_) return;  // too late: the file already has one
  header_ = header;
  headerSet_.store(true, std::memory_order_release);
}

void CaptureRecorder::OnBytes(const uint8_t* bytes, size_t count) {
  Put(clock_(), uint8_t(CaptureEvent::kRead), 0, bytes, count);
}

void CaptureRecorder::Record(CaptureEvent event, const uint8_t* bytes, size_t count) {
  Put(clock_(), uint8_t(event), 0, bytes, count);
}

void CaptureRecorder::RecordAt(int64_t nowUs, CaptureEvent event, const uint8_t* bytes,
                               size_t count) {
  Put(nowUs, uint8_t(event), 0, bytes, count);
}

void CaptureRecorder::RecordOpen(int32_t port, CaptureOpenResult result) {
  const uint8_t r = uint8_t(result);
  Put(clock_(), uint8_t(CaptureEvent::kOpen), uint8_t(port), &r, 1);
}

void CaptureRecorder::Put(int64_t nowUs, uint8_t kind, uint8_t arg, const uint8_t* bytes,
                          size_t count) {
  if (!opened_.load(std::memory_order_acquire) || stopped_.load(std::memory_order_relaxed)) {
    return;
  }
  if (!started_) {
    started_ = true;
    startUs_ = nowUs;
  }
  // A clock that stepped back must not make the file unreadable: its times never go back.
  const int64_t t = std::max(lastUs_, nowUs - startUs_);
  lastUs_ = t;

  const uint64_t entries = count <= kEntryBytes ? 1 : (count + kEntryBytes - 1) / kEntryBytes;
  const uint64_t head = head_.load(std::memory_order_relaxed);
  if (!Reserve(head, entries)) return;
  for (uint64_t i = 0; i < entries; ++i) {
    Entry& e = ring_[(head + i) & (kRingEntries - 1)];
    const size_t from = size_t(i) * kEntryBytes;
    const size_t n = std::min(kEntryBytes, count - from);
    e.timeUs = t;
    e.kind = i == 0 ? kind : uint8_t(kind | kContinues);
    e.count = uint8_t(n);
    e.arg = arg;
    if (n > 0) std::memcpy(e.bytes, bytes + from, n);
  }
  head_.store(head + entries, std::memory_order_release);

  const bool due = headerSet_.load(std::memory_order_relaxed) &&
                   (t - flushedUs_.load(std::memory_order_relaxed) >= kFlushIntervalUs ||
                    head + entries - tail_.load(std::memory_order_relaxed) >= kRingEntries / 2);
  if (due) {
    // Another thread writing right now takes these entries too, or the next call will.
    std::unique_lock<std::mutex> lock(fileMutex_, std::try_to_lock);
    if (lock.owns_lock()) WriteOut();
  }
}

bool CaptureRecorder::Reserve(uint64_t head, uint64_t entries) {
  if (entries > kRingEntries) return false;
  if (head + entries - tail_.load(std::memory_order_acquire) <= kRingEntries) return true;
  // Full: nobody has flushed for a long while. Write out here, after any flush in progress.
  {
    std::lock_guard<std::mutex> lock(fileMutex_);
    WriteOut();
  }
  return head + entries - tail_.load(std::memory_order_acquire) <= kRingEntries &&
         !stopped_.load(std::memory_order_relaxed);
}

void CaptureRecorder::Flush() {
  std::lock_guard<std::mutex> lock(fileMutex_);
  WriteOut();
}

void CaptureRecorder::WriteOut() {
  if (fd_ < 0) return;
  const uint64_t head = head_.load(std::memory_order_acquire);
  uint64_t tail = tail_.load(std::memory_order_relaxed);
  if (!error_.empty()) {
    tail_.store(head, std::memory_order_release);  // nothing more goes out
    return;
  }
  text_.clear();
  if (!headerWritten_) {
    text_ = FormatCaptureHeader(header_);
    headerWritten_ = true;
  }
  const bool any = tail != head;
  int64_t newest = 0;
  while (tail != head) {
    const Entry& e = ring_[tail & (kRingEntries - 1)];
    const auto event = CaptureEvent(e.kind & ~kContinues);
    newest = e.timeUs;
    ++tail;
    if (event == CaptureEvent::kOpen) {
      AppendCaptureOpenLine(text_, e.timeUs, e.arg, CaptureOpenResult(e.bytes[0]));
      continue;
    }
    // A read longer than one entry went in as several, published together.
    line_.assign(e.bytes, e.bytes + e.count);
    while (tail != head && (ring_[tail & (kRingEntries - 1)].kind & kContinues)) {
      const Entry& more = ring_[tail & (kRingEntries - 1)];
      line_.insert(line_.end(), more.bytes, more.bytes + more.count);
      ++tail;
    }
    AppendCaptureLine(text_, e.timeUs, event, line_.data(), line_.size());
  }
  // The entries are in text_ now: the recording thread may reuse their places.
  tail_.store(tail, std::memory_order_release);
  if (any) flushedUs_.store(newest, std::memory_order_relaxed);

  const char* data = text_.data();
  size_t left = text_.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = std::string("write: ") + (n < 0 ? std::strerror(errno) : "nothing written");
      stopped_.store(true, std::memory_order_relaxed);
      break;
    }
    data += n;
    left -= size_t(n);
  }
}

void CaptureRecorder::Close() {
  std::lock_guard<std::mutex> lock(fileMutex_);
  if (fd_ < 0) return;
  WriteOut();
  stopped_.store(true, std::memory_order_relaxed);
  if (::close(fd_) != 0 && errno != EINTR && error_.empty()) {
    error_ = std::string("close: ") + std::strerror(errno);
  }
  fd_ = -1;
}

std::string CaptureRecorder::Error() const {
  std::lock_guard<std::mutex> lock(fileMutex_);
  return error_;
}

}  // namespace vellum
