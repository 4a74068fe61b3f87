#pragma once
#include <cstdint>
#include <string>

namespace vellum {

// The active area in inches, e.g. "5''x3.75''": each side an integer when its range is a
// multiple of the resolution, else two decimals. '' is the inch mark.
// REQUIRES: resolution > 0.
std::string FormatTabletSize(int32_t xRange, int32_t yRange, int32_t resolution);

}  // namespace vellum
