// The reasons `--probe` and the no-tablet message give for each port.
#include "tablet/PortDiagnosis.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tablet/PortDiscovery.h"

namespace vellum {
namespace {

std::string PermissionDenied(const FileFacts& file) {
  if (!file.groupMayReadWrite || file.group.empty() || file.group == "root") {
    return "permission denied";
  }
  const std::string& g = file.group;
  return "permission denied — add yourself to the " + g + " group (sudo usermod -aG " + g +
         " $USER), then log in again";
}

// The port did not open, or refused its settings. The errno says why; when the port could not
// tell (0), the look-ups decide.
std::string DiagnoseOpen(const ProbeOutcome& o, const std::string& path,
                         const ISystemPorts& system) {
  const int e = o.open.error;
  const FileFacts file = system.Facts(path);
  // EIO: a node with nothing behind it, such as a ttyS without a UART.
  if (e == ENOENT || e == ENODEV || e == ENXIO || e == EIO || (e == 0 && !file.exists)) {
    return "no such device";
  }
  if (e == EACCES || e == EPERM || (e == 0 && !file.mayReadWrite)) return PermissionDenied(file);
  if (e == ENOTTY || e == EISDIR || (e == 0 && !file.charDevice)) return "not a serial device";
  std::vector<Holder> holders = system.Holders(path);
  // flock() refused: the one holding the lock is the one to name, not everyone with it open
  // (a pty's other end has it open too).
  if (e == EWOULDBLOCK &&
      std::any_of(holders.begin(), holders.end(), [](const Holder& h) { return h.flock; })) {
    std::erase_if(holders, [](const Holder& h) { return !h.flock; });
  }
  if (e == EBUSY || e == EWOULDBLOCK || (e == 0 && !holders.empty())) {
    const std::string held = HeldText(holders);
    return held.empty() ? "held by another program" : held;
  }
  const std::string call = o.open.failedCall.empty() ? "open" : o.open.failedCall;
  const std::string why = e == 0 ? std::string() : " (" + call + ": " + std::strerror(e) + ")";
  return o.stage == ProbeStage::kSettingsFailed ? "the line settings were refused" + why
                                                : "cannot be opened" + why;
}

}  // namespace

std::string DiagnoseProbe(const ProbeOutcome& o, const std::string& path,
                          const ISystemPorts& system) {
  if (o.stage == ProbeStage::kFound) return std::to_string(o.packetLength) + "-byte tablet";
  if (o.stage == ProbeStage::kNotProbed) return "not probed";
  if (o.open.lineDiscipline > N_TTY) return "a tablet driver's line discipline is attached";
  if (o.stage == ProbeStage::kOpenFailed || o.stage == ProbeStage::kSettingsFailed) {
    return DiagnoseOpen(o, path, system);
  }
  switch (o.stage) {
    case ProbeStage::kSilent:
      return "no answer to the identification request";
    case ProbeStage::kNotIdentified:
      return "answers, but not with a tablet's identification";
    case ProbeStage::kNoRangeReply:
      return "no answer to the range request";
    case ProbeStage::kBadRangeReply:
      return "answers, but never with a valid range reply";
    case ProbeStage::kLineFailed:
      return o.readFailure.empty() ? "the line hung up" : o.readFailure;
    default:
      break;
  }
  return "no tablet";
}

std::vector<std::string> DiagnosePorts(const ProbeOutcomes& outcomes, const PortPaths& paths,
                                       const ISystemPorts& system) {
  std::vector<std::string> lines;
  for (int n = 1; n <= kComPorts; ++n) {
    const std::string com = "COM" + std::to_string(n);
    const std::string& path = paths.Path(n);
    if (!paths.Withheld(n).empty()) {
      lines.push_back(com + " " + paths.Withheld(n) + ": system console, not probed");
      continue;
    }
    if (path.empty()) {
      lines.push_back(com + ": no serial device assigned");
      continue;
    }
    lines.push_back(com + " " + path + ": " + DiagnoseProbe(outcomes[size_t(n - 1)], path, system));
  }
  return lines;
}

}  // namespace vellum
