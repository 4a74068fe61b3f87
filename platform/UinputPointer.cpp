#include "platform/UinputPointer.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>

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

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

UinputPointer::UinputPointer(const vellum::Rect& desktop, UinputOpener open, MillisecondClock now)
    : spec_(UinputLayoutFor(desktop)), open_(std::move(open)), now_(std::move(now)) {}

bool UinputPointer::Write(const InputEvent& event) {
  if (device_->Write(event)) return true;
  failed_ = true;
  device_.reset();
  ReportPointerProblem("writing to the uinput device failed; the pointer will not follow the "
                       "tablet");
  return false;
}

bool UinputPointer::OpenOnce() {
  if (failed_) return false;
  if (device_) return true;
  std::string why;
  device_ = open_(spec_, why);
  if (!device_) {
    failed_ = true;
    ReportPointerProblem(why + "; the pointer will not follow the tablet");
    return false;
  }
  openedAtMs_ = now_();
  retold_ = 0;
  return true;
}

bool UinputPointer::MoveTo(int32_t x, int32_t y) {
  if (!OpenOnce()) return false;
  // Outside the desktop the compositor would clamp anyway; clamping here keeps it predictable.
  x = std::clamp(x, spec_.x.minimum, spec_.x.maximum);
  y = std::clamp(y, spec_.y.minimum, spec_.y.maximum);
  // Only in the first seconds does a move look at the clock.
  const size_t times = std::size(kUinputRetellAfterMs);
  if (retold_ < times) {
    const int64_t age = now_() - openedAtMs_;
    if (age >= kUinputRetellAfterMs[retold_]) {
      while (retold_ < times && age >= kUinputRetellAfterMs[retold_]) ++retold_;
      // Y too: a device opened ahead of the first move has written none yet.
      const int32_t step = x < spec_.x.maximum ? x + 1 : x - 1;
      if (!Write({EV_ABS, ABS_X, step}) || !Write({EV_ABS, ABS_Y, y}) ||
          !Write({EV_SYN, SYN_REPORT, 0})) {
        return false;
      }
    }
  }
  return Write({EV_ABS, ABS_X, x}) && Write({EV_ABS, ABS_Y, y}) && Write({EV_SYN, SYN_REPORT, 0});
}

}  // namespace platform
