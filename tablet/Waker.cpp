#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tablet/Reader.h"

namespace vellum {

Waker::Waker() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

Waker::~Waker() {
  ::close(fd_);
}

// Never drained: once fired it stays readable, and the reader only waits on it on its way to
// seeing the stop.
void Waker::Wake() {
  const uint64_t one = 1;
  ssize_t r;
  do {
    r = ::write(fd_, &one, sizeof one);
  } while (r < 0 && errno == EINTR);
}

}  // namespace vellum
