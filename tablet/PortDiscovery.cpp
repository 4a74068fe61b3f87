// Classifying, ordering and describing the serial devices that udev lists.
#include "tablet/PortDiscovery.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "tablet/LowLatency.h"

namespace vellum {
namespace {

// "ttyS2" before "ttyS10": runs of digits compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
        std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      // Leading zeros aside, the longer run is the larger number.
      const std::string_view x = std::string_view(a).substr(i, ei - i);
      const std::string_view y = std::string_view(b).substr(j, ej - j);
      const std::string_view xs = x.substr(std::min(x.find_first_not_of('0'), x.size()));
      const std::string_view ys = y.substr(std::min(y.find_first_not_of('0'), y.size()));
      if (xs.size() != ys.size()) return xs.size() < ys.size();
      if (xs != ys) return xs < ys;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

PortKind Classify(const SerialDeviceFacts& d) {
  if (d.bus == "usb") {
    return d.driver == "cdc_acm" || d.sysname.starts_with("ttyACM") ? PortKind::kUsbModem
                                                                    : PortKind::kUsbAdapter;
  }
  if (d.bus == "bluetooth" || d.sysname.starts_with("rfcomm")) return PortKind::kBluetooth;
  if (d.uartType > 0) return PortKind::kUart;
  return PortKind::kOther;
}

// Device strings are the device's own bytes: keep them on one line.
std::string Printable(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

std::string Named(const SerialPortInfo& p) {
  return p.device.byId.empty() ? p.device.path : p.device.path + " (" + p.device.byId + ")";
}

}  // namespace

const char* PortKindName(PortKind kind) {
  switch (kind) {
    case PortKind::kUart:
      return "built-in UART";
    case PortKind::kUsbAdapter:
      return "USB adapter";
    case PortKind::kUsbModem:
      return "USB modem/ACM";
    case PortKind::kBluetooth:
      return "Bluetooth";
    case PortKind::kOther:
      break;
  }
  return "other";
}

std::vector<SerialPortInfo> ListSerialPorts(const ISystemPorts& system) {
  const std::vector<std::string> consoles = system.Consoles();
  std::vector<SerialPortInfo> ports;
  for (const SerialDeviceFacts& d : system.SerialDevices()) {
    if (d.uartType == 0 || d.path.empty()) continue;
    SerialPortInfo p;
    p.device = d;
    p.kind = Classify(d);
    p.file = system.Facts(d.path);
    p.holders = system.Holders(d.path);
    p.console = std::find(consoles.begin(), consoles.end(), d.sysname) != consoles.end();
    ports.push_back(std::move(p));
  }
  // Built-in UARTs, then devices with a stable name, then the rest.
  auto key = [](const SerialPortInfo& p) {
    return p.kind == PortKind::kUart ? 0 : p.device.byId.empty() ? 2 : 1;
  };
  std::stable_sort(ports.begin(), ports.end(),
                   [&](const SerialPortInfo& a, const SerialPortInfo& b) {
                     if (key(a) != key(b)) return key(a) < key(b);
                     if (key(a) == 1) {
                       return NaturalLess(a.device.byId, b.device.byId);
                     }
                     return NaturalLess(a.device.sysname, b.device.sysname);
                   });
  return ports;
}

std::string AccessText(const FileFacts& file) {
  if (file.mayReadWrite) return "you may open it";
  if (file.groupMayReadWrite && !file.group.empty() && file.group != "root") {
    return "you may not open it (group " + file.group + " may)";
  }
  return "you may not open it";
}

std::string HeldText(const std::vector<Holder>& holders) {
  std::string named;
  for (const Holder& h : holders) {
    if (h.pid == 0) continue;
    named += (named.empty() ? "" : ", ") + h.program + " (PID " + std::to_string(h.pid) + ")";
  }
  if (!named.empty()) return "held by " + named;
  return holders.empty() ? std::string() : std::string("held by another program");
}

std::string DescribePort(const SerialPortInfo& p) {
  std::string line = Named(p) + ": " + PortKindName(p.kind);
  const SerialDeviceFacts& d = p.device;
  if (!d.vendorId.empty()) line += ", " + d.vendorId + ":" + d.productId;
  if (!d.maker.empty()) line += " \"" + Printable(d.maker) + "\"";
  if (!d.product.empty()) line += " \"" + Printable(d.product) + "\"";
  if (!d.driver.empty()) line += ", driver " + d.driver;
  const std::string latency = DescribeLatency(d.rxTrigger, d.rxTriggerWritable, d.latencyTimerMs);
  if (!latency.empty()) line += ", " + latency;
  if (p.console) line += ", system console";
  line += ", " + AccessText(p.file);
  const std::string held = HeldText(p.holders);
  line += ", " + (held.empty() ? std::string("free") : held);
  return line;
}

std::vector<std::string> KeepOffConsoles(PortPaths& paths, const std::array<bool, kComPorts>& given,
                                         const ISystemPorts& system) {
  std::vector<std::string> warnings;
  const std::vector<std::string> consoles = system.Consoles();
  if (consoles.empty()) return warnings;
  const auto console = [&consoles](const std::string& name) {
    return std::find(consoles.begin(), consoles.end(), name) != consoles.end();
  };
  // udev's links name a device by what it is; only they need the device list, listed once.
  std::optional<std::vector<SerialDeviceFacts>> devices;
  const auto isConsole = [&](const std::string& path) {
    if (path.empty()) return false;
    if (console(path.substr(path.rfind('/') + 1))) return true;
    if (!path.starts_with("/dev/serial/")) return false;
    if (!devices) devices = system.SerialDevices();
    return std::any_of(devices->begin(), devices->end(), [&](const SerialDeviceFacts& d) {
      return (path == d.path || path == d.byId) && console(d.sysname);
    });
  };
  for (int n = 1; n <= kComPorts; ++n) {
    if (!isConsole(paths.Path(n))) continue;
    if (given[size_t(n - 1)]) {
      warnings.push_back("COM" + std::to_string(n) + " (" + paths.Path(n) +
                         ") is a system console; probing it as --port asks");
    } else {
      paths.Withhold(n);
    }
  }
  return warnings;
}

AutoPorts AssignPortsAutomatically(const std::vector<SerialPortInfo>& ports,
                                   const PortPaths& explicitPaths,
                                   const std::array<bool, kComPorts>& given) {
  AutoPorts result;
  std::array<std::string, kComPorts> why;
  int next = 1;
  auto advance = [&] {
    while (next <= kComPorts && given[size_t(next - 1)]) ++next;
  };
  advance();
  for (const SerialPortInfo& p : ports) {
    bool named = false;
    for (int n = 1; n <= kComPorts; ++n) {
      const std::string& path = explicitPaths.Path(n);
      named = named || (given[size_t(n - 1)] && (path == p.device.path || path == p.device.byId));
    }
    const std::string held = HeldText(p.holders);
    if (named) continue;
    if (p.console) {
      result.lines.push_back("not taken: " + p.device.path + " (system console)");
    } else if (!held.empty()) {
      result.lines.push_back("not taken: " + p.device.path + " (" + held + ")");
    } else if (next > kComPorts) {
      result.lines.push_back("not taken: " + p.device.path + " (COM1 to COM4 are all assigned)");
    } else {
      result.paths.Set(next, p.device.path);
      why[size_t(next - 1)] = Named(p) + ", " + PortKindName(p.kind);
      ++next;
      advance();
    }
  }
  std::vector<std::string> assignment;
  for (int n = 1; n <= kComPorts; ++n) {
    const std::string com = "COM" + std::to_string(n);
    if (given[size_t(n - 1)]) {
      result.paths.Set(n, explicitPaths.Path(n));
      assignment.push_back(com + " = " + explicitPaths.Path(n) + " (--port)");
    } else if (!why[size_t(n - 1)].empty()) {
      assignment.push_back(com + " = " + why[size_t(n - 1)]);
    } else {
      result.paths.Set(n, "");
      assignment.push_back(com + ": no serial device left");
    }
  }
  result.lines.insert(result.lines.begin(), assignment.begin(), assignment.end());
  return result;
}

}  // namespace vellum
