#pragma once
// The test view: owns every piece of test state and draws every screen. One class, several
// files by concern:
//   ViewState.cpp     constructor (detection, resources), ComputeLayout, destructor, stop
//   ReaderThread.cpp  ReaderThreadProc, the pointer and the lost tablet
//   LineQuality.cpp   the line's figures for the status bar's second pane
//   TabletEvents.cpp  what each tablet event does on the current screen
//   Painting.cpp      OnDraw, the info screen, invalidation and Qt's paint/resize events
//   Presentation.cpp  queued, coalesced presentation of what the reader drew, at most once a
//                     display frame
//   Keys.cpp          OnKeyDown
//   Trace.cpp         DrawTraceSegment
//   Readouts.cpp      ShowReadout, OnMouseMove
//   ModeScreens.cpp   DrawModeHeader, ShowShake, ShowKeystroke
//   Pictures.cpp      LayoutTransducerPicture and the four transducer pictures
//   Indicators.cpp    the button indicators
//   Selector.cpp      the transducer selector
//
// Threads: the UI thread (Qt's event loop) and the reader thread share the view. Members both
// threads touch are std::atomic, loaded and stored relaxed: the same single-word accesses the
// design relies on, without a data race. Geometry is written before the reader starts and never
// again. The reader never waits for the UI thread: what it asks of UI objects is posted.
//
// The public part is what the application, the reader and the window system call; every
// operation and member the screens share is private.

#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/Tablet.h"
#include "gdi/Gdi.h"
#include "platform/Pointer.h"
#include "platform/Tone.h"
#include "tablet/Detection.h"
#include "tablet/LineStats.h"
#include "tablet/Reader.h"
#include "tablet/TabletLink.h"
#include "view/FramePacer.h"
#include "view/ViewFrame.h"

class QComboBox;
class QTimer;

// What the view takes from outside. The defaults are the real platform; tests replace them.
struct ViewOptions {
  // The serial line the scan probes and the reader reads; nullptr: a SerialPort over `ports`.
  std::unique_ptr<vellum::IPort> port;
  // The devices of COM1..COM4, for the messages and the check for a tablet driver.
  vellum::PortPaths ports;
  int screenWidth = 0;  // 0: the primary screen's size
  int screenHeight = 0;
  platform::ITone* tone = nullptr;  // nullptr: the system tone
  vellum::IByteTap* tap = nullptr;  // sees every byte the reader reads (capture recording)
  // No tablet found: default shows the message box, writes the text to stderr and exits 0.
  std::function<void(const std::string& message)> noTablet;
  // Ends the process (F4: 0; no tablet: 0; the found port not opening, no reader thread: 1).
  // Default: flush standard streams and _exit(status).
  std::function<void(int status)> exitProcess;
  // Runs on F4 before the process ends (flushing recordings).
  std::function<void()> beforeExit;
  // Runs once the tablet has been found and its port opened, before the reader starts and
  // before any window shows (recordings are created here, and only if there is a tablet).
  std::function<void(const vellum::TabletInfo& info)> tabletFound;
  // How the reader moves the pointer (--pointer); kNone never moves it.
  platform::PointerKind pointerKind = platform::PointerKind::kAuto;
  // A backend of the caller's (tests); nullptr: the one pointerKind picks.
  std::unique_ptr<platform::IPointer> pointer;
  bool movePointer = true;  // tests that must not move the real pointer turn this off
  // Runs on the reader thread after each packet has been handled (benchmarks).
  std::function<void()> packetHandled;
};

class CVellumView : public QWidget, public vellum::ITabletSink {
  Q_OBJECT

 public:
  // Runs detection; does not return when no tablet is found (options.noTablet decides).
  explicit CVellumView(ViewOptions options = {}, QWidget* parent = nullptr);
  ~CVellumView() override;

