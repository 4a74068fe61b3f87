// The backbuffer against the client's size: a client larger than the screen the view was given
// (a second, larger monitor) and a window that grows after the first paint.
#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gdi/Gdi.h"
#include "support/Harness.h"
#include "support/TextCheck.h"

namespace {

using test::TextAt;

constexpr gdi::COLORREF kBlack = 0x000000;
constexpr gdi::COLORREF kWhite = 0xFFFFFF;
constexpr gdi::COLORREF kRed = 0x0000FF;
constexpr gdi::COLORREF kCyan = 0xFFFF00;

gdi::COLORREF Shown(const QImage& image, int x, int y) {
  const QRgb c = image.pixel(x, y);
  return gdi::RGB(uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)));
}

// Regression: the first paint made its DC on the screen-sized backbuffer, then the layout
// replaced the backbuffer with a larger one, and the info screen went into freed memory.
TEST(Backbuffer, ClientLargerThanTheScreenPaintsItsInfoScreen) {
  test::ViewUnderTest v({}, 1300, 1000, 1024, 768);
  ASSERT_TRUE(v->IsLaidOut());
  EXPECT_EQ(v->ClientRect(), (gdi::RECT{0, 0, 1300, 1000}));
  EXPECT_GE(v->Backbuffer().Width(), 1300);
  EXPECT_GE(v->Backbuffer().Height(), 1000);

  // R = 1300, B = 1000: the panel at x 1155, "Button : 0" at y 833, the readout at y 960.
  EXPECT_TRUE(TextAt(*v, 1155, 5, "Tablet Size :5''x3.75''", kRed, kWhite));
  EXPECT_TRUE(TextAt(*v, 1155, 30, "Resolution : 1000LPI", kRed, kWhite));
  EXPECT_TRUE(TextAt(*v, 1155, 55, "Installed on : COM1", kBlack, kWhite));
  EXPECT_TRUE(TextAt(*v, 1155, 833, "Button : 0", kBlack, kWhite));
  EXPECT_TRUE(TextAt(*v, 20, 960,
                     "Current  X:  5000            Current  Y:  3750            Pressed  "
                     "Value:  512",
                     kBlack, kWhite));
  // Separators along y 952 and x 1152, and the diagonal from (1152, 952) to (1300, 1000).
  struct Probe {
    int x, y;
    bool cyan;
  };
  const Probe probes[] = {
      {10, 952, true},   {1100, 952, true}, {600, 945, false},  {600, 959, false},
      {1152, 10, true},  {1152, 900, true}, {1145, 500, false}, {1159, 500, false},
      {1226, 976, true}, {1290, 997, true}, {1226, 966, false},
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(v->Backbuffer().Pixel(p.x, p.y) == kCyan, p.cyan) << "(" << p.x << ", " << p.y << ")";
  }
  EXPECT_EQ(v.frame.title_,
            "Serial  tablet  test  program  ( Version : 1.1 )  >>>>  F1 : Mode , F3 : Clear , "
            "F4 : Exit");
}

// A window that grows past the backbuffer (a larger monitor, a higher resolution) gets the base
// picture there as a resize does, while another thread goes on drawing through its own DCs.
TEST(Backbuffer, WindowGrownPastTheBackbufferGetsTheBasePicture) {
  test::ViewUnderTest v({}, 1024, 738, 1024, 768);
  ASSERT_EQ(v->Backbuffer().Width(), 1024);

  std::atomic<bool> stop{false};
  std::atomic<int> drawn{0};
  std::thread drawer([&] {
    for (int i = 0; !stop.load(); ++i) {
      v->ShowReadout(1, 100 + i % 4000, 3000, 200);
      v->DrawTraceSegment({100 + i % 700, 100 + i % 500});
      drawn.fetch_add(1);
    }
  });
  for (const auto& [w, h] : {std::pair{1100, 800}, {1250, 900}, {1400, 1050}}) {
    v->resize(w, h);
    test::Pump(10);
  }
  while (drawn.load() < 100) test::Pump(1);
  stop.store(true);
  drawer.join();
  v->resize(1400, 1050);
  test::Pump(10);

  EXPECT_GE(v->Backbuffer().Width(), 1400);
  EXPECT_GE(v->Backbuffer().Height(), 1050);
  EXPECT_EQ(v->ClientRect(), (gdi::RECT{0, 0, 1024, 738})) << "the layout stays as it was";
  EXPECT_EQ(v->Backbuffer().Pixel(1300, 1000), kWhite);
  EXPECT_EQ(v->Backbuffer().Pixel(400, 690), kCyan);
  // What the window shows: the background in the new area, not what was there before.
  const QImage shown = v->grab().toImage();
  ASSERT_GE(shown.width(), 1400);
  ASSERT_GE(shown.height(), 1050);
  EXPECT_EQ(Shown(shown, 1300, 1000), kWhite);
  EXPECT_EQ(Shown(shown, 1399, 740), kWhite);
  EXPECT_EQ(Shown(shown, 400, 690), kCyan);
}

}  // namespace
