#include "tablet/LostTablet.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace vellum {

std::string LostTabletReason(const std::string& readFailure, const std::string& systemSaid,
                             bool deviceGone) {
  std::string reason = deviceGone            ? std::string("unplugged")
                       : readFailure.empty() ? std::string("the read failed")
                                             : readFailure;
  // "read: Bad address" after "the read failed: Bad address" would say it twice.
  const size_t colon = systemSaid.find(": ");
  const std::string said = colon == std::string::npos ? systemSaid : systemSaid.substr(colon + 2);
  const bool saidAlready = !deviceGone && !readFailure.empty() && reason.ends_with(said);
  if (!systemSaid.empty() && !saidAlready) reason += " (" + systemSaid + ")";
  return reason;
}

bool DeviceGone(const std::string& path, int graceMs) {
  constexpr int kLookEveryMs = 10;
  for (int waited = 0;; waited += kLookEveryMs) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return true;
    if (waited >= graceMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLookEveryMs));
  }
}

}  // namespace vellum
