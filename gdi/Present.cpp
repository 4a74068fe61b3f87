// Showing a surface on a widget: the one place outside the DC that paints with Qt.
#include <QPainter>
#include <QPaintDevice>

#include "gdi/Gdi.h"

namespace gdi {

void PresentSurface(QPaintDevice& target, const Surface& surface, const RECT& area) {
  if (area.IsEmpty()) return;
  const QRect rect(area.left, area.top, area.right - area.left, area.bottom - area.top);
  QPainter painter(&target);
  std::lock_guard<std::mutex> lock(surface.Lock());
  painter.drawImage(rect, surface.Image(), rect);
}

}  // namespace gdi
