// Showing a surface on a widget or a printed page: the one place outside the DC that paints
// with Qt.
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cstdint>

#include "gdi/Gdi.h"

namespace gdi {

void PresentSurface(QPaintDevice& target, const Surface& surface, std::span<const RECT> areas) {
  QPainter painter(&target);
  std::lock_guard<std::mutex> lock(surface.Lock());
  for (const RECT& area : areas) {
    if (area.IsEmpty()) continue;
    const QRect rect(area.left, area.top, area.right - area.left, area.bottom - area.top);
    painter.drawImage(rect, surface.Image(), rect);
  }
}

RECT FitOnPage(int w, int h, int pageW, int pageH) {
  if (w <= 0 || h <= 0 || pageW <= 0 || pageH <= 0) return {};
  // Compare the two aspects without rounding: pageW / w <= pageH / h.
  int fitW = pageW;
  int fitH = pageH;
  if (int64_t{pageW} * h <= int64_t{pageH} * w) {
    fitH = std::max(1, static_cast<int>(int64_t{pageW} * h / w));
  } else {
    fitW = std::max(1, static_cast<int>(int64_t{pageH} * w / h));
  }
  const int left = (pageW - fitW) / 2;
  return {left, 0, left + fitW, fitH};
}

bool PrintImage(QPaintDevice& page, const QImage& picture) {
  if (picture.isNull()) return false;
  QPainter painter;
  if (!painter.begin(&page)) return false;
  const RECT to = FitOnPage(picture.width(), picture.height(), page.width(), page.height());
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  // Else Qt's PDF output may store the picture as a JPEG, which smears one-pixel lines.
  painter.setRenderHint(QPainter::LosslessImageRendering, true);
  painter.drawImage(QRect(to.left, to.top, to.right - to.left, to.bottom - to.top), picture);
  return painter.end();
}

}  // namespace gdi
