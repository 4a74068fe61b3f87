#include "platform/UinputPointer.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// About 96 pixels an inch: the number matters little, but libinput wants one.
constexpr int32_t kUnitsPerMm = 4;

class KernelUinput final : public IUinputDevice {
 public:
  KernelUinput(libevdev* dev, libevdev_uinput* uinput) : dev_(dev), uinput_(uinput) {}
  ~KernelUinput() override {
    libevdev_uinput_destroy(uinput_);
    libevdev_free(dev_);
  }
  bool Write(const InputEvent& e) override {
    return libevdev_uinput_write_event(uinput_, e.type, e.code, e.value) == 0;
  }

 private:
  libevdev* dev_;
  libevdev_uinput* uinput_;
};

std::string OpenAdvice(int err) {
  const std::string what = std::string("cannot open /dev/uinput (") + std::strerror(err) + ")";
  if (err == ENOENT || err == ENODEV)
    return what + ": load the uinput module (modprobe uinput; to keep it, add uinput to "
                  "/etc/modules-load.d/)";
  if (err == EACCES || err == EPERM)
    return what + ": give this user write access to it, through a udev rule such as "
                  "KERNEL==\"uinput\", GROUP=\"input\", MODE=\"0660\" and membership of the "
                  "input group";
  return what;
}

}  // namespace

UinputDeviceLayout UinputLayoutFor(const vellum::Rect& desktop) {
  UinputDeviceLayout layout;
  layout.name = "Vellum tablet pointer";
  // An empty desktop still gets a valid axis (max > min).
  layout.x = {ABS_X, desktop.left, std::max(desktop.right - 1, desktop.left + 1), kUnitsPerMm};
  layout.y = {ABS_Y, desktop.top, std::max(desktop.bottom - 1, desktop.top + 1), kUnitsPerMm};
  layout.keys = {BTN_LEFT, BTN_RIGHT};
  layout.properties = {INPUT_PROP_POINTER};
  return layout;
}

std::unique_ptr<IUinputDevice> OpenKernelUinput(const UinputDeviceLayout& layout, std::string& why) {
  libevdev* dev = libevdev_new();
  if (!dev) {
    why = "libevdev_new failed";
    return nullptr;
  }
  libevdev_set_name(dev, layout.name.c_str());
  libevdev_set_id_bustype(dev, BUS_VIRTUAL);
  for (const UinputAxis& a : {layout.x, layout.y}) {
    input_absinfo info{};
    info.minimum = a.minimum;
    info.maximum = a.maximum;
    info.resolution = a.resolution;
    libevdev_enable_event_code(dev, EV_ABS, a.code, &info);
  }
  for (uint16_t key : layout.keys) libevdev_enable_event_code(dev, EV_KEY, key, nullptr);
  for (uint16_t prop : layout.properties) libevdev_enable_property(dev, prop);
  libevdev_enable_event_code(dev, EV_SYN, SYN_REPORT, nullptr);

  libevdev_uinput* uinput = nullptr;
  const int r = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &uinput);
  if (r != 0) {
    why = OpenAdvice(-r);
    libevdev_free(dev);
    return nullptr;
  }
  return std::make_unique<KernelUinput>(dev, uinput);
}

UinputPointer::UinputPointer(const vellum::Rect& desktop, UinputOpener open)
    : spec_(UinputLayoutFor(desktop)), open_(std::move(open)) {}

bool UinputPointer::MoveTo(int32_t x, int32_t y) {
  if (failed_) return false;
  if (!device_) {
    std::string why;
    device_ = open_(spec_, why);
    if (!device_) {
      failed_ = true;
      ReportPointerProblem(why + "; the pointer will not follow the tablet");
      return false;
    }
  }
  // Outside the desktop the compositor would clamp anyway; clamping here keeps it predictable.
  const InputEvent events[] = {
      {EV_ABS, ABS_X, std::clamp(x, spec_.x.minimum, spec_.x.maximum)},
      {EV_ABS, ABS_Y, std::clamp(y, spec_.y.minimum, spec_.y.maximum)},
      {EV_SYN, SYN_REPORT, 0},
  };
  for (const InputEvent& e : events) {
    if (!device_->Write(e)) {
      failed_ = true;
      device_.reset();
      ReportPointerProblem("writing to the uinput device failed; the pointer will not follow "
                           "the tablet");
      return false;
    }
  }
  return true;
}

}  // namespace platform
