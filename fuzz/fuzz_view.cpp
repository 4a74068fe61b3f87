// The reader's handling of any byte stream with the whole view behind it, on the offscreen
// platform: decoding, scaling, every mode's drawing on the backbuffer, the indicators, the
// readouts, the selector steps, and F1 and F3 arriving between bytes. Nothing the device sends
// may crash the view or reach outside its buffers (the sanitizers watch).
//
// Input: byte 0 picks the tablet (bit 0: 7 or 5 bytes) and the mode (bits 1..3, modulo 6: mode 5
// is one the keys never reach and must do nothing); byte 1 the range pair and the transducer;
// then the line as in FuzzPort.h, with its marks 0xE0 and 0xE1 pressing F1 and F3.
#include <QApplication>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "fuzz/FuzzPort.h"
#include "tools/emulator/PtyTablet.h"
#include "tests/support/TestView.h"

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// Beeps are waited out in real time; here they would only slow the fuzzer down.
class SilentTone final : public platform::ITone {
 public:
  void Beep(int, int) override {}
};

// One laid-out view per packet length, found on an emulated tablet like at start-up. The port is
// then closed so that the view's own reader never starts: the fuzzer drives the reader instead.
std::unique_ptr<TestView> MakeView(int packetLength) {
  vellum::emu::EmulatorConfig config;
  config.packetLength = packetLength;
  vellum::emu::PtyTablet tablet(config, {});
  ViewOptions options;
  options.ports.Set(1, tablet.Path());
  for (int n = 2; n <= 4; ++n)
    options.ports.Set(n, "/nonexistent/vellum-fuzz-com" + std::to_string(n));
  options.screenWidth = kScreenWidth;
  options.screenHeight = kScreenHeight;
  options.movePointer = false;
  static SilentTone tone;
  options.tone = &tone;
  options.noTablet = [](const std::string& m) { throw std::runtime_error("no tablet: " + m); };
  options.exitProcess = [](int) { std::abort(); };  // no key here ends the process
  auto view = std::make_unique<TestView>(std::move(options));
  view->m_hPort->Close();
  view->resize(kScreenWidth, kScreenHeight - 28);
  view->show();
  view->InvalidateAndPaint({0, 0, view->width(), view->height()});
  QCoreApplication::processEvents();
  if (!view->IsLaidOut()) throw std::runtime_error("the view was not laid out");
  return view;
}

// Never destroyed: Qt's own statics may be gone by the time the process's destructors run.
QApplication* app = nullptr;
TestView* views[2] = {};  // 5-byte, 7-byte

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  app = new QApplication(*argc, *argv);
  views[0] = MakeView(5).release();
  views[1] = MakeView(7).release();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TestView& view = *views[data[0] & 1];
  const uint32_t mode = ((data[0] >> 1) & 7) % 6;
  const int32_t maxX = vellum::AcceptedXRanges[data[1] % vellum::AcceptedXRanges.size()];
  const int32_t maxY = vellum::AcceptedYRanges[(data[1] >> 3) % vellum::AcceptedYRanges.size()];
  static constexpr int32_t kTransducers[4] = {2, 3, 4, 1};

  // What the reader thread keeps in the view starts afresh, so that an input replays alone.
  view.m_maxX = maxX;
  view.m_maxY = maxY;
  view.m_mode.store(vellum::TestMode(mode));
  view.m_transducer.store(vellum::Transducer(kTransducers[(data[1] >> 5) & 3]));
  view.m_shownButtons.store(0);
  view.m_lastPoint = {};
  view.m_shakeShown = {};
  view.m_decoded = {};
  if (view.m_packetLength == 5) view.MeasureSelector();

  const vellum::ReaderConfig config{view.ClientRect().right, view.ClientRect().bottom, maxX, maxY,
                                    view.m_packetLength};
  // The keys land between any two bytes the reader handles, as the UI thread's may.
  vellum::test::MemoryPort port = vellum::fuzz::FuzzLine(data + 2, size - 2, true);
  port.onMark = [&view](int mark) {
    view.OnKeyDown(mark == vellum::fuzz::kMark0 ? kVkF1 : kVkF3, 1, 0);
  };
  const std::atomic<bool> stop{false};
  vellum::RunReader(port, config, view, stop, nullptr);
  QCoreApplication::processEvents();  // the queued presents and pointer moves
  return 0;
}