  void SetFrame(IViewFrame* frame) { m_frame = frame; }
  // The first paint has laid the view out: its client rectangle is fixed from then on.
  bool IsLaidOut() const { return m_layoutDone; }
  const gdi::RECT& ClientRect() const { return m_clientRect; }
  // InvalidateRect with erase + UpdateWindow: erase to the background, run OnDraw clipped to
  // the rectangle, show it. UI thread only.
  void InvalidateAndPaint(const gdi::RECT& rect);
  // Takes the client origin on the screen again, for the reader's pointer moves. The frame calls
  // this when the top-level window moves: a child gets no move event then.
  void RefreshClientOrigin();
  // Puts `text` in the status pane and keeps it there through later readouts and repaints
  // until the program ends (a lost tablet, a failed recording). UI thread.
  void ShowStatusNotice(const std::string& text);
  void StopReader();         // set m_stop, wake, join, close the port
  void StopReaderAndExit();  // F4: StopReader, then end the process with status 0
  // The key-down handler: F1, F3, F4 and F5 (the virtual-key codes below). UI thread.
  void OnKeyDown(uint32_t virtualKey, uint32_t repeatCount, uint32_t flags);
  // The reader thread's one call per packet (TabletEvents.cpp).
  void OnTabletEvent(const vellum::TabletEvent& event) override;
  // The line's figures in one short line, for the frame's second status pane. UI thread.
  std::string LineQualityText() const;
  // True once a second has passed without a packet: the figures then stay as they are until
  // the next packet. UI thread.
  bool LineIsQuiet() const;
  // After this the next packet calls `wake` once, on the UI thread, so a quiet line's pane needs
  // no timer. UI thread.
  void WakeOnNextPacket(std::function<void()> wake);
  // A point of the transducer picture in design units, in client pixels: trunc(X0 + dx *
  // scaleX), trunc(Y0 + dy * scaleY) from the picture's anchor (X0, Y0).
  gdi::POINT DesignToClient(int dx, int dy) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class ViewDC;
  friend class SelectorBox;
  // The tests', benchmarks' and fuzz targets' view (tests/support/TestView.h) opens exactly the
  // members they look at or set.
  friend class TestView;

  // ---- state and layout (ViewState.cpp) ----
  void CreateResources();
  void ComputeLayout();
  void StartReader();
  // A start-up failure: stderr, the message box, exit status 1.
  void ReportFatal(const std::string& message);

  // ---- painting (Painting.cpp) ----
  void OnDraw(gdi::DC& dc);
  void KeepMaximised();  // OnDraw's first step
  void DrawInfoScreen(gdi::DC& dc);
  // Erase `rect` of the backbuffer to the background and run OnDraw clipped to it, without
  // showing it yet (the paint handler's half of InvalidateAndPaint). UI thread only.
  void PaintBase(const gdi::RECT& rect);
  void RepaintWhole();  // resize and show: the base picture over the whole client

  // ---- trace (Trace.cpp) ----
  void DrawTraceSegment(vellum::Point point);

  // ---- readouts (Readouts.cpp) ----
  void ShowReadout(int32_t buttons, int32_t x, int32_t y, int32_t pressure);
  void OnMouseMove();
  // Asks the UI thread to bring the status readout up to the values just stored, as a pointer
  // move does, with the next presentation (Presentation.cpp); requests made before it are one.
  // Reader thread.
  void RequestStatusRefresh();
  // The frame's SetStatusReadout, unless a notice holds the pane. UI thread.
  void SetStatusReadout(vellum::TestMode screen, int x, int y, int pressure, int buttons);

  // ---- mode screens (ModeScreens.cpp) ----
  void DrawModeHeader();
  void ShowShake(int32_t x, int32_t y);
  void ShowKeystroke(int32_t code);
  void DrawPlainKeypad(gdi::DC& dc);

  // ---- pictures (Pictures.cpp) ----
  void LayoutTransducerPicture();
  void DrawPressureStylus();
  void DrawFourButtonCursor();
  void DrawThreeButtonStylus();
  void DrawTwoButtonStylus();
  void DrawTransducerPicture();  // the picture chosen by m_packetLength and m_transducer

  // ---- indicators (Indicators.cpp) ----
  void ShowStylusButtons(int32_t code);
  void ShowTwoButtonStylusButtons(int32_t code);
  void ShowThreeButtonStylusButtons(int32_t code);
  void ShowCursorButtons(int32_t code);
  void DrawStylusTipReleased();
  void DrawStylusTipPressed();
  void DrawRockerLowerPressed();
  void DrawRockerUpperPressed();
  void DrawRockerHalf(gdi::POINT from, gdi::POINT to, gdi::POINT lineStart, gdi::POINT lineEnd);

