// The no-tablet texts and the Linux stand-in for "is a tablet driver installed?".
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tablet/Detection.h"

namespace vellum {

// The line breaks are LF CR, in that order; users have always seen them so.
const char* const kNoTabletMessage1 =
    "Tablet  not  found  or  no  response  at  any  COM  port !\n\r\n\r"
    "Note : If the tablet driver has already been installed , \n\r"
    "           the COM port will be occupied by the tablet driver. \n\r"
    "           Please remove the tablet driver and then execute this program again.";
const char* const kNoTabletMessage2 =
    "The COM port has been occupied by the tablet driver,\n\r"
    "please remove the tablet driver and then execute this program again.";
const char* const kNoTabletMessage3 = "Tablet  not  found  or  no  response  at  any  COM  port !";

namespace {

// Another program holds the port (its flock, or its TIOCEXCL refusing our open), or a line
// discipline such as inputattach's has taken it over. Missing devices and non-ttys are no driver.
bool HeldByDriver(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EBUSY;
  // TIOCGETD first: under a foreign discipline (inputattach's N_MOUSE) TCGETS fails, so
  // isatty() would call the port "not a tty" in exactly the case this check is for.
  int discipline = N_TTY;
  bool held = false;
  if (::ioctl(fd, TIOCGETD, &discipline) == 0) {  // ENOTTY: a plain file, no driver
    held = discipline != N_TTY ||
           (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
  }
  ::close(fd);
  return held;
}

}  // namespace

std::string ChooseNoTabletMessage(const PortPaths& paths) {
  for (int n = 1; n <= kComPorts; ++n) {
    if (HeldByDriver(paths.Path(n))) return kNoTabletMessage2;
  }
  return kNoTabletMessage3;
}

}  // namespace vellum
