// The pen trace: one segment per decoded packet, coloured by the button code.
#include <array>

#include "view/Layout.h"
#include "view/VellumView.h"

namespace {

// Indexed by the button code; code 0 ends a stroke and is never drawn.
constexpr std::array<gdi::COLORREF, 8> kTraceColours = {
    colour::kBlack,  // 0
    colour::kWhite,  // 1
    0xFF00FF,        // 2 magenta
    colour::kRed,    // 3
    colour::kCyan,   // 4
    0x00FF00,        // 5 green
    0x00FFFF,        // 6 yellow
    0xFF0000,        // 7 blue
};

}  // namespace

void CVellumView::DrawTraceSegment(vellum::Point point) {
  const int32_t code = m_buttons.load(std::memory_order_relaxed);
  if (code < 1 || code > 7) {
    m_lastPoint = {0, 0};
    return;
  }
  const vellum::TestMode mode = Mode();
  const bool info = mode == vellum::TestMode::kInfo;

  ViewDC dc(*this);
  if (info) dc.SelectClipRgn(m_traceRegion.get());

  // Tablets without pressure get a fixed dot; Linear and the side switch halves draw thin.
  if (m_packetLength == vellum::kPlainPacketLength) {
    m_penWidth.store(5, std::memory_order_relaxed);
  } else if (mode == vellum::TestMode::kLinear || code == 2 || code == 4) {
    m_penWidth.store(1, std::memory_order_relaxed);
  }

  // Code 1 is white on the black test screens and would vanish on the white info screen.
  const gdi::COLORREF ink = (info && code == 1) ? colour::kBlack : kTraceColours[code];
  const gdi::Pen pen(m_penWidth.load(std::memory_order_relaxed), ink);
  const gdi::SelectionGuard keep(dc);  // after the pen: the DC gives it back first
  dc.SelectObject(&pen);

  const gdi::POINT to{point.x, point.y};
  // (0, 0) doubles as "no previous point", so a stroke never joins up to the corner.
  if (m_packetLength == vellum::kPlainPacketLength || m_lastPoint == gdi::POINT{0, 0})
    m_lastPoint = to;
  dc.MoveTo(m_lastPoint);
  dc.LineTo(to);

  m_lastPoint = to;
}
