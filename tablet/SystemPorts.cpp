// The machine as udev, stat() and /proc show it. No device is opened here: listing a console or
// a port in use must not disturb it.
#include "tablet/SystemPorts.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <libudev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vellum {
namespace {

constexpr std::string_view kById = "/dev/serial/by-id/";

std::string Text(const char* s) {
  return s ? std::string(s) : std::string();
}

// unique_ptr deleters for the udev handles.
struct UdevUnref {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// udev's database gives the by-id link; without a running udev (containers, early boot) the
// links may still be there to look at.
std::string ByIdLink(const std::string& devnode) {
  std::string found;
  if (DIR* dir = ::opendir(std::string(kById).c_str())) {
    char target[PATH_MAX];
    while (const dirent* e = ::readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      const std::string link = std::string(kById) + e->d_name;
      if (::realpath(link.c_str(), target) && devnode == target &&
          (found.empty() || link < found)) {
        found = link;
      }
    }
    ::closedir(dir);
  }
  return found;
}

SerialDeviceFacts Describe(udev_device* dev) {
  SerialDeviceFacts f;
  f.path = Text(udev_device_get_devnode(dev));
  f.sysname = Text(udev_device_get_sysname(dev));
  for (udev_list_entry* e = udev_device_get_devlinks_list_entry(dev); e;
       e = udev_list_entry_get_next(e)) {
    const std::string link = Text(udev_list_entry_get_name(e));
    if (link.starts_with(kById)) f.byId = link;
  }
  if (f.byId.empty()) f.byId = ByIdLink(f.path);
  if (udev_device* parent = udev_device_get_parent(dev)) {
    f.bus = Text(udev_device_get_subsystem(parent));
  }
  if (const char* type = udev_device_get_sysattr_value(dev, "type")) f.uartType = std::atoi(type);
  // Reading the trigger takes the port's lock for a moment; the device stays unopened.
  if (const char* trigger = udev_device_get_sysattr_value(dev, "rx_trig_bytes")) {
    f.rxTrigger = std::atoi(trigger) > 0 ? std::atoi(trigger) : -1;
    const std::string file = Text(udev_device_get_syspath(dev)) + "/rx_trig_bytes";
    f.rxTriggerWritable = ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
  }
  if (udev_device* port = udev_device_get_parent_with_subsystem_devtype(dev, "usb-serial", nullptr)) {
    if (const char* timer = udev_device_get_sysattr_value(port, "latency_timer")) {
      f.latencyTimerMs = std::atoi(timer);
    }
  }
  // Parents belong to `dev` and go with it.
  if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device")) {
    f.bus = "usb";
    f.vendorId = Text(udev_device_get_sysattr_value(usb, "idVendor"));
    f.productId = Text(udev_device_get_sysattr_value(usb, "idProduct"));
    f.maker = Text(udev_device_get_sysattr_value(usb, "manufacturer"));
    f.product = Text(udev_device_get_sysattr_value(usb, "product"));
  }
  if (udev_device* intf =
          udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_interface")) {
    f.driver = Text(udev_device_get_driver(intf));
  }
  if (f.sysname.starts_with("rfcomm")) f.bus = "bluetooth";
  return f;
}

// What identifies the file behind a path: the device number for a device node (any node of it,
// under any name), else the inode.
struct FileKey {
  bool device = false;
  dev_t rdev = 0, dev = 0;
  ino_t ino = 0;
  bool Matches(const struct stat& st) const {
    return device ? S_ISCHR(st.st_mode) && st.st_rdev == rdev
                  : st.st_dev == dev && st.st_ino == ino;
  }
};

std::string ProgramName(int pid) {
  return ReadFirstLine("/proc/" + std::to_string(pid) + "/comm");
}

void AddHolder(std::vector<Holder>& holders, int pid, bool flock) {
  const std::string name = pid > 0 ? ProgramName(pid) : std::string();
  const Holder h = name.empty() ? Holder{{}, 0, flock} : Holder{name, pid, flock};
  for (Holder& known : holders) {
    if (known.pid == h.pid && known.program == h.program) {
      known.flock = known.flock || flock;
      return;
    }
  }
  holders.push_back(h);
}

// /proc/locks names every flock, whoever holds it: "1: FLOCK ADVISORY WRITE 812 00:05:94 0 EOF".
void AddLockHolders(const struct stat& target, std::vector<Holder>& holders) {
  std::ifstream in("/proc/locks");
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("->") != std::string::npos) continue;  // a waiter, not a holder
    std::istringstream fields(line);
    std::string id, kind, mode, access, file;
    long pid = 0;
    if (!(fields >> id >> kind >> mode >> access >> pid >> file)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == ::major(target.st_dev) && minor == ::minor(target.st_dev) &&
        inode == target.st_ino && pid != ::getpid()) {
      AddHolder(holders, pid > 0 ? int(pid) : 0, true);
    }
  }
}

