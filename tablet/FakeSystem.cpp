// A made-up machine read from text (see ParseFakeSystem): serial devices, files, holders and
// consoles, so that discovery and diagnosis can be tried on machines nobody has at hand.
#include <charconv>
#include <map>

#include "tablet/SystemPorts.h"

namespace vellum {
namespace {

struct FakeFile {
  FileFacts facts;
  std::vector<Holder> holders;
};

class FakeSystemPorts final : public ISystemPorts {
 public:
  std::vector<SerialDeviceFacts> devices;
  std::vector<std::string> consoles;
  std::map<std::string, FakeFile> files;

  std::vector<SerialDeviceFacts> SerialDevices() const override { return devices; }
  std::vector<std::string> Consoles() const override { return consoles; }
  FileFacts Facts(const std::string& path) const override {
    const auto f = files.find(path);
    return f == files.end() ? FileFacts{} : f->second.facts;
  }
  std::vector<Holder> Holders(const std::string& path) const override {
    const auto f = files.find(path);
    return f == files.end() ? std::vector<Holder>{} : f->second.holders;
  }
};

// Splits a line at blanks; a double-quoted stretch keeps its blanks (the quotes go).
bool Tokens(std::string_view line, std::vector<std::string>& out) {
  std::string token;
  bool quoted = false, any = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (any) out.push_back(token);
      token.clear();
      any = false;
    } else {
      token.push_back(c);
      any = true;
    }
  }
  if (any) out.push_back(token);
  return !quoted;
}

bool ParseInt(std::string_view text, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// One key=value of a device or file line; returns an error or "".
std::string ApplyKey(const std::string& key, const std::string& value, bool device,
                     SerialDeviceFacts& d, FakeFile& f) {
  auto yesNo = [&](bool& field) -> std::string {
    if (value != "yes" && value != "no") return key + " must be yes or no";
    field = value == "yes";
    return {};
  };
  if (key == "exists") return yesNo(f.facts.exists);
  if (key == "chardev") return yesNo(f.facts.charDevice);
  if (key == "group-rw") return yesNo(f.facts.groupMayReadWrite);
  if (key == "group") {
    f.facts.group = value;
    return {};
  }
  if (key == "access") {
    if (value != "rw" && value != "denied") return "access must be rw or denied";
    f.facts.mayReadWrite = value == "rw";
    return {};
  }
  if (key == "holder") {
    if (value == "?") {
      f.holders.push_back({});
      return {};
    }
    Holder h;
    std::string holder = value;
    if (holder.ends_with(":flock")) {
      h.flock = true;
      holder.resize(holder.size() - 6);
    }
    const size_t colon = holder.rfind(':');
    if (colon == std::string::npos || colon == 0 || !ParseInt(holder.substr(colon + 1), h.pid) ||
        h.pid <= 0) {
      return "holder must be PROGRAM:PID[:flock] or ?";
    }
    h.program = holder.substr(0, colon);
    f.holders.push_back(h);
    return {};
  }
  if (!device) return "unknown key '" + key + "' for a file";
  if (key == "sysname") {
    d.sysname = value;
  } else if (key == "by-id") {
    d.byId = value;
  } else if (key == "bus") {
    d.bus = value;
  } else if (key == "uart") {
    if (!ParseInt(value, d.uartType) || d.uartType < 0) return "uart must be a number";
  } else if (key == "usb") {
    const size_t colon = value.find(':');
    if (colon == std::string::npos) return "usb must be VID:PID";
    d.vendorId = value.substr(0, colon);
    d.productId = value.substr(colon + 1);
    if (d.bus.empty()) d.bus = "usb";
  } else if (key == "maker") {
    d.maker = value;
  } else if (key == "product") {
    d.product = value;
  } else if (key == "driver") {
    d.driver = value;
  } else if (key == "rx-trig") {
    if (!ParseInt(value, d.rxTrigger) || d.rxTrigger < 1) return "rx-trig must be a number of bytes";
  } else if (key == "rx-trig-rw") {
    if (value != "yes" && value != "no") return key + " must be yes or no";
    d.rxTriggerWritable = value == "yes";
  } else if (key == "latency-timer") {
    if (!ParseInt(value, d.latencyTimerMs) || d.latencyTimerMs < 0) {
      return "latency-timer must be a number of milliseconds";
    }
  } else {
    return "unknown key '" + key + "'";
  }
  return {};
}

}  // namespace

std::unique_ptr<ISystemPorts> ParseFakeSystem(std::string_view text, std::string& error) {
  auto system = std::make_unique<FakeSystemPorts>();
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    const std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++lineNumber;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return nullptr;
    };
    std::vector<std::string> t;
    if (!Tokens(line, t)) return fail("unclosed quote");
    if (t.empty() || t[0].starts_with('#')) continue;
    if (t[0] == "console") {
      if (t.size() != 2) return fail("expected: console NAME");
      system->consoles.push_back(t[1]);
      continue;
    }
    const bool device = t[0] == "device";
    if (!device && t[0] != "file")
      return fail("expected device, file or console, got '" + t[0] + "'");
    if (t.size() < 2 || t[1].find('=') != std::string::npos) return fail("expected a path");
    SerialDeviceFacts d;
    d.path = t[1];
    d.sysname = d.path.substr(d.path.rfind('/') + 1);
    FakeFile f;
    f.facts = {true, device, true, "dialout", true};
    for (size_t i = 2; i < t.size(); ++i) {
      const size_t eq = t[i].find('=');
      if (eq == std::string::npos) return fail("expected key=value, got '" + t[i] + "'");
      const std::string why = ApplyKey(t[i].substr(0, eq), t[i].substr(eq + 1), device, d, f);
      if (!why.empty()) return fail(why);
    }
    if (device) system->devices.push_back(d);
    system->files[d.path] = f;
  }
  return system;
}

}  // namespace vellum
