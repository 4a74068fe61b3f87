// The transducer pictures of the info screen's side panel and the geometry they share with the
// button indicators. Every drawing opens its own DC, so it runs on either thread.
#include <array>
#include <cstddef>
#include <memory>

#include "view/PictureGeometry.h"
#include "view/PictureSupport.h"
#include "view/VellumView.h"

using pictures::DesignArc;
using pictures::DesignLine;
using pictures::DesignPolygon;
using pictures::DesignPolylineTo;

gdi::POINT CVellumView::DesignToClient(int dx, int dy) const {
  return picture::Placement{m_pictureOrigin, m_scaleX, m_scaleY}(dx, dy);
}

void CVellumView::LayoutTransducerPicture() {
  m_pictureOrigin = picture::PictureOrigin(m_packetLength, m_clientRect.right, m_clientRect.bottom);
  const picture::Placement at{m_pictureOrigin, m_scaleX, m_scaleY};
  if (m_packetLength == vellum::kPlainPacketLength) {
    const picture::FiveByteShapes s = picture::LayoutFiveByte(at);
    m_buttonStylusTipRegion = pictures::MakeRegion(s.buttonStylusTipRegion);
    m_tip2Pressed = s.tip2Pressed;
    m_tip2Released = s.tip2Released;
    m_tip3Pressed = s.tip3Pressed;
    m_tip3Released = s.tip3Released;
    m_lowerButton3 = s.lowerButton3;
    m_upperButton3 = s.upperButton3;
    m_cursorButton1 = s.cursorButton1;
    m_cursorButton2 = s.cursorButton2;
    m_cursorButton3 = s.cursorButton3;
    m_cursorButton4 = s.cursorButton4;
  } else {
    const picture::SevenByteShapes s = picture::LayoutSevenByte(at);
    m_stylusTipRegion = pictures::MakeRegion(s.stylusTipRegion);
    m_stylusTipReleased = s.stylusTipReleased;
    m_stylusTipPressed = s.stylusTipPressed;
    m_rockerRect = s.rockerRect;
    m_rockerLines = s.rockerLines;
  }
}

void CVellumView::DrawTransducerPicture() {
  if (vellum::HasPressure(m_packetLength)) {
    DrawPressureStylus();
  } else if (m_packetLength == vellum::kPlainPacketLength) {
    switch (m_transducer.load(std::memory_order_relaxed)) {
      case vellum::Transducer::kTwoButtonStylus:
        DrawTwoButtonStylus();
        break;
      case vellum::Transducer::kThreeButtonStylus:
        DrawThreeButtonStylus();
        break;
      case vellum::Transducer::kFourButtonCursor:
        DrawFourButtonCursor();
        break;
      default:
        break;
    }
  }
}

void CVellumView::DrawPressureStylus() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_penBlack.get());

  // The barrel: cross lines at 5, 255 and 305 and the tapered end at 345.
  dc.MoveTo(DesignToClient(-7, 0));
  DesignPolylineTo<19>(dc, *this,
                       {{{-7, 5},
                         {-10, 5},
                         {-15, 255},
                         {-15, 305},
                         {-4, 345},
                         {-3, 345},
                         {3, 345},
                         {-4, 345},
                         {4, 345},
                         {15, 305},
                         {-15, 305},
                         {15, 305},
                         {15, 255},
                         {-15, 255},
                         {15, 255},
                         {10, 5},
                         {-10, 5},
                         {7, 5},
                         {7, 0}}});
  DesignArc(dc, *this, {-7, -7}, {8, 7}, {8, 0}, {-7, 1});  // the dome

  // The pocket clip.
  DesignLine(dc, *this, 10, 15, 6, 15);
  DesignLine(dc, *this, -6, 15, -10, 15);
  DesignArc(dc, *this, {-6, 10}, {6, 20}, {6, 15}, {-6, 16});
  DesignLine(dc, *this, -6, 15, -4, 47);
  DesignLine(dc, *this, 6, 15, 3, 47);
  DesignArc(dc, *this, {-6, 41}, {6, 105}, {-6, 25}, {6, 25});  // open at the top

  dc.SelectObject(m_brushGrey.get());
  dc.Ellipse(m_rockerRect);
  dc.Polygon(m_stylusTipReleased.data(), 7);
  dc.SelectObject(m_brushWhite.get());
  for (std::size_t i = 0; i + 1 < 6; i += 2) {
    dc.MoveTo(m_rockerLines[i]);
    dc.LineTo(m_rockerLines[i + 1]);
  }

  // The grip.
  DesignLine(dc, *this, 0, 268, 0, 303);
  DesignLine(dc, *this, -8, 268, -8, 303);
  DesignLine(dc, *this, 7, 268, 7, 303);
}

