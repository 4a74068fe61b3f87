// The built vellum-tablet as its users run it: options, the first output line, --link, signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tablet/Detection.h"

extern char** environ;

namespace vellum::test {
namespace {

class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    const char* exe = std::getenv("VELLUM_TABLET");
    if (!exe || !*exe) {
      ADD_FAILURE() << "VELLUM_TABLET is not set";
      return;
    }
    args.insert(args.begin(), exe);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (::posix_spawn(&pid_, exe, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }

  std::string FirstLine() {
    std::string line;
    char c;
    while (::read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  std::string Stderr() {
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(err_, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    return text;
  }
  // Exit status; -1 when it was killed by a signal.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int sig) { ::kill(pid_, sig); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

TEST(TabletBinary, RefusesBadOptions) {
  const std::vector<std::vector<std::string>> cases = {
      {"--model", "6"},
      {"--range", "5000"},
      {"--range", "5000", "x"},
      {"--range", "-1", "5"},
      {"--fault", "sleepy"},
      {"--hang-up-after", "-3"},
      {"--bogus"},
      {"--script"},
      {"--script", "/nonexistent/script"},
      {"--range=5000"},
      {"--mod", "7"},  // names are given whole
      {"--once=yes"},
      {"stray"},
      {"--fast"},  // goes with --replay only
  };
  for (const auto& args : cases) {
    Child child(args);
    EXPECT_EQ(child.Wait(), 2) << args[0];
    EXPECT_NE(child.Stderr().find("vellum-tablet: "), std::string::npos) << args[0];
  }
}

TEST(TabletBinary, LinkStandsForTheDeviceUntilStopped) {
  char dir[] = "/tmp/vellum-tablet-test-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/com1";
  {
    // "--name=value" as well as "--name value".
    Child child({"--model=5", "--range=9000", "2250", "--link", link});
    ASSERT_EQ(child.FirstLine(), link);
    PortPaths paths;
    paths.Set(1, link);
    for (int n = 2; n <= 4; ++n) paths.Set(n, "/nonexistent/vellum-test-com" + std::to_string(n));
    SerialPort port(paths);
    const TabletInfo found = ScanPorts(port);
    EXPECT_EQ(found.port, 1u);
    EXPECT_EQ(found.packetLength, 5);
    EXPECT_EQ(found.maxX, 9000);
    EXPECT_EQ(found.maxY, 2250);
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(), 0);
  }
  struct stat st;
  EXPECT_NE(::lstat(link.c_str(), &st), 0) << "the link outlived the emulator";
  ::rmdir(dir);
}

TEST(TabletBinary, EndsByItselfAfterHangingUp) {
  Child child({"--stream-at-start", "--hang-up-after", "3"});
  const std::string path = child.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_NE(child.Stderr().find("hung up after 3 packets"), std::string::npos);
}

}  // namespace
}  // namespace vellum::test
