#pragma once
#include <cstdint>

namespace vellum {

// a * b / c with a 64-bit product, rounded to nearest with halves away from zero.
// Returns -1 when c is 0 or the quotient does not fit in 32 bits (the platform's contract,
// which callers rely on: ranges are never 0 here).
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

}  // namespace vellum
