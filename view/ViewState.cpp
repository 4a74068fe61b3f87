// The view's state: construction (detection, port, scales, drawing resources), the one-time
// layout at the first paint, the stop sequences and the destructor.
#include <unistd.h>

#include <QComboBox>
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "platform/MessageBox.h"
#include "platform/Screen.h"
#include "res/Strings.h"
#include "tablet/PortDiagnosis.h"
#include "view/Layout.h"
#include "view/VellumView.h"

namespace {

constexpr int kCellsAcross = 30;  // client width / cell size

void ExitNow(int status) {
  vellum::UndoLatencyChangesNow();  // _exit skips the port's own close
  std::fflush(nullptr);
  ::_exit(status);
}

}  // namespace

CVellumView::CVellumView(ViewOptions options, QWidget* parent)
    : QWidget(parent), m_options(std::move(options)) {
  if (!m_options.exitProcess) m_options.exitProcess = ExitNow;
  if (m_options.tone) {
    m_tone = m_options.tone;
  } else {
    m_ownTone = platform::MakeSystemTone();
    m_tone = m_ownTone.get();
  }
  // Chosen here, on the UI thread, where Qt tells which desktop this is; the reader uses it.
  if (m_options.pointer) {
    m_pointer = std::move(m_options.pointer);
  } else if (m_options.movePointer) {
    m_pointer = platform::MakeSystemPointer(m_options.pointerKind);
  }
  if (m_options.screenWidth > 0 && m_options.screenHeight > 0) {
    m_screenWidth = m_options.screenWidth;
    m_screenHeight = m_options.screenHeight;
  } else {
    const platform::ScreenSize screen = platform::PrimaryScreenSize();
    m_screenWidth = screen.width;
    m_screenHeight = screen.height;
  }
  // Everything is painted from the backbuffer; Qt must not clear the window first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  // Pointer moves bring the status readout up to date, buttons pressed or not.
  setMouseTracking(true);
  // A view that never finds its tablet (tests) must still paint.
  m_surface = std::make_unique<gdi::Surface>(std::max(m_screenWidth, 1),
                                             std::max(m_screenHeight, 1), colour::kWhite);

  std::unique_ptr<vellum::IPort> port = std::move(m_options.port);
  if (!port) port = std::make_unique<vellum::SerialPort>(m_options.ports);
  vellum::ProbeOutcomes outcomes;
  const vellum::TabletInfo info = vellum::ScanPorts(*port, &outcomes);
  if (info.port == 0) {
    const std::string message = vellum::ChooseNoTabletMessage(m_options.ports);
    if (m_options.noTablet) {
      m_options.noTablet(message);
    } else {
      // What each port said, under the message and as the box's details.
      std::string details;
      std::string error;
      if (const auto system = vellum::SystemPortsFromEnvironment(error)) {
        for (const std::string& line : vellum::DiagnosePorts(outcomes, m_options.ports, *system)) {
          details += (details.empty() ? "" : "\n") + line;
        }
      }
      // The text as the program has always given it, line breaks included (LF CR).
      std::fwrite(message.data(), 1, message.size(), stderr);
      std::fputc('\n', stderr);
      if (!details.empty()) std::fprintf(stderr, "%s\n", details.c_str());
      std::fflush(stderr);
      platform::ShowMessageBox(res::kAppTitle, message, details);
      m_options.exitProcess(0);
    }
    return;
  }
  m_port = info.port;
  m_packetLength = info.packetLength;
  m_maxX = info.maxX;
  m_maxY = info.maxY;
  if (!vellum::OpenTabletPort(*port, info)) {
    // The tablet answered a moment ago; another program may have taken the port since.
    ReportFatal("The tablet on COM" + std::to_string(m_port) + " (" +
                m_options.ports.Path(int(m_port)) + ") could not be opened: " + port->LastError());
    return;
  }
  m_hPort = std::move(port);
  // The pointer's device is made now, well before the window shows (platform/Pointer.h).
  if (m_pointer) m_pointer->Open();
  if (const std::string notice = vellum::NoticeLines(m_hPort->LatencyNotice()); !notice.empty()) {
    std::fputs(notice.c_str(), stderr);
    std::fflush(stderr);
  }
  if (m_options.tabletFound) m_options.tabletFound(info);
  const vellum::ScaleFactors scale = vellum::ComputeScaleFactors(m_screenWidth, m_screenHeight);
  m_scaleX = scale.x;
  m_scaleY = scale.y;
  CreateResources();
}

