#pragma once
// The pointer where X11 is not available (Wayland): a uinput virtual absolute pointer whose axes
// span the area it is given (the output the window is full screen on: platform/Placement.h),
// so that the compositor puts the pointer where the packet says.
//
// What libinput needs to take the device for an absolute pointer, not a tablet or a touch
// screen: ABS_X and ABS_Y with a resolution, BTN_LEFT and BTN_RIGHT (udev calls absolute axes
// with mouse buttons and no touch or pen buttons a mouse) and INPUT_PROP_POINTER. The axes run
// from the desktop's left (top) to its right (bottom) minus one, so that the compositor's
// (value - min) * size / (max - min + 1) gives back the pixel unchanged.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Pointer.h"

namespace platform {

struct UinputAxis {
  uint16_t code = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t resolution = 0;  // units per millimetre
  friend bool operator==(const UinputAxis&, const UinputAxis&) = default;
};

// What the device declares.
struct UinputDeviceLayout {
  std::string name;
  UinputAxis x, y;
  std::vector<uint16_t> keys;        // EV_KEY codes
  std::vector<uint16_t> properties;  // INPUT_PROP_*
};

UinputDeviceLayout UinputLayoutFor(const vellum::Rect& desktop);

struct InputEvent {
  uint16_t type = 0;
  uint16_t code = 0;
  int32_t value = 0;
  friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

// Where the events go: the kernel device, or a test's list.
class IUinputDevice {
 public:
  virtual ~IUinputDevice() = default;
  virtual bool Write(const InputEvent& event) = 0;
};

// Opens the device; nullptr and `why` (naming the failing call and the fix) when it cannot.
using UinputOpener =
    std::function<std::unique_ptr<IUinputDevice>(const UinputDeviceLayout& layout, std::string& why)>;

// The real device through libevdev's uinput helpers, on /dev/uinput.
std::unique_ptr<IUinputDevice> OpenKernelUinput(const UinputDeviceLayout& layout, std::string& why);

// Milliseconds on a steady clock.
using MillisecondClock = std::function<int64_t()>;
int64_t SteadyMilliseconds();

// The kernel drops an axis value equal to the last one, and whoever opens the device after a
// place was written (the compositor, once udev has announced the new device) learns nothing of
// that place: a pen resting from the first packet on would leave the compositor without a
// pointer position, and draw no cursor. So the place is told again, as a step of one unit and
// back, at the first move after each of these times since the device was made.
inline constexpr int64_t kUinputRetellAfterMs[] = {500, 2000, 5000};

class UinputPointer final : public IPointer {
 public:
  UinputPointer(const vellum::Rect& desktop, UinputOpener open = OpenKernelUinput,
                MillisecondClock now = SteadyMilliseconds);
  bool MoveTo(int32_t x, int32_t y) override;
  void Open() override { OpenOnce(); }
  void Close() override { device_.reset(); }

 private:
  bool OpenOnce();  // whether there is a device to write to
  bool Write(const InputEvent& event);

  UinputDeviceLayout spec_;
  UinputOpener open_;
  MillisecondClock now_;
  std::unique_ptr<IUinputDevice> device_;
  int64_t openedAtMs_ = 0;
  size_t retold_ = 0;  // how many of kUinputRetellAfterMs have passed
  bool failed_ = false;
};

}  // namespace platform
