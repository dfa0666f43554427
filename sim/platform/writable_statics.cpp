#include "sim/platform/writable_statics.h"

#include <cstdint>
#include <vector>

// The linker defines these around the section when anything lives in it.
extern "C" {
extern uint8_t __start_zel_rw[] __attribute__((weak));
extern uint8_t __stop_zel_rw[] __attribute__((weak));
}

namespace sim::platform {
namespace {

std::vector<uint8_t>& Pristine() {
  static std::vector<uint8_t> bytes;
  return bytes;
}

// Byte loops without AddressSanitizer's checks: the section is one block to
// the linker, but the sanitizer may see padding between its objects as
// poisoned.
__attribute__((no_sanitize("address"))) void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  for (size_t i = 0; i < n; ++i)
    to[i] = from[i];
}

size_t SectionSize() {
  if (!__start_zel_rw || !__stop_zel_rw) return 0;
  return static_cast<size_t>(__stop_zel_rw - __start_zel_rw);
}

bool TakeSnapshot() {
  auto& pristine = Pristine();
  pristine.resize(SectionSize());
  CopyBytes(pristine.data(), __start_zel_rw, pristine.size());
  return true;
}

[[maybe_unused]] const bool snapshotTaken = TakeSnapshot();

}  // namespace

void RestoreWritableStatics() {
  const auto& pristine = Pristine();
  CopyBytes(__start_zel_rw, pristine.data(), pristine.size());
}

size_t WritableStaticsSize() {
  return SectionSize();
}

}  // namespace sim::platform
