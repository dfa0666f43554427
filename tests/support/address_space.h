// Keeps the memory an i386 test maps where AddressSanitizer looks for it.
#pragma once

namespace test {

// Under qemu-i386 on a 64-bit kernel the process owns all 4 GB, and the
// emulator places new mappings ever lower, wrapping to the top once it
// reaches the bottom; a few hundred megabytes of video memory allocated and
// freed get there. AddressSanitizer's i386 layout ends at 0xbfffffff, where
// a 32-bit kernel would start, so a block mapped above it (or ending on that
// edge) aborts the process. This reserves the top once, before anything can
// be mapped there; on a 32-bit kernel the reservation just fails.
void ReserveTopOfAddressSpace();

}  // namespace test
