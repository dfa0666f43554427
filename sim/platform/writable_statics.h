// The driver's writable statics (section "zel_rw", see miniport/statics.h)
// back to the image's initial contents, as a freshly loaded driver has them.
// The pristine bytes are taken before main runs, before any load can have
// written them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sim::platform {

void RestoreWritableStatics();
// Size of the section in this executable (0 when nothing lives there).
size_t WritableStaticsSize();
// The section itself.
std::span<uint8_t> WritableStatics();
// Bytes of the section (or of any static data) copied without
// AddressSanitizer's checks, which may take the padding between its
// objects for poisoned.
void CopyUnchecked(uint8_t* to, const uint8_t* from, size_t n);

}  // namespace sim::platform
