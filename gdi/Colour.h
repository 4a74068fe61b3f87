#pragma once
#include <QRgb>

#include "gdi/Gdi.h"

namespace gdi {

// 0x00BBGGRR to the surface's 0xFFRRGGBB.
inline QRgb ToQRgb(COLORREF c) {
  return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
inline COLORREF FromQRgb(QRgb c) {
  return RGB(qRed(c), qGreen(c), qBlue(c));
}

}  // namespace gdi
