#pragma once
// Checks a TextOut of the view against a reference drawing of the expected text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "gdi/Gdi.h"
#include "tests/support/TestView.h"

namespace test {

// The text box of `text` in the system font at (x, y) on the view's backbuffer matches a
// reference drawing in `colour` on `background`, up to the backbuffer's right edge.
inline ::testing::AssertionResult TextAt(TestView& view, int x, int y, const std::string& text,
                                         gdi::COLORREF colour, gdi::COLORREF background = 0) {
  const gdi::Font& font = gdi::Font::System();
  const int w = font.TextWidth(text);
  const int h = font.CellHeight();
  gdi::Surface reference(x + w + 2, y + h + 2, background);
  {
    gdi::DC dc(reference);
    dc.SetTextColor(colour);
    dc.TextOut(x, y, text);
  }
  // Text running past the client's right edge is cut there, as on the screen.
  const int right = std::min(x + w, view.Backbuffer().Width());
  int differing = 0;
  for (int yy = y; yy < y + h; ++yy) {
    for (int xx = x; xx < right; ++xx) {
      differing += view.Backbuffer().Pixel(xx, yy) != reference.Pixel(xx, yy);
    }
  }
  if (differing == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\" at (" << x << ", " << y
                                       << "): " << differing << " of " << w * h << " pixels differ";
}

}  // namespace test
