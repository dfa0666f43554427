// Checked arithmetic on the lengths and offsets that callers, stored state
// and the option ROM hand the driver.
#pragma once

#include <cstdint>

#include "miniport/videoport.h"

// Whether length bytes from offset lie inside total bytes. The end is
// computed in 64 bits, so that no sum of 32-bit values wraps back into range.
static inline BOOLEAN RangeFits(uint64_t offset, uint64_t length, uint64_t total) {
  return offset + length <= total;
}
