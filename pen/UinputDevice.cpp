#include "pen/UinputDevice.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace vellum::pen {

std::string UinputOpenAdvice(const std::string& path, int err) {
  const std::string what = "cannot open " + path + " (" + std::strerror(err) + ")";
  if (err == ENOENT || err == ENODEV || err == ENXIO) {
    return what +
           ": load the uinput module (sudo modprobe uinput; to load it at every boot, "
           "add a line uinput to /etc/modules-load.d/uinput.conf)";
  }
  if (err == EACCES || err == EPERM) {
    return what +
           ": this user may not make input devices; run the service "
           "(sudo systemctl enable --now vellum-pen@ttyUSB0) or see 'man vellum', "
           "PEN TABLET, for a udev rule that gives the desktop's user access";
  }
  return what;
}

std::unique_ptr<UinputDevice> UinputDevice::Create(const DeviceLayout& layout, std::string& why,
                                                   const char* uinputPath) {
  const int fd = ::open(uinputPath, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    why = UinputOpenAdvice(uinputPath, errno);
    return nullptr;
  }
  libevdev* dev = libevdev_new();
  if (!dev) {
    ::close(fd);
    why = "libevdev_new failed";
    return nullptr;
  }
  libevdev_set_name(dev, layout.name.c_str());
  libevdev_set_id_bustype(dev, layout.bus);
  libevdev_set_id_vendor(dev, layout.vendor);
  libevdev_set_id_product(dev, layout.product);
  for (const Axis& a : layout.axes) {
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
  const int r = libevdev_uinput_create_from_device(dev, fd, &uinput);
  if (r != 0) {
    why = std::string("creating the uinput device failed (") + std::strerror(-r) + ")";
    libevdev_free(dev);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<UinputDevice>(new UinputDevice(fd, dev, uinput));
}

UinputDevice::~UinputDevice() {
  libevdev_uinput_destroy(uinput_);  // the device is gone once this returns
  libevdev_free(dev_);
  ::close(fd_);
}

bool UinputDevice::WriteFrame(const Event* events, size_t count) {
  // The kernel stamps each event's time itself.
  std::array<input_event, Frame::kCapacity> out{};
  if (count > out.size()) {
    lastError_ = "frame too long";
    return false;
  }
  for (size_t i = 0; i < count; ++i) {
    out[i].type = events[i].type;
    out[i].code = events[i].code;
    out[i].value = events[i].value;
  }
  const char* bytes = reinterpret_cast<const char*>(out.data());
  size_t left = count * sizeof(input_event);
  while (left > 0) {
    const ssize_t n = ::write(fd_, bytes, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastError_ = std::string("write: ") + (n < 0 ? std::strerror(errno) : "nothing written");
      return false;
    }
    bytes += n;
    left -= size_t(n);
  }
  return true;
}

std::string UinputDevice::DevNode() const {
  const char* node = libevdev_uinput_get_devnode(uinput_);
  return node ? node : "";
}

}  // namespace vellum::pen
