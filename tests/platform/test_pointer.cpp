// The pointer backends as the reader uses them: the events the uinput pointer writes for a
// desktop and a point, the device it declares, what happens when nothing can move the pointer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/UinputPointer.h"
#include "platform/X11Pointer.h"

namespace platform {
namespace {

// The device as data: every event written, how often it was opened, whether it opens and writes.
struct Recorded {
  std::vector<InputEvent> events;
  int opens = 0;
  bool opensFail = false;
  bool writesFail = false;
};

struct RecordingDevice final : IUinputDevice {
  explicit RecordingDevice(Recorded& r) : r(r) {}
  bool Write(const InputEvent& e) override {
    if (!r.writesFail) r.events.push_back(e);
    return !r.writesFail;
  }
  Recorded& r;
};

UinputOpener OpenInto(Recorded& r) {
  return [&r](const UinputDeviceLayout&, std::string& why) -> std::unique_ptr<IUinputDevice> {
    ++r.opens;
    if (r.opensFail) why = "cannot open /dev/uinput (No such file or directory)";
    return r.opensFail ? nullptr : std::make_unique<RecordingDevice>(r);
  };
}

std::vector<InputEvent> Move(int x, int y) {
  return {{EV_ABS, ABS_X, x}, {EV_ABS, ABS_Y, y}, {EV_SYN, SYN_REPORT, 0}};
}

TEST(UinputPointer, WritesTheAbsolutePointAndASync) {
  const struct {
    const char* name;
    vellum::Rect desktop;
    int x, y, writtenX, writtenY;
  } cases[] = {
      {"OneScreen", {0, 0, 1920, 1080}, 512, 384, 512, 384},
      {"LastPixel", {0, 0, 1024, 768}, 1023, 767, 1023, 767},
      {"ScreenLeftOfThePrimary", {-1280, 0, 1920, 1024}, -5, 10, -5, 10},
      {"StackedScreens", {0, -768, 1024, 768}, 300, -700, 300, -700},
      // Points beyond the tablet's range are not clipped by the reader; the axes are.
      {"AboveTheTop", {0, 0, 1024, 768}, 1229, -51, 1023, 0},
      {"LeftOfTheDesktop", {-1280, 0, 1920, 1024}, -2000, 2000, -1280, 1023},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Recorded r;
    UinputPointer pointer(c.desktop, OpenInto(r));
    EXPECT_TRUE(pointer.MoveTo(c.x, c.y));
    EXPECT_EQ(r.events, Move(c.writtenX, c.writtenY));
  }
}

TEST(UinputPointer, DeclaresAnAbsolutePointerSpanningTheDesktop) {
  const UinputDeviceLayout layout = UinputLayoutFor({-1280, -200, 1920, 1080});
  EXPECT_EQ(layout.x, (UinputAxis{ABS_X, -1280, 1919, 4}));
  EXPECT_EQ(layout.y, (UinputAxis{ABS_Y, -200, 1079, 4}));
  // Buttons without BTN_TOUCH or a pen tool: libinput takes it for a pointer, not a tablet.
  EXPECT_EQ(layout.keys, (std::vector<uint16_t>{BTN_LEFT, BTN_RIGHT}));
  EXPECT_EQ(layout.properties, (std::vector<uint16_t>{INPUT_PROP_POINTER}));
  EXPECT_EQ(UinputLayoutFor({0, 0, 0, 0}).x, (UinputAxis{ABS_X, 0, 1, 4})) << "still a valid axis";
}

// Nothing can move the pointer: a device that will not open is tried (and said) once, not once a
// packet; a failed write stops the moves for good.
TEST(UinputPointer, AFailureStopsTheMovesForGood) {
  Recorded shut;
  shut.opensFail = true;
  UinputPointer never({0, 0, 1024, 768}, OpenInto(shut));
  EXPECT_FALSE(never.MoveTo(1, 2));
  EXPECT_FALSE(never.MoveTo(3, 4));
  EXPECT_EQ(shut.opens, 1);

  Recorded r;
  UinputPointer pointer({0, 0, 1024, 768}, OpenInto(r));
  EXPECT_TRUE(pointer.MoveTo(1, 2));
  r.writesFail = true;
  EXPECT_FALSE(pointer.MoveTo(3, 4));
  r.writesFail = false;
  EXPECT_FALSE(pointer.MoveTo(5, 6));
  EXPECT_EQ(r.events, Move(1, 2));
  EXPECT_EQ(r.opens, 1);
}

// Made on one thread, used and closed on another, as the view makes it and the reader uses it.
TEST(UinputPointer, UsedByTheReaderThreadAlone) {
  Recorded r;
  UinputPointer pointer({0, 0, 1024, 768}, OpenInto(r));
  std::thread reader([&] {
    for (int i = 0; i < 100; ++i) pointer.MoveTo(i, 2 * i);
    pointer.Close();
  });
  reader.join();
  ASSERT_EQ(r.events.size(), 300u);
  EXPECT_EQ(r.events[297], (InputEvent{EV_ABS, ABS_X, 99}));
}

// The kernel's own device: what a reader of its event node sees. Needs /dev/uinput.
TEST(UinputPointer, RealDeviceDeliversTheMove) {
  if (::access("/dev/uinput", W_OK) != 0) {
    GTEST_SKIP() << "no writable /dev/uinput on this machine (load the uinput module and give "
                    "write access): the kernel device is not tested here";
  }
  std::string why;
  const UinputDeviceLayout layout = UinputLayoutFor({0, 0, 1024, 768});
  std::unique_ptr<IUinputDevice> device = OpenKernelUinput(layout, why);
  ASSERT_TRUE(device) << why;
  // The node appears when udev has made it; find it by name among the event nodes.
  libevdev* seen = nullptr;
  int fd = -1;
  for (int attempt = 0; attempt < 50 && !seen; ++attempt) {
    for (int n = 0; n < 64 && !seen; ++n) {
      fd = ::open(("/dev/input/event" + std::to_string(n)).c_str(), O_RDONLY | O_NONBLOCK);
      libevdev* dev = nullptr;
      if (fd >= 0 && libevdev_new_from_fd(fd, &dev) == 0 && layout.name == libevdev_get_name(dev)) {
        seen = dev;
        break;
      }
      if (dev) libevdev_free(dev);
      if (fd >= 0) ::close(fd);
    }
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(seen) << "the uinput device has no event node";
  EXPECT_TRUE(libevdev_has_property(seen, INPUT_PROP_POINTER));
  EXPECT_EQ(libevdev_get_abs_maximum(seen, ABS_X), 1023);
  for (const InputEvent& e : Move(300, 200)) EXPECT_TRUE(device->Write(e));
  std::vector<InputEvent> got;
  input_event ev{};
  for (int i = 0; i < 100 && got.size() < 3; ++i) {
    if (libevdev_next_event(seen, LIBEVDEV_READ_FLAG_NORMAL, &ev) == LIBEVDEV_READ_STATUS_SUCCESS) {
      got.push_back({ev.type, ev.code, ev.value});
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  EXPECT_EQ(got, Move(300, 200));
  libevdev_free(seen);
  ::close(fd);
}

TEST(X11Pointer, NoDisplayMeansNoMovesAndNoRetry) {
  X11Pointer pointer("unix:/nonexistent-vellum-display:7");
  EXPECT_FALSE(pointer.MoveTo(10, 10));
  EXPECT_FALSE(pointer.MoveTo(20, 20)) << "given up after the first failure";
  pointer.Close();
}

TEST(PointerChoice, ByDesktopAndOption) {
  const struct {
    PointerKind requested;
    const char* qt;
    bool display, wayland;
    PointerKind chosen;
  } rows[] = {
      {PointerKind::kAuto, "xcb", true, false, PointerKind::kX11},
      {PointerKind::kAuto, "xcb", true, true, PointerKind::kUinput},  // Xwayland ignores warps
      {PointerKind::kAuto, "wayland-egl", false, false, PointerKind::kUinput},
      {PointerKind::kAuto, "offscreen", true, false, PointerKind::kX11},
      {PointerKind::kAuto, "eglfs", false, false, PointerKind::kUinput},
      {PointerKind::kNone, "xcb", true, false, PointerKind::kNone},
      {PointerKind::kUinput, "xcb", true, false, PointerKind::kUinput},
      {PointerKind::kX11, "wayland", true, true, PointerKind::kX11},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ResolvePointerKind(r.requested, r.qt, r.display, r.wayland), r.chosen)
        << int(r.requested) << " on " << r.qt;
  }
  EXPECT_FALSE(MakePointer(PointerKind::kNone, {0, 0, 10, 10})->MoveTo(1, 1));
}

}  // namespace
}  // namespace platform
