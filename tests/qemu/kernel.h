// QEMU's deviations from the VGA documentation that the kernel's battery
// accepts (qemu_deviations.cpp).
#pragma once

#include <cstdint>

namespace qemu {

// Which of QEMU's VGA models a deviation shows on.
enum Model : uint8_t { kStd = 1, kCirrus = 2, kBoth = 3 };

// Battery reads on which QEMU gives another value than the VGA
// documentation: the row (the start of its name, which only that row has),
// the reads' numbers in it (from 1), QEMU's value; why, in a comment.
struct Deviation {
  uint8_t models;
  const char* row;  // a prefix of the row's name
  uint8_t first, last;
  uint8_t qemu;
};

extern const Deviation kDeviations[];  // ends with a null row

}  // namespace qemu