void CVellumView::CreateResources() {
  m_penCyanWide = std::make_unique<gdi::Pen>(4, colour::kCyan);
  m_penBlack = std::make_unique<gdi::Pen>(1, colour::kBlack);
  m_penWhite2 = std::make_unique<gdi::Pen>(1, colour::kWhite);
  m_penRed = std::make_unique<gdi::Pen>(1, colour::kRed);
  m_penCyan = std::make_unique<gdi::Pen>(1, colour::kCyan);
  m_brushGrey = std::make_unique<gdi::Brush>(colour::kGrey);
  m_brushWhite = std::make_unique<gdi::Brush>(colour::kWhite);
  m_brushBlack = std::make_unique<gdi::Brush>(colour::kBlack);
  m_brushDarkGrey = std::make_unique<gdi::Brush>(colour::kDarkGrey);
}

void CVellumView::ComputeLayout() {
  m_clientRect = {0, 0, width(), height()};
  const gdi::RECT& c = m_clientRect;
  // The backbuffer is screen-sized; a client larger than the screen (a test, a second monitor)
  // needs more. It grows in place: a DC made on it before now stays valid.
  m_surface->Grow(c.right, c.bottom);
  const gdi::RECT trace = layout::TraceArea(c);
  m_traceRegion = std::make_unique<gdi::Region>(trace.left, trace.top, trace.right, trace.bottom);
  if (m_packetLength == vellum::kPlainPacketLength) CreateSelector();
  LayoutTransducerPicture();

  m_cellSize = c.right / kCellsAcross;
  const int32_t cell = m_cellSize;
  const int32_t middle = c.bottom / 2;
  for (int32_t i = 0; i < static_cast<int32_t>(m_keyCircles.size()); ++i) {
    m_keyCircles[i] = {(4 * i + 2) * cell, middle - cell, (4 * i + 4) * cell, middle + cell};
  }
  m_font = gdi::Font::Create(m_cellSize, m_cellSize, "Microsoft Sans Serif");
  if (m_hPort && m_hPort->IsOpen()) StartReader();
  m_layoutDone = true;
}

void CVellumView::StartReader() {
  if (m_readerStarted) return;  // once per run
  try {
    m_readerThread = std::thread(&CVellumView::ReaderThreadProc, this);
    m_readerStarted = true;
  } catch (const std::system_error&) {
    ReportFatal(res::kCreateThreadFailed);
  }
}

void CVellumView::ReportFatal(const std::string& message) {
  std::fprintf(stderr, "vellum: %s\n", message.c_str());
  std::fflush(stderr);
  platform::ShowMessageBox(res::kAppTitle, message);
  m_options.exitProcess(1);
}

void CVellumView::StopReader() {
  m_stop.store(true, std::memory_order_relaxed);
  m_waker.Wake();
  // The reader sees the flag within one idle wait or one packet; nothing it does waits for this
  // thread, so the join cannot hang.
  if (m_readerThread.joinable()) m_readerThread.join();
  if (m_hPort) m_hPort->Close();
}

void CVellumView::StopReaderAndExit() {
  StopReader();
  if (m_options.beforeExit) m_options.beforeExit();
  m_options.exitProcess(0);
}

CVellumView::~CVellumView() {
  StopReader();
  m_font.reset();
  delete m_selector;
  m_selector = nullptr;
  m_brushBlack.reset();
  m_brushDarkGrey.reset();
  m_brushWhite.reset();
  m_brushGrey.reset();
  m_penCyan.reset();
  m_penRed.reset();
  m_penWhite2.reset();
  m_penBlack.reset();
  m_penCyanWide.reset();
  m_traceRegion.reset();
  m_buttonStylusTipRegion.reset();
  m_stylusTipRegion.reset();
}
