#include "tablet/PortPaths.h"

#include <charconv>
#include <utility>

namespace vellum {

PortPaths::PortPaths() {
  for (int n = 1; n <= kComPorts; ++n) paths_[size_t(n - 1)] = "/dev/ttyS" + std::to_string(n - 1);
}

const std::string& PortPaths::Path(int n) const {
  return paths_.at(size_t(n - 1));
}

void PortPaths::Set(int n, std::string path) {
  paths_.at(size_t(n - 1)) = std::move(path);
  withheld_.at(size_t(n - 1)).clear();
}

void PortPaths::Withhold(int n) {
  std::string& path = paths_.at(size_t(n - 1));
  withheld_.at(size_t(n - 1)) = std::move(path);
  path.clear();
}

const std::string& PortPaths::Withheld(int n) const {
  return withheld_.at(size_t(n - 1));
}

std::string PortPaths::ParseAssignment(std::string_view arg, int* assigned) {
  const size_t eq = arg.find('=');
  if (eq == std::string_view::npos) {
    return "--port: expected N=PATH, got '" + std::string(arg) + "'";
  }
  const std::string_view number = arg.substr(0, eq);
  int n = 0;
  const char* end = number.data() + number.size();
  const auto [stop, ec] = std::from_chars(number.data(), end, n);
  if (number.empty() || ec != std::errc() || stop != end || n < 1 || n > kComPorts) {
    return "--port: port number must be 1 to 4, got '" + std::string(number) + "'";
  }
  const std::string_view path = arg.substr(eq + 1);
  if (path.empty()) return "--port: empty path for port " + std::to_string(n);
  Set(n, std::string(path));
  if (assigned) *assigned = n;
  return {};
}

}  // namespace vellum
