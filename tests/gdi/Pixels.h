#pragma once
// Reading a surface back in tests.

#include <string>
#include <vector>

#include "gdi/Gdi.h"

namespace gdi::test {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kGrey = 0xC0C0C0;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;

// Bounding box of every pixel that is not `background` (right and bottom exclusive).
inline RECT InkBounds(const Surface& s, COLORREF background = kWhite) {
  RECT r{};
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) {
      if (s.Pixel(x, y) != background) r = UnionRect(r, {x, y, x + 1, y + 1});
    }
  }
  return r;
}

inline int Count(const Surface& s, COLORREF colour) {
  int n = 0;
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) n += s.Pixel(x, y) == colour;
  }
  return n;
}

// Rows of the rectangle as text, '.' for `background` and '#' for anything else: failures print
// as pictures.
inline std::vector<std::string> Art(const Surface& s, RECT r, COLORREF background = kWhite) {
  std::vector<std::string> rows;
  for (int y = r.top; y < r.bottom; ++y) {
    std::string row;
    for (int x = r.left; x < r.right; ++x) row += s.Pixel(x, y) == background ? '.' : '#';
    rows.push_back(row);
  }
  return rows;
}

inline std::vector<POINT> InkPixels(const Surface& s, COLORREF background = kWhite) {
  std::vector<POINT> out;
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) {
      if (s.Pixel(x, y) != background) out.push_back({x, y});
    }
  }
  return out;
}

}  // namespace gdi::test
