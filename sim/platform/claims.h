// The machine's resource map as VideoPortVerifyAccessRanges sees it: system
// RAM, other devices' claims, and the driver's own claim, which each
// successful call replaces as a whole. Once a find-adapter call succeeds its
// claim belongs to that device, and the next device of the driver (another
// registration's) meets it as a conflict.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "miniport/videoport.h"

namespace sim::platform {

class Claims {
 public:
  explicit Claims(uint32_t ramTop) : ramTop_(ramTop) {}

  // NO_ERROR and the set becomes the driver's claim, or ERROR_INVALID_PARAMETER
  // and the previous claim stays.
  VP_STATUS Verify(std::span<const VIDEO_ACCESS_RANGE> ranges);
  void AddForeign(uint64_t start, uint32_t length) { foreign_.push_back({start, length}); }
  const std::vector<VIDEO_ACCESS_RANGE>& Driver() const { return driver_; }
  // The driver's claim stays with the device that made it.
  void Hold() { held_.insert(held_.end(), driver_.begin(), driver_.end()); }
  void Reset() {
    driver_.clear();
    held_.clear();
  }

 private:
  struct Extent {
    uint64_t start;
    uint64_t length;
  };
  bool Conflicts(const VIDEO_ACCESS_RANGE& range) const;

  uint32_t ramTop_;
  std::vector<Extent> foreign_;  // memory space
  std::vector<VIDEO_ACCESS_RANGE> driver_;
  std::vector<VIDEO_ACCESS_RANGE> held_;  // ports and memory of a started device
};

}  // namespace sim::platform
