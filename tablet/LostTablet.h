#pragma once
// What the user is told when the tablet's line fails under the reader: the same reason in the
// window's notice, on its stderr line and at the end of --monitor.
#include <string>

namespace vellum {

// The reason in plain words: "unplugged" when the port's device node has gone (an adapter
// pulled out, the emulator ended), else the port's own words (IPort::ReadFailure, "" for none);
// then, in brackets, what the system said (IPort::LastError, e.g. "read: hang-up") unless the
// words already end with it.
std::string LostTabletReason(const std::string& readFailure, const std::string& systemSaid,
                             bool deviceGone);

// Whether the device node at `path` has gone. The kernel hangs a USB adapter's line up a moment
// before it removes the node, so a node still there is looked at again for up to `graceMs`.
// Looks with stat(2) only: the device is never opened.
inline constexpr int kDeviceGoneGraceMs = 250;
bool DeviceGone(const std::string& path, int graceMs = kDeviceGoneGraceMs);

}  // namespace vellum