  // ---- selector (Selector.cpp) ----
  void CreateSelector();   // ComputeLayout, 5-byte tablets
  void MeasureSelector();  // reader thread start, 5-byte tablets
  void SelectTransducer(int32_t index);
  void OnSelectorChange();  // UI thread, on the combo box's selection change
  void PenSelectorStep(int32_t code, vellum::Point screenPt);
  void ShowSelector(bool visible);   // F1 on 5-byte tablets
  void RepaintPicture(gdi::DC& dc);  // after a change of transducer
  void MirrorDroppedRect();          // UI thread

  // ---- tablet events (TabletEvents.cpp), reader thread ----
  vellum::TestMode Mode() const { return m_mode.load(std::memory_order_relaxed); }
  void HandleInfoScreen(int32_t code, vellum::Point screen);

  // ---- reader (ReaderThread.cpp) ----
  static int ReaderThreadProc(CVellumView* view);
  vellum::Point ClientToScreen(vellum::Point p) const;
  void MovePointer(vellum::Point screen);  // through m_pointer; never waits for the UI thread
  // The reader ended on a failed read, not on a stop: say so on stderr and in the status pane.
  // UI thread (the reader posts it).
  void OnTabletLost(const std::string& reason);

  // ---- presentation (Presentation.cpp) ----
  // Any thread: queue the rectangle to be shown; requests made before the UI thread gets to
  // them, or within a display frame of the last update, are merged into one update.
  void RequestPresent(const gdi::DirtyArea& area);
  // REQUIRES: m_presentMutex held. Posts PresentPending unless it is queued already.
  void QueuePresentLocked();
  void PresentPending();  // UI thread: now, or when the frame is over
  void PresentIn(int64_t waitUs);  // UI thread: PresentPending then
  gdi::Surface& Backbuffer() { return *m_surface; }
  const gdi::Surface& Backbuffer() const { return *m_surface; }

  // ================= members, in the designed order =================
  gdi::RECT m_clientRect{};
  std::array<gdi::RECT, 7> m_keyCircles{};
  gdi::RECT m_rockerRect{};
  std::unique_ptr<gdi::Region> m_stylusTipRegion;
  std::unique_ptr<gdi::Region> m_buttonStylusTipRegion;
  std::unique_ptr<gdi::Region> m_traceRegion;
  std::atomic<vellum::TestMode> m_mode{vellum::TestMode::kInfo};
  uint32_t m_port = 0;
  std::atomic<bool> m_stop{false};
  bool m_layoutDone = false;
  int32_t m_packetLength = 0;
  int32_t m_cellSize = 0;
  gdi::POINT m_pictureOrigin{};
  std::atomic<vellum::Transducer> m_transducer{vellum::Transducer::kFourButtonCursor};
  std::atomic<int32_t> m_penWidth{0};
  std::atomic<int32_t> m_buttons{0};
  std::atomic<int32_t> m_shownButtons{0};
  std::atomic<int32_t> m_pressure{0};
  float m_scaleX = 0;
  float m_scaleY = 0;
  std::thread m_readerThread;
  bool m_readerStarted = false;
  std::unique_ptr<vellum::IPort> m_hPort;
  int32_t m_maxX = 0;
  int32_t m_maxY = 0;
  std::array<gdi::POINT, 5> m_tip2Pressed{};
  std::array<gdi::POINT, 5> m_tip2Released{};
  std::array<gdi::POINT, 3> m_tip3Pressed{};
  std::array<gdi::POINT, 5> m_tip3Released{};
  std::array<gdi::POINT, 4> m_lowerButton3{};
  std::array<gdi::POINT, 4> m_upperButton3{};
  std::array<gdi::POINT, 4> m_cursorButton1{};
  std::array<gdi::POINT, 4> m_cursorButton2{};
  std::array<gdi::POINT, 4> m_cursorButton3{};
  std::array<gdi::POINT, 4> m_cursorButton4{};
  std::array<gdi::POINT, 8> m_stylusTipReleased{};
  std::array<gdi::POINT, 8> m_stylusTipPressed{};
  std::array<gdi::POINT, 7> m_rockerLines{};
  gdi::POINT m_lastPoint{};   // reader thread only
  gdi::POINT m_shakeShown{};  // reader thread only
  std::atomic<int32_t> m_statusX{0};
  std::atomic<int32_t> m_statusY{0};
  std::unique_ptr<gdi::Pen> m_penCyanWide;
  std::unique_ptr<gdi::Pen> m_penBlack;
  std::unique_ptr<gdi::Pen> m_penWhite2;
  std::unique_ptr<gdi::Pen> m_penRed;
  std::unique_ptr<gdi::Pen> m_penCyan;
  std::unique_ptr<gdi::Brush> m_brushGrey;
  std::unique_ptr<gdi::Brush> m_brushWhite;
  std::unique_ptr<gdi::Brush> m_brushDarkGrey;
  std::unique_ptr<gdi::Brush> m_brushBlack;
  QComboBox* m_selector = nullptr;  // child widget, 5-byte tablets only
  std::unique_ptr<gdi::Font> m_font;

