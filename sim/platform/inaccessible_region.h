// One block of address space per process with no access rights at all. Views
// of device memory and caller mappings that are not plain memory are handed
// out from it, so that a driver that dereferences one faults at once instead
// of silently touching host memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace sim::platform {

class InaccessibleRegion {
 public:
  static constexpr uint32_t kPageSize = 0x1000;

  static InaccessibleRegion& Instance();

  // A page-aligned block of at least `length` bytes (one page for 0).
  uintptr_t Allocate(uint32_t length);
  void Release(uintptr_t address);
  bool Contains(uintptr_t address) const { return address >= base_ && address - base_ < size_; }
  // Some byte of [address, address + length) lies in the region.
  bool Overlaps(uintptr_t address, size_t length) const {
    if (length == 0) return false;
    return Contains(address) || (address < base_ && base_ - address < length);
  }

 private:
  InaccessibleRegion();
  uintptr_t base_ = 0;
  size_t size_ = 0;
  std::map<uintptr_t, size_t> blocks_;  // start -> length, in use
};

}  // namespace sim::platform
