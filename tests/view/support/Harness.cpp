#include "support/Harness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "view/StatusReadout.h"

namespace test {
namespace {

// No test reaches a real serial port: the ports the view does not get a line for are absent.
ViewOptions OptionsWithAbsentPorts() {
  ViewOptions options;
  for (int n = 1; n <= 4; ++n)
    options.ports.Set(n, "/nonexistent/vellum-test-tty" + std::to_string(n));
  return options;
}

}  // namespace

void FakeFrame::SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure,
                                 int buttons) {
  status_ = FormatStatusReadout(screen, x, y, pressure, buttons);
  ++readouts_;
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

ViewUnderTest::ViewUnderTest(Tablet tablet, int clientWidth, int clientHeight, int screenWidth,
                             int screenHeight) {
  auto device = std::make_shared<vellum::test::ScriptedTablet>();
  device->packetLength = tablet.model;
  device->x = tablet.maxX;
  device->y = tablet.maxY;
  auto port = std::make_unique<vellum::test::FakePort>();
  port->Attach(tablet.port, device);
  line = port.get();
  ViewOptions options = OptionsWithAbsentPorts();
  options.port = std::move(port);
  options.screenWidth = screenWidth;
  options.screenHeight = screenHeight;
  Start(std::move(options), clientWidth, clientHeight);
}

ViewUnderTest::ViewUnderTest(OnPty, const std::string& ptyPath, int clientWidth, int clientHeight) {
  ViewOptions options = OptionsWithAbsentPorts();
  options.ports.Set(1, ptyPath);
  options.screenWidth = 1024;
  options.screenHeight = 768;
  Start(std::move(options), clientWidth, clientHeight);
}

void ViewUnderTest::Start(ViewOptions options, int clientWidth, int clientHeight) {
  options.tone = &tone;
  auto recording = std::make_unique<RecordingPointer>();
  pointer = recording.get();
  options.pointer = std::move(recording);
  options.noTablet = [](const std::string& message) {
    throw std::runtime_error("no tablet found: " + message);
  };
  options.exitProcess = [this](int status) {
    ++exitCalls;
    exitStatus = status;
  };
  view = std::make_unique<TestView>(std::move(options));
  view->SetFrame(&frame);
  view->resize(clientWidth, clientHeight);
  view->show();
  Pump(0);
  // The first paint lays the view out and starts the reader; make sure it has happened.
  if (!view->IsLaidOut()) view->InvalidateAndPaint({0, 0, clientWidth, clientHeight});
}

ViewUnderTest::~ViewUnderTest() {
  view.reset();  // stops the reader and closes the port before a pty's tablet goes
}

bool RecordingPointer::MoveTo(int32_t x, int32_t y) {
  std::lock_guard lock(mutex_);
  moves_.push_back({x, y});
  threads_.push_back(std::this_thread::get_id());
  return true;
}

void RecordingPointer::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  closedOn_ = std::this_thread::get_id();
}

std::vector<vellum::Point> RecordingPointer::Moves() const {
  std::lock_guard lock(mutex_);
  return moves_;
}

bool RecordingPointer::MovedOnlyOn(std::thread::id thread) const {
  std::lock_guard lock(mutex_);
  for (const std::thread::id& t : threads_) {
    if (t != thread) return false;
  }
  return true;
}

bool RecordingPointer::ClosedOn(std::thread::id thread) const {
  std::lock_guard lock(mutex_);
  return closed_ && closedOn_ == thread;
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
