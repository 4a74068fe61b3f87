#include "base/MulDiv.h"

#include <cstdlib>
#include <limits>

namespace vellum {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  // |a * b| < 2^62 and |c| <= 2^31, so neither the product nor the rounding step can overflow.
  const int64_t product = int64_t(a) * int64_t(b);
  const uint64_t magnitude = uint64_t(std::llabs(product));
  const uint64_t divisor = uint64_t(std::llabs(int64_t(c)));
  uint64_t quotient = magnitude / divisor;
  if (2 * (magnitude % divisor) >= divisor) ++quotient;
  const bool negative = (product < 0) != (c < 0);
  const int64_t result = negative ? -int64_t(quotient) : int64_t(quotient);
  if (result > std::numeric_limits<int32_t>::max() ||
      result < std::numeric_limits<int32_t>::min()) {
    return -1;
  }
  return int32_t(result);
}

}  // namespace vellum
