#pragma once
#include <array>
#include <string>
#include <string_view>

namespace vellum {

// COM1 to COM4: the ports a tablet is looked for on.
inline constexpr int kComPorts = 4;

// Device path of COM1..COM4. COMn defaults to /dev/ttyS<n-1>; --port N=PATH replaces it
// (USB adapters, the emulator, tests).
class PortPaths {
 public:
  PortPaths();
  const std::string& Path(int n) const;  // REQUIRES: 1 <= n <= 4
  void Set(int n, std::string path);     // REQUIRES: 1 <= n <= 4

  // Keeps COMn off its device (a system console): its path becomes "", which opens nothing, and
  // the device is remembered for what the user is told. Set() undoes it.
  void Withhold(int n);                      // REQUIRES: 1 <= n <= 4
  const std::string& Withheld(int n) const;  // "" unless COMn is withheld

  // Parses one "N=PATH" argument. Returns an empty string on success, else a one-line error.
  // `assigned`, when given, gets N on success.
  std::string ParseAssignment(std::string_view arg, int* assigned = nullptr);

 private:
  std::array<std::string, kComPorts> paths_;
  std::array<std::string, kComPorts> withheld_;
};

}  // namespace vellum
