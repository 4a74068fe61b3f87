// Button indicators: the reader thread repaints the tips and buttons of the transducer picture
// when a packet's button code differs from the one shown last, so a held button costs nothing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "view/PictureSupport.h"
#include "view/VellumView.h"

namespace {

// The four cursor buttons in the order the cursor picture draws them (button values 1 to 4).
using CursorButton = const std::array<gdi::POINT, 4>;

// Up to three button values, in drawing order.
struct ButtonList {
  std::array<int, 3> values{};
  std::size_t count = 0;
  ButtonList() = default;
  ButtonList(std::initializer_list<int> v) {
    for (int x : v) {
      if (count < values.size()) values[count++] = x;
    }
  }
};

// The cursor reports the sum of its pressed buttons' values (1, 2, 3, 4), so 3 to 7 each have
// two readings; the code shown before tells them apart. Returns the buttons to blacken, by value.
ButtonList CursorButtonsFor(int32_t code, int32_t previous) {
  const auto was = [previous](int a, int b) { return previous == a || previous == b; };
  switch (code) {
    case 1:
      return {1};
    case 2:
      return {2};
    case 3:
      if (was(1, 2)) return {1, 2};
      return {3};
    case 4:
      if (was(1, 3)) return {1, 3};
      return {4};
    case 5:
      if (was(1, 4)) return {1, 4};
      if (was(2, 3)) return {2, 3};
      return {};
    case 6:
      if (was(2, 4)) return {2, 4};
      if (was(1, 3)) return {1, 2, 3};
      return {};
    case 7:
      if (previous == 3) return {3, 4};
      if (was(1, 2)) return {1, 2, 4};
      return {};
    default:
      return {};
  }
}

}  // namespace

void CVellumView::ShowStylusButtons(int32_t code) {
  if (code == m_shownButtons.load(std::memory_order_relaxed)) return;
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);

  // Erase the tip (its top edge at design y 345 stays) and put the rocker back to released.
  dc.SelectObject(m_brushWhite.get());
  if (m_stylusTipRegion && m_brushWhite) dc.FillRgn(*m_stylusTipRegion, *m_brushWhite);
  dc.SelectObject(m_brushGrey.get());
  dc.Ellipse(m_rockerRect);
  dc.SelectObject(m_brushWhite.get());
  dc.SelectObject(m_penBlack.get());
  for (std::size_t i = 0; i + 1 < 6; i += 2) {
    dc.MoveTo(m_rockerLines[i]);
    dc.LineTo(m_rockerLines[i + 1]);
  }

  // Bit 0 is the tip, bit 1 the lower rocker half, bit 2 the upper; 6 and 7 never come here
  // from the reader, and anything above 5 leaves the tip erased.
  if (uint32_t(code) <= 5) {
    if (code & 1) {
      DrawStylusTipPressed();
    } else {
      DrawStylusTipReleased();
    }
    if (code & 2) DrawRockerLowerPressed();
    if (code & 4) DrawRockerUpperPressed();
  }

  m_shownButtons.store(code, std::memory_order_relaxed);
}

void CVellumView::DrawStylusTipReleased() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushGrey.get());
  dc.Polygon(m_stylusTipReleased.data(), 7);  // the eighth point is the unused (0, 0)
}

void CVellumView::DrawStylusTipPressed() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushDarkGrey.get());
  dc.Polygon(m_stylusTipPressed.data(), 7);
}

// One half of the rocker pressed: a dark-grey pie from the ray through `from` to the ray through
// `to` (counter-clockwise on the screen), then the half's outer line again in black, which the
// pie covered.
void CVellumView::DrawRockerHalf(gdi::POINT from, gdi::POINT to, gdi::POINT lineStart,
                                 gdi::POINT lineEnd) {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushDarkGrey.get());
  const gdi::RECT& r = m_rockerRect;
  dc.Pie(r.left, r.top, r.right, r.bottom, from.x, from.y, to.x, to.y);
  dc.SelectObject(m_penBlack.get());
  dc.MoveTo(lineStart);
  dc.LineTo(lineEnd);
}

// From the left end of the middle rocker line to its right end: the lower half.
void CVellumView::DrawRockerLowerPressed() {
  DrawRockerHalf(m_rockerLines[3], m_rockerLines[2], m_rockerLines[4], m_rockerLines[5]);
}

void CVellumView::DrawRockerUpperPressed() {
  DrawRockerHalf(m_rockerLines[2], m_rockerLines[3], m_rockerLines[0], m_rockerLines[1]);
}

