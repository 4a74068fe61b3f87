// OnDraw and the info screen, and how Qt's paint, show and resize events reach them. The base
// picture is drawn on the backbuffer; paintEvent only copies the dirty part of it to the window.
#include <QPaintEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <vector>

#include "res/Strings.h"
#include "tablet/TabletSize.h"
#include "view/Layout.h"
#include "view/Text.h"
#include "view/VellumView.h"

using layout::kSeparatorBottom;
using layout::kSeparatorRight;

void CVellumView::KeepMaximised() {
  // A window restored by any means is maximised again at the next paint.
  if (m_frame && !m_frame->IsZoomed()) m_frame->ShowMaximized();
}

void CVellumView::OnDraw(gdi::DC& dc) {
  KeepMaximised();
  if (!m_layoutDone) ComputeLayout();

  const vellum::TestMode mode = Mode();
  if (mode != vellum::TestMode::kInfo) {
    const gdi::Region whole(m_clientRect.left, m_clientRect.top, m_clientRect.right,
                            m_clientRect.bottom);
    if (m_brushBlack) dc.FillRgn(whole, *m_brushBlack);
    DrawModeHeader();
    SetStatusReadout(mode, m_maxX, m_maxY, vellum::HasPressure(m_packetLength) ? 512 : 0, 0);
    return;
  }
  DrawInfoScreen(dc);
}

void CVellumView::DrawInfoScreen(gdi::DC& dc) {
  const int32_t right = m_clientRect.right;
  const int32_t bottom = m_clientRect.bottom;
  const int32_t column = right - layout::kPanelColumn;
  const int32_t resolution = vellum::ResolutionLpi(m_packetLength);

  SetStatusReadout(vellum::TestMode::kInfo, 0, 0, 0, 0);
  dc.SetTextColor(colour::kRed);
  dc.TextOut(column, layout::kSizeRowY,
             std::string(res::kSizeLabel) + vellum::FormatTabletSize(m_maxX, m_maxY, resolution));
  dc.TextOut(column, layout::kResolutionRowY, FormatText(res::kResolutionFormat, resolution));
  dc.SetTextColor(colour::kBlack);
  dc.TextOut(column, layout::kPortRowY, FormatText(res::kPortFormat, static_cast<int>(m_port)));
  if (m_packetLength == vellum::kPlainPacketLength)
    dc.TextOut(column, layout::kTransducerRowY, res::kTransducerLabel);
  dc.TextOut(column, layout::ButtonLineY(m_clientRect), res::kButtonZero);
  dc.TextOut(
      layout::kReadoutX, bottom - layout::kReadoutAboveBottom,
      FormatText(vellum::HasPressure(m_packetLength) ? res::kRangeReadout7 : res::kRangeReadout5,
                 m_maxX, m_maxY));

  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_penCyanWide.get());
  dc.MoveTo(0, bottom - kSeparatorBottom);
  dc.LineTo(right - kSeparatorRight, bottom - kSeparatorBottom);
  dc.LineTo(right - kSeparatorRight, 0);
  dc.MoveTo(right - kSeparatorRight, bottom - kSeparatorBottom);
  dc.LineTo(right, bottom);

  DrawTransducerPicture();
  if (m_frame) m_frame->SetTitle(res::kInfoTitle);
}

void CVellumView::PaintBase(const gdi::RECT& rect) {
  // The first paint's steps up to the layout run before the paint's DC exists: the layout
  // decides the backbuffer's size. OnDraw then finds the layout done.
  if (!m_layoutDone) {
    KeepMaximised();
    ComputeLayout();
  }
  gdi::DC dc(*m_surface);
  dc.FillRect(rect, gdi::StockWhiteBrush());  // the window background
  const gdi::Region clip(rect.left, rect.top, rect.right, rect.bottom);
  dc.SelectClipRgn(&clip);
  OnDraw(dc);
}

void CVellumView::InvalidateAndPaint(const gdi::RECT& rect) {
  PaintBase(rect);
  // What other operations drew for this paint through their own DCs is presented by them; the
  // base picture is shown now, as an immediate update would.
  if (isVisible()) repaint(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void CVellumView::paintEvent(QPaintEvent* event) {
  // The first paint lays the view out and draws the base picture; later exposes only copy.
  if (!m_layoutDone) PaintBase({0, 0, width(), height()});
  // Each rectangle of the region, not its bounding box: a trace segment and a side-panel readout
  // are two small copies.
  std::vector<gdi::RECT> areas;
  areas.reserve(static_cast<size_t>(event->region().rectCount()));
  for (const QRect& r : event->region())
    areas.push_back({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
  gdi::PresentSurface(*this, *m_surface, areas);
}

void CVellumView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RefreshClientOrigin();
  // The platform repaints a resized window whole: the base picture again (and the maximise
  // check). Before the first paint there is nothing to redraw.
  if (m_layoutDone) RepaintWhole();
}

void CVellumView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RefreshClientOrigin();
  if (m_layoutDone) RepaintWhole();
}

void CVellumView::RepaintWhole() {
  // A window grown past the backbuffer (a larger monitor, a higher resolution) gets the base
  // picture there too. The reader may be drawing: the backbuffer grows in place, under its lock.
  m_surface->Grow(width(), height());
  PaintBase({0, 0, width(), height()});
}

void CVellumView::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  RefreshClientOrigin();
}
