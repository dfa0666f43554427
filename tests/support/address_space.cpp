#include "tests/support/address_space.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace test {

void ReserveTopOfAddressSpace() {
  static const bool reserved = [] {
    constexpr uintptr_t kStart = 0xBF000000u;
    constexpr size_t kLength = 0x40FF0000u;  // up to 0xFFFF0000
    void* block = mmap(reinterpret_cast<void*>(kStart), kLength, PROT_NONE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    return block != MAP_FAILED;
  }();
  (void)reserved;
}

}  // namespace test
