#include "tests/tablet/FakePort.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>

namespace vellum::test {

void FakeLine::Send(const std::vector<uint8_t>& bytes, int64_t delayMs) {
  for (uint8_t b : bytes) input.push_back({now + delayMs, b});
}

void FakeLine::Send(const std::string& text, int64_t delayMs) {
  Send(std::vector<uint8_t>(text.begin(), text.end()), delayMs);
}

FakePort::FakePort() : readable_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

FakePort::~FakePort() {
  ::close(readable_);
}

void FakePort::UpdateReadable() {
  const bool due = open_ && !line_.input.empty() && line_.input.front().at <= line_.now;
  if (due == signalled_) return;
  uint64_t value = 1;
  const ssize_t r =
      due ? ::write(readable_, &value, sizeof value) : ::read(readable_, &value, sizeof value);
  signalled_ = due && r == sizeof value;
}

void FakePort::Send(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  line_.Send(bytes);
  UpdateReadable();
}

int64_t FakePort::NowMs() const {
  std::lock_guard lock(mutex_);
  return line_.now;
}

OpenResult FakePort::Open(int n) {
  std::lock_guard lock(mutex_);
  log_.push_back("open " + std::to_string(n));
  auto it = devices_.find(n);
  if (it == devices_.end()) return OpenResult::kOpenFailed;
  if (refused_[n]) return OpenResult::kSettingsFailed;
  open_ = n;
  ++opens_[n];
  line_.input.clear();
  it->second->OnOpen(line_);
  UpdateReadable();
  return OpenResult::kOk;
}

void FakePort::Write(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  for (size_t i = 0; i < count; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "w %02X", bytes[i]);
    log_.push_back(text);
    written_[open_].push_back(bytes[i]);
    devices_[open_]->OnWrite(bytes[i], line_);
  }
  UpdateReadable();
}

ReadResult FakePort::ReadByte() {
  std::lock_guard lock(mutex_);
  ReadResult r;
  if (!open_ || devices_[open_]->ReadFails()) return r;
  r.ok = true;
  if (!line_.input.empty() && line_.input.front().at <= line_.now) {
    r.count = 1;
    r.byte = line_.input.front().byte;
    line_.input.pop_front();
    UpdateReadable();
  }
  return r;
}

uint32_t FakePort::InputQueueCount() {
  std::lock_guard lock(mutex_);
  uint32_t n = 0;
  for (const auto& p : line_.input) n += p.at <= line_.now ? 1 : 0;
  log_.push_back("count " + std::to_string(n));
  return n;
}

void FakePort::Close() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  log_.push_back("close " + std::to_string(open_));
  open_ = 0;
  UpdateReadable();
}

void FakePort::Pause(int ms) {
  std::lock_guard lock(mutex_);
  log_.push_back("pause " + std::to_string(ms));
  line_.now += ms;
  UpdateReadable();
}

std::vector<uint8_t> Packet7(int code, int x, int y, int pressure, uint8_t start) {
  return {uint8_t(start | (code & 7)),
          uint8_t(x & 0x7F),
          uint8_t((x >> 7) & 0x7F),
          uint8_t(y & 0x7F),
          uint8_t((y >> 7) & 0x7F),
          uint8_t((pressure >> 2) & 0x7F),
          uint8_t(0x04 | ((pressure >> 1) & 1) | ((pressure & 1) << 4))};
}

std::vector<uint8_t> Packet5(int code, int x, int y, uint8_t start) {
  auto p = Packet7(code, x, y, 0, start);
  p.resize(5);
  return p;
}

std::vector<uint8_t> IdentifyBlock(const char* name) {
  std::vector<uint8_t> block(28, '0');
  for (size_t i = 0; i < 6 && name[i]; ++i) block[i] = uint8_t(name[i]);
  return block;
}

std::vector<uint8_t> ScriptedTablet::RangeReply() const {
  auto reply = Packet7(0, x, y, 0, startByte);
  reply[6] = byte6;
  reply.resize(size_t(packetLength));
  return reply;
}

void ScriptedTablet::OnWrite(uint8_t b, FakeLine& line) {
  if (last_ == 'z' && b == '~') {
    if (!identAnswers.empty()) {
      const size_t i = std::min(size_t(identRequests), identAnswers.size() - 1);
      line.Send(identAnswers[i], 1);
    } else if (packetLength == 7) {
      line.Send(IdentifyBlock(), 1);
    }
    ++identRequests;
  } else if (b == 'a') {
    if (!rangeAnswers.empty()) {
      const size_t i = std::min(size_t(rangeRequests), rangeAnswers.size() - 1);
      line.Send(rangeAnswers[i], 1);
    } else {
      line.Send(RangeReply(), 1);
    }
    ++rangeRequests;
  }
  last_ = b;
}

}  // namespace vellum::test
