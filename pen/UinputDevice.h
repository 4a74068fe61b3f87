#pragma once
// A device of the kernel's uinput, made from a DeviceLayout through libevdev. It exists from
// Create until the object is destroyed: nothing of it outlives the program.
//
// Threading: made, written and destroyed on one thread at a time.
#include <memory>
#include <string>

#include "pen/Layout.h"
#include "pen/PenSink.h"

struct libevdev;
struct libevdev_uinput;

namespace vellum::pen {

class UinputDevice final : public IFrameDevice {
 public:
  // nullptr and `why` (the failing call, and what would fix it) when the device cannot be made.
  // `uinputPath` is the uinput control node.
  static std::unique_ptr<UinputDevice> Create(const DeviceLayout& layout, std::string& why,
                                              const char* uinputPath = "/dev/uinput");
  ~UinputDevice() override;
  UinputDevice(const UinputDevice&) = delete;
  UinputDevice& operator=(const UinputDevice&) = delete;

  // One write(2) for the whole frame, so the input core never sees half of it.
  bool WriteFrame(const Event* events, size_t count) override;
  std::string LastError() const override { return lastError_; }
  // The event node, e.g. /dev/input/event7; "" when the kernel does not say.
  std::string DevNode() const;

 private:
  UinputDevice(int fd, libevdev* dev, libevdev_uinput* uinput)
      : fd_(fd), dev_(dev), uinput_(uinput) {}
  int fd_;
  libevdev* dev_;
  libevdev_uinput* uinput_;
  std::string lastError_;
};

// What to say when `path` cannot be opened with errno `err`.
std::string UinputOpenAdvice(const std::string& path, int err);

}  // namespace vellum::pen
