#include "sim/platform/claims.h"

namespace sim::platform {
namespace {

constexpr uint64_t kLowRamEnd = 0xA0000;  // conventional memory
constexpr uint64_t kHighRamStart = 0x100000;

bool Overlap(uint64_t aStart, uint64_t aLength, uint64_t bStart, uint64_t bLength) {
  return aLength != 0 && bLength != 0 && aStart < bStart + bLength && bStart < aStart + aLength;
}

}  // namespace

bool Claims::Conflicts(const VIDEO_ACCESS_RANGE& range) const {
  const auto start = static_cast<uint64_t>(range.RangeStart.QuadPart);
  const uint64_t length = range.RangeLength;
  for (const VIDEO_ACCESS_RANGE& h : held_) {
    if (h.RangeInIoSpace == range.RangeInIoSpace && !(h.RangeShareable && range.RangeShareable) &&
        Overlap(start, length, static_cast<uint64_t>(h.RangeStart.QuadPart), h.RangeLength)) {
      return true;
    }
  }
  // I/O ranges and memory ranges live in separate spaces; RAM and the other
  // devices here are all memory.
  if (range.RangeInIoSpace) return false;
  if (Overlap(start, length, 0, kLowRamEnd)) return true;
  if (ramTop_ > kHighRamStart && Overlap(start, length, kHighRamStart, ramTop_ - kHighRamStart)) {
    return true;
  }
  for (const Extent& e : foreign_) {
    if (Overlap(start, length, e.start, e.length)) return true;
  }
  return false;
}

VP_STATUS Claims::Verify(std::span<const VIDEO_ACCESS_RANGE> ranges) {
  for (const auto& range : ranges) {
    if (Conflicts(range)) return ERROR_INVALID_PARAMETER;
  }
  driver_.assign(ranges.begin(), ranges.end());
  return NO_ERROR;
}

}  // namespace sim::platform
