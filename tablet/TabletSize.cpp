#include "tablet/TabletSize.h"

#include <cstdio>

namespace vellum {
namespace {

// One side. A remainder of zero or below prints the truncated quotient, so a negative range
// that is not a multiple (no tablet reports one) prints as an integer too.
void AppendSide(std::string& out, int32_t range, int32_t resolution) {
  const double inchesPerCount = 1.0 / double(resolution);
  char text[64];
  if (range % resolution > 0) {
    std::snprintf(text, sizeof text, "%0.2f''", double(range) * inchesPerCount);
  } else {
    std::snprintf(text, sizeof text, "%d''", int(double(range) * inchesPerCount));
  }
  out += text;
}

}  // namespace

std::string FormatTabletSize(int32_t xRange, int32_t yRange, int32_t resolution) {
  if (resolution <= 0) return {};
  std::string size;
  AppendSide(size, xRange, resolution);
  size += 'x';
  AppendSide(size, yRange, resolution);
  return size;
}

}  // namespace vellum