class RealSystemPorts final : public ISystemPorts {
 public:
  std::vector<SerialDeviceFacts> SerialDevices() const override {
    std::vector<SerialDeviceFacts> devices;
    UdevPtr<udev> u(udev_new());
    if (!u) return devices;
    UdevPtr<udev_enumerate> e(udev_enumerate_new(u.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
      return devices;
    }
    for (udev_list_entry* i = udev_enumerate_get_list_entry(e.get()); i;
         i = udev_list_entry_get_next(i)) {
      UdevPtr<udev_device> dev(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(i)));
      if (!dev || !udev_device_get_devnode(dev.get())) continue;
      // Virtual consoles, ptmx and the like have no device behind them; rfcomm links neither,
      // but they are serial lines.
      const std::string sysname = Text(udev_device_get_sysname(dev.get()));
      if (!udev_device_get_parent(dev.get()) && !sysname.starts_with("rfcomm")) continue;
      devices.push_back(Describe(dev.get()));
    }
    return devices;
  }

  std::vector<std::string> Consoles() const override {
    std::vector<std::string> names;
    UdevPtr<udev> u(udev_new());
    if (!u) return names;
    UdevPtr<udev_device> console(udev_device_new_from_subsystem_sysname(u.get(), "tty", "console"));
    std::istringstream active(console ? Text(udev_device_get_sysattr_value(console.get(), "active"))
                                      : std::string());
    for (std::string name; active >> name;) names.push_back(name);
    return names;
  }

  FileFacts Facts(const std::string& path) const override {
    FileFacts f;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return f;
    f.exists = true;
    f.charDevice = S_ISCHR(st.st_mode);
    f.mayReadWrite = ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    f.groupMayReadWrite = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    group buffer{};
    group* found = nullptr;
    std::vector<char> scratch(4096);
    if (::getgrgid_r(st.st_gid, &buffer, scratch.data(), scratch.size(), &found) == 0 && found) {
      f.group = found->gr_name;
    } else {
      f.group = std::to_string(st.st_gid);
    }
    return f;
  }

  std::vector<Holder> Holders(const std::string& path) const override {
    std::vector<Holder> holders;
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return holders;
    const FileKey key{S_ISCHR(target.st_mode), target.st_rdev, target.st_dev, target.st_ino};
    const int self = ::getpid();
    DIR* proc = ::opendir("/proc");
    if (!proc) return holders;
    while (const dirent* p = ::readdir(proc)) {
      char* end = nullptr;
      const long pid = std::strtol(p->d_name, &end, 10);
      if (*end != '\0' || pid <= 0 || pid == self) continue;
      const std::string fdDir = "/proc/" + std::string(p->d_name) + "/fd";
      DIR* fds = ::opendir(fdDir.c_str());  // another user's: EACCES, and /proc/locks may tell
      if (!fds) continue;
      while (const dirent* fd = ::readdir(fds)) {
        struct stat st {};
        if (fd->d_name[0] != '.' && ::stat((fdDir + "/" + fd->d_name).c_str(), &st) == 0 &&
            key.Matches(st)) {
          AddHolder(holders, int(pid), false);
          break;
        }
      }
      ::closedir(fds);
    }
    ::closedir(proc);
    AddLockHolders(target, holders);
    return holders;
  }
};

}  // namespace

std::unique_ptr<ISystemPorts> MakeRealSystemPorts() {
  return std::make_unique<RealSystemPorts>();
}

std::unique_ptr<ISystemPorts> SystemPortsFromEnvironment(std::string& error) {
  const char* fake = std::getenv("VELLUM_FAKE_SYSTEM");
  if (!fake || !*fake) return MakeRealSystemPorts();
  std::ifstream in(fake);
  if (!in) {
    error = std::string("VELLUM_FAKE_SYSTEM: cannot read ") + fake;
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto system = ParseFakeSystem(text.str(), error);
  if (!system) error = std::string("VELLUM_FAKE_SYSTEM: ") + fake + ": " + error;
  return system;
}

}  // namespace vellum
