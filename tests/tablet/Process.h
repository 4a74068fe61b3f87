#pragma once
// Child processes for the end-to-end probe tests: the emulator on a pty and the vellum binary.
#include <string>
#include <vector>

namespace vellum::test {

struct RunResult {
  int exitCode = -1;  // -1: killed after the deadline
  std::string out, err;
  double seconds = 0;
};

// Runs `exe args...` to completion, killing it after `timeoutSeconds`.
RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                     double timeoutSeconds = 30);

// vellum-tablet with the given options; the pty path is read from its first output line.
class EmulatorProcess {
 public:
  explicit EmulatorProcess(const std::vector<std::string>& args);
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;
  const std::string& path() const { return path_; }

 private:
  int pid_ = -1;
  std::string outFile_;
  std::string path_;
};

// Paths of the binaries under test, from the environment CTest sets.
std::string EnvPath(const char* name);

}  // namespace vellum::test