  // ================= platform stand-ins =================
  ViewOptions m_options;
  IViewFrame* m_frame = nullptr;
  std::unique_ptr<platform::ITone> m_ownTone;
  platform::ITone* m_tone = nullptr;
  int m_screenWidth = 0;
  int m_screenHeight = 0;
  // The backbuffer: screen-sized at first, grown in place (never replaced) when the client is
  // larger, so that a DC on it stays valid on every thread.
  std::unique_ptr<gdi::Surface> m_surface;
  vellum::Waker m_waker;

  // The view's client origin in screen coordinates, kept current by the UI thread.
  std::atomic<int32_t> m_originX{0};
  std::atomic<int32_t> m_originY{0};

  // A status refresh waits for the next presentation. Set before m_presentMutex is taken and
  // taken back under it, so that no request is lost between the two threads.
  std::atomic<bool> m_statusRefreshQueued{false};

  // Presentation requests from any thread, merged until the UI thread shows them.
  std::mutex m_presentMutex;
  gdi::DirtyArea m_pendingDirty;
  bool m_presentQueued = false;
  // The UI thread's: when the next update may be, and the wait for it.
  vellum::FramePacer m_framePacer{vellum::FrameUsForRate(0)};
  QTimer* m_presentTimer = nullptr;  // child of the view

  // Made on the UI thread before the reader starts; from then on the reader's alone.
  std::unique_ptr<platform::IPointer> m_pointer;

  // The line's figures: fed by the reader, read by the UI thread.
  vellum::LineStats m_lineStats;
  std::function<void()> m_packetWake;  // UI thread only
  std::atomic<bool> m_packetWakeArmed{false};

  // Packets handled so far (tests and benchmarks wait on it).
  std::atomic<uint32_t> m_packetsHandled{0};
  // The reader's loop has returned (stop, or a failed read such as a hang-up).
  std::atomic<bool> m_readerEnded{false};
  // What holds the status pane instead of the readouts; "" while nothing does. UI thread only.
  std::string m_statusNotice;

  // Selector state mirrored by the UI thread for the reader (which never calls into Qt).
  std::atomic<int32_t> m_selectorCurSel{2};
  std::atomic<bool> m_selectorDropped{false};
  std::atomic<int32_t> m_selectorItemHeight{0};
  std::atomic<int32_t> m_selectorCount{0};
  std::atomic<int32_t> m_droppedLeft{0}, m_droppedTop{0}, m_droppedRight{0}, m_droppedBottom{0};
  // The reader's own selector state, measured when it starts (reader thread only).
  int32_t m_selectorWidth = 0;
  int32_t m_selectorListHeight = 0;
  gdi::RECT m_selectorDroppedRect{};
  bool m_selectorLatch = false;
  // The last event decoded outside the Keystroke screen, which decodes nothing (reader thread).
  vellum::TabletEvent m_decoded;
};

// A client-area DC of the view: draws on the backbuffer and asks for what it dirtied to be
// shown when it is released. Any thread.
class ViewDC : public gdi::DC {
 public:
  explicit ViewDC(CVellumView& view) : gdi::DC(view.Backbuffer()), view_(view) {}
  ~ViewDC() { view_.RequestPresent(Dirty()); }
  ViewDC(const ViewDC&) = delete;
  ViewDC& operator=(const ViewDC&) = delete;

 private:
  CVellumView& view_;
};

// Virtual-key codes the key handler uses.
inline constexpr uint32_t kVkF1 = 112;
inline constexpr uint32_t kVkF3 = 114;
inline constexpr uint32_t kVkF4 = 115;
inline constexpr uint32_t kVkF5 = 116;
