#include <algorithm>
#include <cstdint>
#include <mutex>

#include "gdi/Canvas.h"
#include "gdi/Colour.h"
#include "gdi/FontImpl.h"
#include "gdi/Gdi.h"
#include "gdi/Raster.h"

namespace gdi {

void DC::TextOut(int x, int y, std::string_view text) {
  const Font& font = font_ != nullptr ? *font_ : Font::System();
  const Font::Impl& f = font.impl();
  x = raster::ClampCoord(x);
  y = raster::ClampCoord(y);
  const int width = std::min(font.TextWidth(text), raster::kCoordLimit);
  const QRgb ink = ToQRgb(textColour_);
  std::lock_guard lock(surface_.Lock());
  Canvas cv(surface_.Image(), hasClip_ ? &clip_ : nullptr);
  // The opaque box is the cell: the advances wide, ascent + descent high.
  cv.Fill({x, y, x + width, y + f.cellHeight}, ToQRgb(bkColour_));
  int penX = x;
  for (unsigned char ch : text) {
    const Font::Impl::Glyph& g = f.glyphs[ch];
    if (penX >= cv.Clip().right) break;
    for (const Font::Impl::Run& r : g.runs) {
      cv.Span(y + r.dy, penX + r.dx, penX + r.dx + r.length - 1, ink);
    }
    penX += g.advance;
  }
  dirty_.Add(cv.Touched());
}

}  // namespace gdi