void CVellumView::ShowTwoButtonStylusButtons(int32_t code) {
  if (code == m_shownButtons.load(std::memory_order_relaxed)) return;
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushWhite.get());
  if (m_buttonStylusTipRegion && m_brushWhite) {
    dc.FillRgn(*m_buttonStylusTipRegion, *m_brushWhite);
  }
  dc.SelectObject(m_penBlack.get());

  // Bit 0 is the tip, bit 1 the side button; a stylus with one side button has no bit 2, and
  // such codes leave the tip erased.
  if (uint32_t(code) <= 3) {
    const gdi::Brush* side = (code & 2) ? m_brushWhite.get() : m_brushBlack.get();
    const gdi::Brush* tip = (code & 1) ? m_brushWhite.get() : m_brushBlack.get();
    dc.SelectObject(side);
    pictures::DrawTwoButtonSideButton(*this, dc, side);
    if (tip != side) dc.SelectObject(tip);
    if (code & 1) {
      dc.Polygon(m_tip2Pressed.data(), int(m_tip2Pressed.size()));
    } else {
      dc.Polygon(m_tip2Released.data(), int(m_tip2Released.size()));
    }
  }

  m_shownButtons.store(code, std::memory_order_relaxed);
}

void CVellumView::ShowThreeButtonStylusButtons(int32_t code) {
  if (code == m_shownButtons.load(std::memory_order_relaxed)) return;
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushWhite.get());
  if (m_buttonStylusTipRegion && m_brushWhite) {
    dc.FillRgn(*m_buttonStylusTipRegion, *m_brushWhite);
  }
  dc.SelectObject(m_penBlack.get());

  // A side button is black when released and white when pressed; the pressed tip is the short
  // white triangle. Each code's shapes go in a fixed order, one brush per group.
  // Upper and lower ellipse, upper and lower button polygon, long and short tip.
  enum Shape { UE, LE, U, L, T, t };
  struct Group {
    bool white;
    std::initializer_list<Shape> shapes;
  };
  const auto draw = [&](std::initializer_list<Group> groups) {
    for (const Group& g : groups) {
      dc.SelectObject(g.white ? m_brushWhite.get() : m_brushBlack.get());
      for (Shape s : g.shapes) {
        switch (s) {
          case UE:
            dc.Ellipse(pictures::DesignRect(*this, {10, 180}, {20, 190}));
            break;
          case LE:
            dc.Ellipse(pictures::DesignRect(*this, {10, 220}, {20, 230}));
            break;
          case U:
            dc.Polygon(m_upperButton3.data(), int(m_upperButton3.size()));
            break;
          case L:
            dc.Polygon(m_lowerButton3.data(), int(m_lowerButton3.size()));
            break;
          case T:
            dc.Polygon(m_tip3Released.data(), int(m_tip3Released.size()));
            break;
          case t:
            dc.Polygon(m_tip3Pressed.data(), int(m_tip3Pressed.size()));
            break;
        }
      }
    }
  };
  constexpr bool kBlack = false, kWhite = true;
  switch (code) {
    case 0:
      draw({{kBlack, {UE, LE, L, U, T}}});
      break;
    case 1:
      draw({{kBlack, {UE, LE, L, U}}, {kWhite, {t}}});
      break;
    case 2:
      draw({{kBlack, {UE, U, T}}, {kWhite, {L, LE}}});
      break;
    case 3:
      draw({{kBlack, {UE, U}}, {kWhite, {t, L, LE}}});
      break;
    case 4:
      draw({{kBlack, {LE, L, T}}, {kWhite, {U, UE}}});
      break;
    case 5:
      draw({{kBlack, {LE, L}}, {kWhite, {t, U, UE}}});
      break;
    case 6:
      draw({{kWhite, {UE, LE, L, U}}, {kBlack, {T}}});
      break;
    case 7:
      draw({{kWhite, {UE, LE, L, U, t}}});
      break;
    default:
      break;
  }

  m_shownButtons.store(code, std::memory_order_relaxed);
}

void CVellumView::ShowCursorButtons(int32_t code) {
  const int32_t previous = m_shownButtons.load(std::memory_order_relaxed);
  if (code == previous) return;
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);

  // No pen of our own: the DC's default black pen outlines the buttons.
  const std::array<CursorButton*, 4> buttons{&m_cursorButton1, &m_cursorButton2, &m_cursorButton3,
                                             &m_cursorButton4};
  dc.SelectObject(m_brushGrey.get());
  if (uint32_t(code) <= 7) {
    for (CursorButton* b : buttons) dc.Polygon(b->data(), int(b->size()));
  }
  if (code >= 1 && code <= 7) {
    dc.SelectObject(m_brushBlack.get());
    const ButtonList black = CursorButtonsFor(code, previous);
    for (std::size_t i = 0; i < black.count; ++i) {
      CursorButton* b = buttons[std::size_t(black.values[i] - 1)];
      dc.Polygon(b->data(), int(b->size()));
    }
  }

  m_shownButtons.store(code, std::memory_order_relaxed);
}
