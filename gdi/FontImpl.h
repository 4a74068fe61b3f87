#pragma once
// What a font keeps after creation: metrics and one-bit glyph images for every byte, so that
// drawing text touches neither QFont nor a font engine (both are unsafe to share between
// threads) and costs only span fills.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gdi/Gdi.h"

namespace gdi {

struct Font::Impl {
  // One horizontal run of glyph pixels, relative to the glyph's cell origin (top-left).
  struct Run {
    int16_t dx, dy, length;
  };
  struct Glyph {
    int advance = 0;
    std::vector<Run> runs;
  };

  std::string family;  // the family actually used, as the font database reports it
  int pixelSize = 0;
  int stretch = 100;
  int cellHeight = 0;
  int ascent = 0;  // baseline below the cell top
  int averageCharWidth = 0;
  std::array<Glyph, 256> glyphs;
};

}  // namespace gdi
