// The driver's writable statics (section "zel_rw", see miniport/statics.h)
// back to the image's initial contents, as a freshly loaded driver has them.
// The pristine bytes are taken before main runs, before any load can have
// written them.
#pragma once

#include <cstddef>

namespace sim::platform {

void RestoreWritableStatics();
// Size of the section in this executable (0 when nothing lives there).
size_t WritableStaticsSize();

}  // namespace sim::platform
