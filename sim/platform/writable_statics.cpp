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

size_t SectionSize() {
  if (!__start_zel_rw || !__stop_zel_rw) return 0;
  return static_cast<size_t>(__stop_zel_rw - __start_zel_rw);
}

bool KeepPristine() {
  auto& pristine = Pristine();
  pristine.resize(SectionSize());
  CopyUnchecked(pristine.data(), __start_zel_rw, pristine.size());
  return true;
}

[[maybe_unused]] const bool pristineKept = KeepPristine();

}  // namespace

// A byte loop: the section is one block to the linker, but the sanitizer
// may see padding between its objects as poisoned.
__attribute__((no_sanitize("address"))) void CopyUnchecked(uint8_t* to, const uint8_t* from,
                                                           size_t n) {
  for (size_t i = 0; i < n; ++i)
    to[i] = from[i];
}

std::span<uint8_t> WritableStatics() {
  return {__start_zel_rw, SectionSize()};
}

void RestoreWritableStatics() {
  const auto& pristine = Pristine();
  CopyUnchecked(__start_zel_rw, pristine.data(), pristine.size());
}

size_t WritableStaticsSize() {
  return SectionSize();
}

}  // namespace sim::platform
