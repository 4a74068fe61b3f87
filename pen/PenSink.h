#pragma once
// The reader's end of the pen tablet: every packet and every quiet line through the frame maker
// to the devices. Runs on the reader thread; no locks, no clock of its own (the reader's port
// clock times everything).
#include <atomic>
#include <cstddef>
#include <string>

#include "pen/FrameMaker.h"
#include "pen/Frames.h"
#include "tablet/Reader.h"

namespace vellum::pen {

// Where a device's frames go: the kernel's uinput device, or a test's list.
class IFrameDevice {
 public:
  virtual ~IFrameDevice() = default;
  // The whole frame at once; false when it could not be written.
  virtual bool WriteFrame(const Event* events, size_t count) = 0;
  // Why the last write failed, naming the call ("write: No such device"); "" when it cannot tell.
  virtual std::string LastError() const { return {}; }
};

class PenSink final : public ITabletSink, public IQuietWatch {
 public:
  // `start` is the tool in hand; `puck` may be null where there is no cursor (7-byte tablets).
  // `usePuck`, when given, is read with every packet on 5-byte tablets instead: true puts the
  // cursor in hand, false the stylus (`start`, or the 3-button one when `start` is the cursor;
  // a 2-button stylus sends nothing that reading gets wrong). A signal handler flips it. `stop`
  // is set when a device refuses a frame, which ends the reader.
  PenSink(const TabletGeometry& g, Tool start, IFrameDevice& pen, IFrameDevice* puck,
          std::atomic<bool>& stop, const std::atomic<bool>* usePuck = nullptr);

  void OnTabletEvent(const TabletEvent& event) override;
  int64_t QuietDeadlineUs() const override { return maker_.QuietDeadlineUs(); }
  void OnQuiet(int64_t nowUs) override;
  // The tool leaves proximity now; call once the reader has returned.
  void Finish();

  // "" while every frame was written; else what failed.
  const std::string& Failure() const { return failure_; }
  Tool CurrentTool() const;

 private:
  void Write(const Frames& frames);

  FrameMaker maker_;
  int32_t packetLength_;
  Tool stylus_;
  bool startWithPuck_;
  IFrameDevice& pen_;
  IFrameDevice* puck_;
  std::atomic<bool>& stop_;
  const std::atomic<bool>* usePuck_;
  std::string failure_;
};

}  // namespace vellum::pen
