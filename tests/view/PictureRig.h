#pragma once
// A laid-out view on a tablet that only answers the probe, for the picture, indicator and
// selector tests: they draw and feed the view themselves.

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "gdi/Gdi.h"
#include "support/Harness.h"

namespace pictest {

inline constexpr gdi::COLORREF kBlack = 0x000000;
inline constexpr gdi::COLORREF kWhite = 0xFFFFFF;
inline constexpr gdi::COLORREF kGrey = 0xC0C0C0;
inline constexpr gdi::COLORREF kDarkGrey = 0x606060;
inline constexpr gdi::COLORREF kSentinel = 0x00FF00;  // a colour no picture uses

struct Rig {
  explicit Rig(int model, int width = 1024, int height = 768)
      : vut(test::Tablet{model}, width, height, width, height) {}

  TestView& view() { return *vut; }
  TestView* operator->() { return vut.view.get(); }
  TestView& operator*() { return *vut; }
  gdi::COLORREF Px(int x, int y) { return vut->Backbuffer().Pixel(x, y); }
  void Fill(const gdi::RECT& rect, gdi::COLORREF colour) {
    gdi::DC dc(vut->Backbuffer());
    dc.FillRect(rect, gdi::Brush(colour));
  }
  void White() { Fill({0, 0, vut->ClientRect().right, vut->ClientRect().bottom}, kWhite); }
  // A design point of the picture, in client pixels.
  gdi::POINT At(int dx, int dy) { return vut->DesignToClient(dx, dy); }
  gdi::COLORREF PxAt(int dx, int dy) {
    const gdi::POINT p = At(dx, dy);
    return Px(p.x, p.y);
  }
  QImage Snapshot() {
    std::lock_guard<std::mutex> lock(vut->Backbuffer().Lock());
    return vut->Backbuffer().Image().copy();
  }

  test::ViewUnderTest vut;
};

// Pixels of `colour` inside `area` (right and bottom excluded).
inline int Count(TestView& view, const gdi::RECT& area, gdi::COLORREF colour) {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) n += view.Backbuffer().Pixel(x, y) == colour;
  }
  return n;
}

}  // namespace pictest
