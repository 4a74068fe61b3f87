#include "support/Harness.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "view/StatusReadout.h"

namespace test {
namespace {

constexpr int kStartTimeoutMs = 10000;

// Reads the first line the child writes to `fd` (a file it shares with us), or throws when it
// does not come in time. A file rather than a pipe: whatever the emulator prints later can never
// block it or kill it with SIGPIPE.
std::string ReadFirstLine(int fd, pid_t pid) {
  std::string text;
  QElapsedTimer timer;
  timer.start();
  off_t offset = 0;
  while (timer.elapsed() < kStartTimeoutMs) {
    char buffer[256];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
    if (n > 0) {
      offset += n;
      text.append(buffer, static_cast<size_t>(n));
      const size_t newline = text.find('\n');
      if (newline != std::string::npos) return text.substr(0, newline);
      continue;
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) break;  // ended before naming its pty
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  throw std::runtime_error("vellum-tablet (pid " + std::to_string(pid) +
                           ") did not print its pty path; got \"" + text + "\"");
}

void StopChild(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

// $VELLUM_TABLET, else the emulator of the same build tree (tests/view/X -> tools/vellum-tablet),
// so a test run without the variable still finds it.
std::string EmulatorPath() {
  const char* env = std::getenv("VELLUM_TABLET");
  if (env && *env) return env;
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return std::string();
  std::string path(self, static_cast<size_t>(n));
  for (int up = 0; up < 3; ++up) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    path.resize(slash);
  }
  path += "/tools/vellum-tablet";
  return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

}  // namespace

Emulator::Emulator(const std::vector<std::string>& args) {
  const std::string exePath = EmulatorPath();
  if (exePath.empty()) throw std::runtime_error("VELLUM_TABLET is not set");
  const char* exe = exePath.c_str();
  char outName[] = "/tmp/vellum-emulator-out-XXXXXX";
  const int out = ::mkostemp(outName, O_CLOEXEC);
  if (out < 0) throw std::runtime_error("mkostemp failed");
  ::unlink(outName);

  std::vector<std::string> argvStrings;
  argvStrings.emplace_back(exe);
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) {
    ::close(out);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    // A test that crashes must not leave its emulator holding ctest's output pipe open.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(out, STDOUT_FILENO);  // dup2 clears close-on-exec on the copy
    ::execv(exe, argv.data());
    ::_exit(127);
  }
  try {
    path_ = ReadFirstLine(out, pid_);
  } catch (...) {
    ::close(out);
    StopChild(pid_);
    throw;
  }
  ::close(out);
}

Emulator::~Emulator() {
  StopChild(pid_);
}

void FakeFrame::SetStatusReadout(int type, int x, int y, int pressure, int buttons) {
  status_ = FormatStatusReadout(type, x, y, pressure, buttons);
}

void CountingTone::Beep(int frequencyHz, int durationMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  beeps_.emplace_back(frequencyHz, durationMs);
}

int CountingTone::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(beeps_.size());
}

std::vector<std::pair<int, int>> CountingTone::Beeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return beeps_;
}

ViewUnderTest::ViewUnderTest(const std::string& ptyPath, int port, int clientWidth,
                             int clientHeight, int screenWidth, int screenHeight) {
  ViewOptions options;
  for (int n = 1; n <= 4; ++n) {
    options.ports.Set(n, n == port ? ptyPath : "/nonexistent/vellum-test-tty" + std::to_string(n));
  }
  options.screenWidth = screenWidth;
  options.screenHeight = screenHeight;
  options.tone = &tone;
  options.movePointer = false;
  options.noTablet = [](const std::string& message) {
    throw std::runtime_error("no tablet found: " + message);
  };
  options.exitProcess = [this](int status) {
    ++exitCalls;
    exitStatus = status;
  };
  view = std::make_unique<CVellumView>(std::move(options));
  view->SetFrame(&frame);
  view->resize(clientWidth, clientHeight);
  view->show();
  Pump(0);
  // The first paint lays the view out and starts the reader; make sure it has happened.
  if (!view->m_layoutDone) view->InvalidateAndPaint({0, 0, clientWidth, clientHeight});
}

ViewUnderTest::~ViewUnderTest() {
  view.reset();  // stops the reader and closes the port before the emulator goes
}

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  do {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (timer.elapsed() >= ms) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (timer.elapsed() < ms);
}

}  // namespace test