void CVellumView::DrawFourButtonCursor() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushWhite.get());
  const std::unique_ptr<gdi::Region> top = pictures::MakeRegion(*this, {-30, -20}, {80, 50});
  const std::unique_ptr<gdi::Region> bottom = pictures::MakeRegion(*this, {-5, 175}, {55, 210});
  dc.SelectObject(m_penBlack.get());

  // The body: an ellipse with its top cut off above the lens housing and a gap at the bottom.
  dc.Ellipse(pictures::DesignRect(*this, {-30, -15}, {80, 190}));
  if (m_brushWhite) {
    dc.FillRgn(*top, *m_brushWhite);
    dc.FillRgn(*bottom, *m_brushWhite);
  }

  // The lens housing and the line across the body.
  dc.MoveTo(DesignToClient(0, 0));
  DesignPolylineTo<6>(dc, *this, {{{50, 0}, {65, 50}, {75, 50}, {-25, 50}, {-15, 50}, {0, 0}}});
  dc.Ellipse(pictures::DesignRect(*this, {1, 1}, {50, 50}));
  dc.Ellipse(pictures::DesignRect(*this, {4, 4}, {47, 47}));
  DesignLine(dc, *this, 15, 15, 35, 35);  // cross-hair
  DesignLine(dc, *this, 15, 35, 35, 15);
  DesignLine(dc, *this, -3, 175, 53, 175);  // lower edge of the body

  dc.SelectObject(m_brushGrey.get());
  for (const auto* button :
       {&m_cursorButton1, &m_cursorButton2, &m_cursorButton3, &m_cursorButton4}) {
    dc.Polygon(button->data(), int(button->size()));
  }
}

void CVellumView::DrawThreeButtonStylus() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushWhite.get());
  dc.SelectObject(m_penBlack.get());

  // The barrel and the tapered end.
  dc.MoveTo(DesignToClient(0, 0));
  DesignPolylineTo<5>(dc, *this, {{{0, 240}, {10, 285}, {20, 285}, {30, 240}, {30, -1}}});
  DesignArc(dc, *this, {0, -14}, {31, 16}, {30, 0}, {1, 0});  // the dome
  for (int y : {5, 10, 15, 140, 235}) DesignLine(dc, *this, 0, y, 30, y);

  // Upper side button: the upper ellipse with the upper polygon over its lower half; lower side
  // button: the lower polygon with the lower ellipse below it.
  dc.SelectObject(m_brushBlack.get());
  dc.Polygon(m_tip3Released.data(), int(m_tip3Released.size()));
  dc.Ellipse(pictures::DesignRect(*this, {10, 180}, {20, 190}));
  dc.Ellipse(pictures::DesignRect(*this, {10, 220}, {20, 230}));
  dc.Polygon(m_lowerButton3.data(), int(m_lowerButton3.size()));
  dc.Polygon(m_upperButton3.data(), int(m_upperButton3.size()));
}

void CVellumView::DrawTwoButtonStylus() {
  ViewDC dc(*this);
  const gdi::SelectionGuard keep(dc);
  dc.SelectObject(m_brushWhite.get());
  dc.SelectObject(m_penBlack.get());

  // The closed barrel outline and its rings.
  dc.MoveTo(DesignToClient(0, 0));
  DesignPolylineTo<6>(dc, *this, {{{0, 255}, {5, 285}, {25, 285}, {30, 255}, {30, 0}, {0, 0}}});
  for (int y : {10, 15, 20, 25, 30, 35, 240, 245, 250, 255}) DesignLine(dc, *this, 0, y, 30, y);

  // The side-switch housing.
  dc.SelectObject(m_brushGrey.get());
  DesignPolygon<8>(
      dc, *this,
      {{{-1, 182}, {-1, 232}, {10, 217}, {20, 217}, {31, 232}, {31, 182}, {20, 167}, {10, 167}}});

  dc.SelectObject(m_brushBlack.get());
  dc.Polygon(m_tip2Released.data(), int(m_tip2Released.size()));
  pictures::DrawTwoButtonSideButton(*this, dc, m_brushBlack.get());
}
