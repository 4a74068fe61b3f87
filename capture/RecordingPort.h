#pragma once
// An IPort that passes everything to another port and records the dialogue both ways: opens,
// writes, bytes read and closes. Used around the probe by `--probe --record`.

#include "capture/CaptureRecorder.h"
#include "tablet/TabletLink.h"

namespace vellum {

class RecordingPort final : public IPort {
 public:
  RecordingPort(IPort& inner, CaptureRecorder& recorder) : inner_(inner), recorder_(recorder) {}

  OpenResult Open(int n) override;
  void Write(const uint8_t* bytes, size_t count) override;
  ReadResult ReadByte() override;
  uint32_t InputQueueCount() override { return inner_.InputQueueCount(); }
  void Close() override;
  bool IsOpen() const override { return inner_.IsOpen(); }
  void Pause(int ms) override { inner_.Pause(ms); }
  int64_t NowMs() const override { return inner_.NowMs(); }
  int64_t NowUs() const override { return inner_.NowUs(); }
  int PollFd() const override { return inner_.PollFd(); }
  void SetPollThreshold(int bytes) override { inner_.SetPollThreshold(bytes); }
  std::string ReadFailure() const override { return inner_.ReadFailure(); }
  std::string LastError() const override { return inner_.LastError(); }
  OpenReport LastOpen() const override { return inner_.LastOpen(); }
  std::optional<LineErrorCounts> LineErrors() const override { return inner_.LineErrors(); }
  void RestoreLatency() override { inner_.RestoreLatency(); }
  std::string LatencyNotice() const override { return inner_.LatencyNotice(); }

 private:
  IPort& inner_;
  CaptureRecorder& recorder_;
};

}  // namespace vellum
