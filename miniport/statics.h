// Static data that the driver writes at run time (validation marks, narrowed
// pitches, the linear-frame row of the access ranges, the memory-map table).
// It lives in one section so that every load of the driver starts from the
// image's initial contents, as a freshly loaded image does on NT.
#pragma once

#if defined(ZEL_NT_IMAGE)
#define ZEL_WRITABLE_STATIC
#else
#define ZEL_WRITABLE_STATIC __attribute__((section("zel_rw"), used))
#endif
