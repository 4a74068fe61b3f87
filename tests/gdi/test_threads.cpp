// Two threads drawing through their own DCs on one surface while a third presents it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "Pixels.h"

namespace gdi::test {
namespace {

void DrawEverything(Surface& s, const Font& font, const Pen& wide, const Brush& grey, int seed,
                    const std::atomic<bool>& stop, RECT* dirty) {
  DC dc(s);
  Region clip(0, 0, 500, 350);
  dc.SelectClipRgn(&clip);
  for (int i = seed; !stop.load(std::memory_order_relaxed); i += 7) {
    const int x = (i * 37) % 600, y = (i * 53) % 400;
    dc.SelectObject(&wide);
    dc.MoveTo(x, y);
    dc.LineTo(y, x % 400);
    dc.SelectObject(&StockBlackPen());
    dc.SelectObject(&grey);
    dc.Ellipse(x, y, x + 30, y + 30);
    dc.Pie(y, x % 400, y + 40, x % 400 + 20, 0, 0, 600, 400);
    const POINT tri[] = {{x, y}, {x + 20, y + 5}, {x + 3, y + 25}};
    dc.Polygon(tri, 3);
    const Font* previous = dc.SelectObject(&font);
    dc.TextOut(x, y, "Button : 7");
    dc.SelectObject(previous);
    dc.TextOut(y, x % 400, "x");
  }
  *dirty = dc.DirtyRect();
}

TEST(TwoThreads, DrawAtOnceForASecond) {
  Surface s(640, 480);
  auto font = Font::Create(24, 24, "Microsoft Sans Serif");
  (void)Font::System();  // made on this thread, as the view's first paint does
  const Pen wide(9, kRed);
  const Brush grey(kGrey);
  std::atomic<bool> stop{false};
  RECT d1{}, d2{};
  std::thread a(DrawEverything, std::ref(s), std::cref(*font), std::cref(wide), std::cref(grey), 1,
                std::cref(stop), &d1);
  std::thread b(DrawEverything, std::ref(s), std::cref(*font), std::cref(wide), std::cref(grey), 2,
                std::cref(stop), &d2);
  // Presentation reads under the lock, as the view does.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  uint64_t sum = 0;
  while (std::chrono::steady_clock::now() < end) {
    std::lock_guard lock(s.Lock());
    const QImage& img = s.Image();
    sum += img.constScanLine(240)[100];
  }
  stop = true;
  a.join();
  b.join();
  (void)sum;
  EXPECT_FALSE(d1.IsEmpty());
  EXPECT_FALSE(d2.IsEmpty());
  EXPECT_LE(InkBounds(s).right, 500);
  EXPECT_LE(InkBounds(s).bottom, 350);
}

}  // namespace
}  // namespace gdi::test
