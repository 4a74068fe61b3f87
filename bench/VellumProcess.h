#pragma once
// Starts the program under measurement with the tablet on COM1 at `linePath` and the other
// three ports on paths that do not exist, so that nothing but the benchmark's line is opened.
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace vellum::bench {

inline pid_t StartVellumOn(std::vector<std::string> command, const std::string& linePath) {
  command.push_back("--port");
  command.push_back("1=" + linePath);
  for (int n = 2; n <= 4; ++n) {
    command.push_back("--port");
    command.push_back(std::to_string(n) + "=/nonexistent/vellum-bench-tty" + std::to_string(n));
  }
  std::vector<char*> argv;
  for (std::string& s : command) argv.push_back(s.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace vellum::bench
