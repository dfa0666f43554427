#include "sim/platform/inaccessible_region.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

namespace sim::platform {
namespace {

// Large enough for a few loads' worth of views (each load maps an 8 MB linear
// frame) in several machines alive at once, small enough for an i386 address
// space that AddressSanitizer already crowds.
constexpr size_t kRegionSize = size_t{128} << 20;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "inaccessible region: %s\n", what);
  std::abort();
}

}  // namespace

// Never destroyed: machines held by other statics give their blocks back
// after it would die.
InaccessibleRegion& InaccessibleRegion::Instance() {
  static InaccessibleRegion* const region = new InaccessibleRegion;
  return *region;
}

InaccessibleRegion::InaccessibleRegion() {
  void* block =
      mmap(nullptr, kRegionSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (block == MAP_FAILED) Fail("cannot reserve the address space");
  base_ = reinterpret_cast<uintptr_t>(block);
  size_ = kRegionSize;
}

uintptr_t InaccessibleRegion::Allocate(uint32_t length) {
  const size_t pages = length == 0 ? 1 : (size_t{length} + kPageSize - 1) / kPageSize;
  const size_t bytes = pages * kPageSize;
  uintptr_t candidate = base_;
  for (const auto& [start, used] : blocks_) {
    if (start - candidate >= bytes) break;
    candidate = start + used;
  }
  if (candidate + bytes > base_ + size_) Fail("exhausted (views or mappings never released?)");
  blocks_.emplace(candidate, bytes);
  return candidate;
}

void InaccessibleRegion::Release(uintptr_t address) {
  blocks_.erase(address);
}

}  // namespace sim::platform
