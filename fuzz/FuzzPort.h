#pragma once
// The line a fuzz input describes, as the tests' in-memory port. Each read takes one control
// byte: 0xF0..0xFF is an empty read, 0xEF a failed read, anything else announces that the next
// byte arrives; where the target asks for marks, 0xE0 and 0xE1 are marks instead (it acts on them
// between two bytes, and the read goes on). The end of the input is a failed read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/MemoryPort.h"

namespace vellum::fuzz {

inline constexpr int kMark0 = -3;  // 0xE0
inline constexpr int kMark1 = -4;  // 0xE1

inline test::MemoryPort FuzzLine(const uint8_t* data, size_t size, bool marks = false) {
  std::vector<int> reads;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t control = data[i];
    if (marks && (control == 0xE0 || control == 0xE1)) {
      reads.push_back(control == 0xE0 ? kMark0 : kMark1);
    } else if (control >= 0xF0) {
      reads.push_back(test::MemoryPort::kEmpty);
    } else if (control == 0xEF || i + 1 == size) {
      reads.push_back(test::MemoryPort::kFail);
    } else {
      reads.push_back(data[++i]);
    }
  }
  return test::MemoryPort(std::move(reads));
}

}  // namespace vellum::fuzz
