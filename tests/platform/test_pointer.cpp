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

// The device as data: every event written, and whether writes still succeed.
struct Recorded {
  std::vector<InputEvent> events;
  int opens = 0;
  bool writesFail = false;
};

class RecordingDevice final : public IUinputDevice {
 public:
  explicit RecordingDevice(Recorded& r) : r_(r) {}
  bool Write(const InputEvent& e) override {
    if (r_.writesFail) return false;
    r_.events.push_back(e);
    return true;
  }

 private:
  Recorded& r_;
};

UinputOpener OpenInto(Recorded& r) {
  return [&r](const UinputDeviceLayout&, std::string&) -> std::unique_ptr<IUinputDevice> {
    ++r.opens;
    return std::make_unique<RecordingDevice>(r);
  };
}

std::vector<InputEvent> Move(int x, int y) {
  return {{EV_ABS, ABS_X, x}, {EV_ABS, ABS_Y, y}, {EV_SYN, SYN_REPORT, 0}};
}

struct MoveCase {
  const char* name;
  vellum::Rect desktop;
  int x, y;                // desktop coordinates asked for
  std::vector<InputEvent> written;
};

TEST(UinputPointer, WritesTheAbsolutePointAndASync) {
  const MoveCase cases[] = {
      {"OneScreen", {0, 0, 1920, 1080}, 512, 384, Move(512, 384)},
      {"Origin", {0, 0, 1024, 768}, 0, 0, Move(0, 0)},
      {"LastPixel", {0, 0, 1024, 768}, 1023, 767, Move(1023, 767)},
      {"SecondScreenOnTheRight", {0, 0, 3840, 1080}, 2500, 100, Move(2500, 100)},
      {"ScreenLeftOfThePrimary", {-1280, 0, 1920, 1024}, -5, 10, Move(-5, 10)},
      {"StackedScreens", {0, -768, 1024, 768}, 300, -700, Move(300, -700)},
      // Points beyond the tablet's range are not clipped by the reader; the axes are.
      {"AboveTheTop", {0, 0, 1024, 768}, 1229, -51, Move(1023, 0)},
      {"LeftOfTheDesktop", {-1280, 0, 1920, 1024}, -2000, 2000, Move(-1280, 1023)},
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    Recorded r;
    UinputPointer pointer(c.desktop, OpenInto(r));
    EXPECT_TRUE(pointer.MoveTo(c.x, c.y));
    EXPECT_EQ(r.events, c.written);
  }
}

TEST(UinputPointer, DeclaresAnAbsolutePointerSpanningTheDesktop) {
  struct LayoutCase {
    vellum::Rect desktop;
    UinputAxis x, y;
  };
  const LayoutCase cases[] = {
      {{0, 0, 1920, 1080}, {ABS_X, 0, 1919, 4}, {ABS_Y, 0, 1079, 4}},
      {{-1280, -200, 1920, 1080}, {ABS_X, -1280, 1919, 4}, {ABS_Y, -200, 1079, 4}},
      {{0, 0, 0, 0}, {ABS_X, 0, 1, 4}, {ABS_Y, 0, 1, 4}},  // no screen: still a valid axis
  };
  for (const LayoutCase& c : cases) {
    const UinputDeviceLayout layout = UinputLayoutFor(c.desktop);
    EXPECT_EQ(layout.x, c.x);
    EXPECT_EQ(layout.y, c.y);
    // Buttons without BTN_TOUCH or a pen tool: libinput takes it for a pointer, not a tablet.
    EXPECT_EQ(layout.keys, (std::vector<uint16_t>{BTN_LEFT, BTN_RIGHT}));
    EXPECT_EQ(layout.properties, (std::vector<uint16_t>{INPUT_PROP_POINTER}));
  }
}

TEST(UinputPointer, ADeviceThatCannotOpenIsTriedOnce) {
  int opens = 0;
  UinputPointer pointer({0, 0, 1024, 768},
                        [&](const UinputDeviceLayout&, std::string& why) {
                          ++opens;
                          why = "cannot open /dev/uinput (No such file or directory)";
                          return std::unique_ptr<IUinputDevice>();
                        });
  EXPECT_FALSE(pointer.MoveTo(1, 2));
  EXPECT_FALSE(pointer.MoveTo(3, 4));
  EXPECT_EQ(opens, 1) << "said once, not once a packet";
}

TEST(UinputPointer, AFailedWriteStopsTheMoves) {
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
      const std::string node = "/dev/input/event" + std::to_string(n);
      fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      libevdev* dev = nullptr;
      if (libevdev_new_from_fd(fd, &dev) == 0 && layout.name == libevdev_get_name(dev)) {
        seen = dev;
      } else {
        if (dev) libevdev_free(dev);
        ::close(fd);
      }
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
    const int rc = libevdev_next_event(seen, LIBEVDEV_READ_FLAG_NORMAL, &ev);
    if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
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
  struct Row {
    PointerKind requested;
    const char* qt;
    bool display, wayland;
    PointerKind chosen;
  };
  const Row rows[] = {
      {PointerKind::kAuto, "xcb", true, false, PointerKind::kX11},
      {PointerKind::kAuto, "xcb", true, true, PointerKind::kUinput},  // Xwayland ignores warps
      {PointerKind::kAuto, "wayland", true, true, PointerKind::kUinput},
      {PointerKind::kAuto, "wayland-egl", false, true, PointerKind::kUinput},
      {PointerKind::kAuto, "offscreen", true, false, PointerKind::kX11},
      {PointerKind::kAuto, "eglfs", false, false, PointerKind::kUinput},
      {PointerKind::kNone, "xcb", true, false, PointerKind::kNone},
      {PointerKind::kUinput, "xcb", true, false, PointerKind::kUinput},
      {PointerKind::kX11, "wayland", true, true, PointerKind::kX11},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ResolvePointerKind(r.requested, r.qt, r.display, r.wayland), r.chosen)
        << PointerKindName(r.requested) << " on " << r.qt;
  }
  EXPECT_EQ(ParsePointerKind("x11"), PointerKind::kX11);
  EXPECT_EQ(ParsePointerKind("uinput"), PointerKind::kUinput);
  EXPECT_EQ(ParsePointerKind("none"), PointerKind::kNone);
  EXPECT_EQ(ParsePointerKind("X11"), std::nullopt);
  EXPECT_FALSE(MakePointer(PointerKind::kNone, {0, 0, 10, 10})->MoveTo(1, 1));
}

}  // namespace
}  // namespace platform
