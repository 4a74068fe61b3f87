#include "tests/tablet/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vellum::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string TempName(const char* stem) {
  std::string name = std::string("/tmp/") + stem + "-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  ::close(fd);
  return name;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int Spawn(const std::string& exe, const std::vector<std::string>& args, const std::string& out,
          const std::string& err) {
  std::vector<std::string> all = {exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_TRUNC, 0);
  pid_t pid = -1;
  const int r = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) throw std::runtime_error("cannot start " + exe);
  return pid;
}

// Waits for the child up to the deadline (a safety bound, not a timing under test).
int WaitFor(int pid, Clock::time_point deadline) {
  int status = 0;
  for (;;) {
    const int r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

std::string EnvPath(const char* name) {
  const char* value = std::getenv(name);
  if (value && *value) return value;
#if defined(VELLUM_BIN_DEFAULT) && defined(VELLUM_TABLET_DEFAULT)
  if (std::string(name) == "VELLUM_BIN") return VELLUM_BIN_DEFAULT;
  if (std::string(name) == "VELLUM_TABLET") return VELLUM_TABLET_DEFAULT;
#endif
  throw std::runtime_error(std::string(name) + " is not set");
}

RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                     double timeoutSeconds) {
  const std::string out = TempName("vellum-out"), err = TempName("vellum-err");
  const auto start = Clock::now();
  const int pid = Spawn(exe, args, out, err);
  RunResult result;
  result.exitCode = WaitFor(pid, start + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds)));
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.out = Slurp(out);
  result.err = Slurp(err);
  ::unlink(out.c_str());
  ::unlink(err.c_str());
  return result;
}

EmulatorProcess::EmulatorProcess(const std::vector<std::string>& args) {
  outFile_ = TempName("vellum-emulator");
  pid_ = Spawn(EnvPath("VELLUM_TABLET"), args, outFile_, "/dev/null");
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    const std::string text = Slurp(outFile_);
    const size_t eol = text.find('\n');
    if (eol != std::string::npos) {
      path_ = text.substr(0, eol);
      return;
    }
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  throw std::runtime_error("vellum-tablet did not name its pty");
}

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (WaitFor(pid_, Clock::now() + std::chrono::seconds(3)) == -1) {
      // already reaped or killed by WaitFor
    }
  }
  ::unlink(outFile_.c_str());
}

}  // namespace vellum::test
