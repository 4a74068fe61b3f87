#pragma once
// Helpers shared by the screen tests: a view on a tablet that only answers the probe, and pixel
// checks on the view's backbuffer.

#include <gtest/gtest.h>

#include <QImage>
#include <string>

#include "gdi/Gdi.h"
#include "support/Harness.h"

namespace screens {

inline constexpr gdi::COLORREF kBlack = 0x000000;
inline constexpr gdi::COLORREF kWhite = 0xFFFFFF;
inline constexpr gdi::COLORREF kRed = 0x0000FF;
inline constexpr gdi::COLORREF kCyan = 0xFFFF00;

// A 1024x768 view on a tablet at COMn that answers the probe and then sends nothing: the tests
// feed the view themselves.
struct Rig {
  explicit Rig(int model, int port = 1, int maxX = 5000, int maxY = 3750)
      : vut(test::Tablet{model, maxX, maxY, port}) {}
  TestView& view() { return *vut.view; }
  test::ViewUnderTest& harness() { return vut; }
  uint32_t Mode() { return static_cast<uint32_t>(view().m_mode.load()); }
  void Key(uint32_t virtualKey) { view().OnKeyDown(virtualKey, 1, 0); }
  void EnterMode(uint32_t mode);
  const std::string& Title() { return vut.frame.title_; }
  int Beeps() const { return vut.tone.Count(); }

  test::ViewUnderTest vut;
};

// Reaches `mode` through the keys: F1 to Linear when on the info screen, then F5 (at most a lap).
inline void EnterMode(TestView& view, uint32_t mode) {
  const auto now = [&] { return static_cast<uint32_t>(view.m_mode.load()); };
  if (now() == mode) return;
  if (now() == 0 || mode == 0) view.OnKeyDown(kVkF1, 1, 0);
  for (int i = 0; i < 4 && now() != mode; ++i) view.OnKeyDown(kVkF5, 1, 0);
  ASSERT_EQ(now(), mode) << "screen not reachable";
}

inline void Rig::EnterMode(uint32_t mode) {
  screens::EnterMode(view(), mode);
}

inline gdi::COLORREF Px(TestView& view, int x, int y) {
  return view.Backbuffer().Pixel(x, y);
}

inline void Fill(TestView& view, const gdi::RECT& rect, gdi::COLORREF colour) {
  gdi::DC dc(view.Backbuffer());
  const gdi::Brush brush(colour);
  dc.FillRect(rect, brush);
}

inline QImage Snapshot(TestView& view) {
  std::lock_guard<std::mutex> lock(view.Backbuffer().Lock());
  return view.Backbuffer().Image().copy();
}

// Pixels of `colour` in column x between rows y0 (included) and y1 (excluded).
inline int CountInColumn(TestView& view, int x, int y0, int y1, gdi::COLORREF colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y) n += Px(view, x, y) == colour;
  return n;
}
inline int CountInRow(TestView& view, int y, int x0, int x1, gdi::COLORREF colour) {
  int n = 0;
  for (int x = x0; x < x1; ++x) n += Px(view, x, y) == colour;
  return n;
}

// Number of pixels that differ between two snapshots outside `keep` (right/bottom excluded).
inline int ChangedOutside(const QImage& a, const QImage& b, const gdi::RECT& keep) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const bool inside = x >= keep.left && x < keep.right && y >= keep.top && y < keep.bottom;
      if (!inside && a.pixel(x, y) != b.pixel(x, y)) ++n;
    }
  }
  return n;
}

// Number of pixels that differ inside `area`.
inline int ChangedInside(const QImage& a, const QImage& b, const gdi::RECT& area) {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) n += a.pixel(x, y) != b.pixel(x, y);
  }
  return n;
}

}  // namespace screens
