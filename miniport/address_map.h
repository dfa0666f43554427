// Where the adapter sits in the machine's physical address space, and the
// building of physical addresses.
#pragma once

#include "miniport/videoport.h"

// The legacy VGA memory window.
constexpr ULONG kVgaWindowPhysical = 0x000A0000;
constexpr ULONG kVgaWindowLength = 0x00020000;

// The option ROM, mapped a page at a time.
constexpr ULONG kOptionRomPhysical = 0x000C0000;
constexpr ULONG kOptionRomWindow = 4096;

// The 8 MB linear frame buffer, looked for here when identification names
// no other start.
constexpr ULONG kLinearFrameDefault = 0x07C00000;
constexpr ULONG kLinearFrameLength = 0x00800000;

// The pointer pattern at the end of usable video memory: one copy, and a
// second right after it that interlaced modes scan.
constexpr ULONG kPointerPatternBytes = 1024;
constexpr ULONG kPointerPatternArea = 2 * kPointerPatternBytes;

// Every address the driver hands out lies below 4 GB.
static inline PHYSICAL_ADDRESS PhysicalAddress(ULONG low) {
  PHYSICAL_ADDRESS address;
  address.LowPart = low;
  address.HighPart = 0;
  return address;
}
