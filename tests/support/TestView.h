#pragma once
// The view as the tests, the benchmarks and the fuzz targets see it: CVellumView with exactly the
// members and operations they look at, set or drive opened up, and nothing else.
#include "view/VellumView.h"

class TestView : public CVellumView {
 public:
  using CVellumView::CVellumView;

  // Operations the tests drive one at a time, as the reader and the window system would.
  using CVellumView::Backbuffer;
  using CVellumView::DrawFourButtonCursor;
  using CVellumView::DrawPressureStylus;
  using CVellumView::DrawThreeButtonStylus;
  using CVellumView::DrawTraceSegment;
  using CVellumView::DrawTransducerPicture;
  using CVellumView::DrawTwoButtonStylus;
  using CVellumView::MeasureSelector;
  using CVellumView::OnDraw;
  using CVellumView::OnMouseMove;
  using CVellumView::OnSelectorChange;
  using CVellumView::PenSelectorStep;
  using CVellumView::SelectTransducer;
  using CVellumView::ShowCursorButtons;
  using CVellumView::ShowKeystroke;
  using CVellumView::ShowReadout;
  using CVellumView::ShowSelector;
  using CVellumView::ShowShake;
  using CVellumView::ShowStylusButtons;
  using CVellumView::ShowThreeButtonStylusButtons;
  using CVellumView::ShowTwoButtonStylusButtons;

  // What detection found and the layout computed.
  using CVellumView::m_buttonStylusTipRegion;
  using CVellumView::m_cellSize;
  using CVellumView::m_cursorButton2;
  using CVellumView::m_font;
  using CVellumView::m_hPort;
  using CVellumView::m_keyCircles;
  using CVellumView::m_maxX;
  using CVellumView::m_maxY;
  using CVellumView::m_packetLength;
  using CVellumView::m_pictureOrigin;
  using CVellumView::m_port;
  using CVellumView::m_rockerLines;
  using CVellumView::m_rockerRect;
  using CVellumView::m_scaleX;
  using CVellumView::m_scaleY;
  using CVellumView::m_stylusTipRegion;
  using CVellumView::m_stylusTipReleased;
  using CVellumView::m_tip2Released;
  using CVellumView::m_traceRegion;

  // The state the screens share between the threads.
  using CVellumView::m_buttons;
  using CVellumView::m_decoded;
  using CVellumView::m_lastPoint;
  using CVellumView::m_mode;
  using CVellumView::m_penWidth;
  using CVellumView::m_pressure;
  using CVellumView::m_shakeShown;
  using CVellumView::m_shownButtons;
  using CVellumView::m_statusX;
  using CVellumView::m_statusY;
  using CVellumView::m_transducer;

  // The selector and its mirrors.
  using CVellumView::m_selector;
  using CVellumView::m_selectorCurSel;
  using CVellumView::m_selectorDropped;
  using CVellumView::m_selectorDroppedRect;
  using CVellumView::m_selectorItemHeight;
  using CVellumView::m_selectorLatch;
  using CVellumView::m_selectorListHeight;
  using CVellumView::m_selectorWidth;

  // The reader, the pointer and the process end.
  using CVellumView::m_options;
  using CVellumView::m_originX;
  using CVellumView::m_originY;
  using CVellumView::m_packetsHandled;
  using CVellumView::m_pendingDirty;
  using CVellumView::m_presentMutex;
  using CVellumView::m_presentQueued;
  using CVellumView::m_readerEnded;
  using CVellumView::m_readerThread;
  using CVellumView::m_stop;
};
