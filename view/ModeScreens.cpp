// The four test screens: the title and decorations drawn on each paint, and the live Shake and
// Keystroke updates made by the reader thread.
#include <string>

#include "base/MulDiv.h"
#include "res/Strings.h"
#include "tablet/TabletSize.h"
#include "view/Layout.h"
#include "view/Text.h"
#include "view/VellumView.h"

using colour::kBlack;
using colour::kWhite;

namespace {

// Three arrows from the top-left corner: right, down, and diagonally down-right.
void DrawLinearArrows(gdi::DC& dc, int w, int h) {
  const int left = w / 30, right = w / 5, top = h / 25, bottom = h / 4;
  dc.MoveTo(left, top);
  dc.LineTo(right, top);
  dc.LineTo(right - 10, top - 10);
  dc.MoveTo(right, top);
  dc.LineTo(right - 10, top + 10);

  dc.MoveTo(left, top);
  dc.LineTo(left, bottom);
  dc.LineTo(left + 10, bottom - 10);
  dc.MoveTo(left, bottom);
  dc.LineTo(left - 10, bottom - 10);

  dc.MoveTo(left, top);
  dc.LineTo(right, bottom);
  dc.LineTo(right, bottom - 10);
  dc.MoveTo(right, bottom);
  dc.LineTo(right - 10, bottom);
}

// Where a digit goes inside its circle.
gdi::POINT DigitPosition(const gdi::RECT& r, int cellSize) {
  return {(r.left + r.right) / 2 - cellSize / 2 - 3, (r.top + r.bottom) / 2 - cellSize / 2};
}

// The Shake text starts half its length of cells left of the middle, its top on the mid-line.
gdi::POINT ShakeTextPosition(const gdi::RECT& client, int cellSize, size_t length) {
  const int half = static_cast<int>(length / 2);
  return {(client.left + client.right) / 2 - half * cellSize, (client.top + client.bottom) / 2};
}

}  // namespace

void CVellumView::DrawModeHeader() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  const int resolution = vellum::ResolutionLpi(m_packetLength);
  std::string title = res::kTitleHead;
  title += vellum::FormatTabletSize(m_maxX, m_maxY, resolution);
  title += res::kTitleResolutionLabel;
  title += FormatText(res::kTitleResolutionFormat, resolution);
  title += res::kTitlePortLabel;
  title += FormatText(res::kTitlePortFormat, static_cast<int>(m_port));

  switch (Mode()) {
    case vellum::TestMode::kLinear: {
      title += res::kSuffixLinear;
      dc.SelectObject(m_penCyan.get());
      DrawLinearArrows(dc, m_clientRect.right, m_clientRect.bottom);
      break;
    }
    case vellum::TestMode::kPressure:
      title += res::kSuffixPressure;
      break;
    case vellum::TestMode::kShake: {
      title += res::kSuffixShake;
      dc.SetTextColor(kWhite);
      dc.SetBkColor(kBlack);
      dc.SelectObject(m_font.get());
      const std::string zeros = FormatText(res::kShakeFormat, 0, 0);
      const gdi::POINT at = ShakeTextPosition(m_clientRect, m_cellSize, zeros.size());
      dc.TextOut(at.x, at.y, zeros);
      break;
    }
    case vellum::TestMode::kKeystroke:
      title += res::kSuffixKeystroke;
      DrawPlainKeypad(dc);
      break;
    default:
      break;
  }
  if (m_frame != nullptr) m_frame->SetTitle(title);
}

void CVellumView::DrawPlainKeypad(gdi::DC& dc) {
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_penWhite2.get());
  dc.SelectObject(m_brushBlack.get());
  for (const gdi::RECT& circle : m_keyCircles) dc.Ellipse(circle);

  dc.SelectObject(m_font.get());
  dc.SetTextColor(kWhite);
  dc.SetBkColor(kBlack);
  for (int k = 1; k <= static_cast<int>(m_keyCircles.size()); ++k) {
    const gdi::POINT at = DigitPosition(m_keyCircles[k - 1], m_cellSize);
    dc.TextOut(at.x, at.y, FormatText(res::kDigitFormat, k));
  }
}

void CVellumView::ShowKeystroke(int32_t code) {
  if (code == m_shownButtons.load(std::memory_order_relaxed)) return;
  const bool lit = code > 0 && code <= static_cast<int32_t>(m_keyCircles.size());
  {
    ViewDC dc(*this);
    const gdi::SelectionGuard keep(dc);
    DrawPlainKeypad(dc);  // erases the earlier highlight
    if (lit) {
      const gdi::RECT& circle = m_keyCircles[code - 1];
      dc.SelectObject(m_penRed.get());
      dc.SelectObject(m_brushWhite.get());
      dc.Ellipse(circle);
      dc.SelectObject(m_font.get());
      dc.SetTextColor(kBlack);
      dc.SetBkColor(kWhite);
      const gdi::POINT at = DigitPosition(circle, m_cellSize);
      dc.TextOut(at.x, at.y, FormatText(res::kDigitFormat, code));
    }
  }  // released before the tone, so the highlight is on screen while it sounds
  if (lit && m_tone != nullptr) m_tone->Beep(200, 30);
  m_shownButtons.store(code, std::memory_order_relaxed);
}

void CVellumView::ShowShake(int32_t x, int32_t y) {
  if (x == m_shakeShown.x && y == m_shakeShown.y) return;
  {
    ViewDC dc(*this);
    const gdi::SelectionGuard keep(dc);
    const gdi::Region band(m_clientRect.left, vellum::MulDiv(m_clientRect.bottom, 1, 3),
                           m_clientRect.right, vellum::MulDiv(m_clientRect.bottom, 2, 3));
    if (m_brushBlack) dc.FillRgn(band, *m_brushBlack);

    dc.SelectObject(m_font.get());
    const std::string text = FormatText(res::kShakeFormat, x, y);
    dc.SetTextColor(kWhite);
    dc.SetBkColor(kBlack);
    const gdi::POINT at = ShakeTextPosition(m_clientRect, m_cellSize, text.size());
    dc.TextOut(at.x, at.y, text);
  }  // released before the tone, so the numbers are on screen while it sounds
  if (m_tone != nullptr) m_tone->Beep(200, 5);
  m_shakeShown = {x, y};
}
