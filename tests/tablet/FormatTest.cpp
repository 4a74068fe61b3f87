#include <gtest/gtest.h>

#include <climits>

#include "base/MulDiv.h"
#include "tablet/TabletSize.h"

namespace vellum {
namespace {

TEST(FormatTabletSize, Examples) {
  struct Row {
    int x, y, resolution;
    const char* text;
  };
  for (const Row& r : {Row{5000, 3750, 1000, "5''x3.75''"}, Row{9000, 6000, 1000, "9''x6''"},
                       Row{2500, 2250, 1000, "2.50''x2.25''"}, Row{2500, 2250, 500, "5''x4.50''"},
                       Row{3000, 2500, 500, "6''x5''"}, Row{9000, 3750, 500, "18''x7.50''"},
                       Row{-2500, 2250, 1000, "-2''x2.25''"}}) {
    EXPECT_EQ(FormatTabletSize(r.x, r.y, r.resolution), r.text);
  }
  EXPECT_EQ(FormatTabletSize(INT_MAX, INT_MIN, 1000), "2147483.65''x-2147483''");
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  struct Row {
    int32_t a, b, c, expected;
  };
  for (const Row& r :
       {Row{2500, 1024, 5000, 512}, Row{1, 1024, 5000, 0}, Row{3, 1024, 5000, 1},
        Row{3750, 768, 3750, 768}, Row{5, 1, 2, 3}, Row{-5, 1, 2, -3}, Row{5, 1, -2, -3},
        Row{-5, -1, 2, 3}, Row{7, 1, 2, 4}, Row{1, 1, 3, 0}, Row{2, 1, 3, 1}, Row{511, 50, 512, 50},
        Row{1, 1, 0, -1}, Row{INT_MAX, INT_MAX, 1, -1}, Row{INT_MIN, 1, -1, -1},
        Row{INT_MIN, 1, 1, INT_MIN}, Row{INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        Row{INT_MIN, INT_MIN, INT_MIN, INT_MIN}}) {
    EXPECT_EQ(vellum::MulDiv(r.a, r.b, r.c), r.expected) << r.a << "*" << r.b << "/" << r.c;
  }
}

}  // namespace
}  // namespace vellum
