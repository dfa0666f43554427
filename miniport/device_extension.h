// The per-adapter record. The video port allocates it zero-filled and passes
// it to every entry point, handler and validator; nothing else holds
// per-adapter state.
#pragma once

#include "miniport/videoport.h"

struct VgaModeEntry;

// One trapped port write recorded while a full-screen session holds the
// sequencer in synchronous reset.
struct TrappedValidatorEntry {
  ULONG Port;        // port number minus 0x3B0
  UCHAR AccessType;  // VGA_VALIDATOR_UCHAR_ACCESS, _USHORT_ or _ULONG_
  ULONG Data;
};

#define VGA_VALIDATOR_UCHAR_ACCESS 1
#define VGA_VALIDATOR_USHORT_ACCESS 2
#define VGA_VALIDATOR_ULONG_ACCESS 3

// The bytes an access of the type reaches; an entry of any other type, which
// playback skips, counts as one.
static inline ULONG ValidatorAccessBytes(UCHAR type) {
  switch (type) {
    case VGA_VALIDATOR_USHORT_ACCESS:
      return 2;
    case VGA_VALIDATOR_ULONG_ACCESS:
      return 4;
    default:
      return 1;
  }
}
#define VGA_MAX_VALIDATOR_DATA 100

struct VgaDeviceExtension {
  PUCHAR IoBase;           // ports 0x3B0 to 0x3DF
  PUCHAR FrameBufferView;  // A0000View or LinearFrameView, by the current mode
  ULONG VideoMemorySize;
  ULONG ModeIndex;
  ULONG NumAvailableModes;
  VgaModeEntry* CurrentMode;
  USHORT FontWidth;
  USHORT FontHeight;
  USHORT CursorColumn;
  USHORT CursorRow;
  UCHAR CursorVisible;
  UCHAR CursorStartLine;
  UCHAR CursorEndLine;
  UCHAR MemoryStrapFlag;
  UCHAR ChipType;
  ULONG MemoryBusWidth;
  UCHAR MemoryType;
  USHORT MemoryClockMHz;
  NT_ALIGN8 PHYSICAL_ADDRESS VideoMemoryPhysical;
  ULONG VideoMemoryLength;
  NT_ALIGN8 PHYSICAL_ADDRESS FramePhysical;
  ULONG FrameLength;
  USHORT BiosRomSizeKb;

  // The validator state: saved and restored as one block, in this order
  // (vdm/hardware_state.h).
  ULONG TrappedValidatorCount;
  TrappedValidatorEntry TrappedValidatorData[VGA_MAX_VALIDATOR_DATA];
  ULONG SequencerAddressValue;
  ULONG NumTrappedAccessRanges;
  PVIDEO_ACCESS_RANGE TrappedAccessRanges;

  NT_ALIGN8 PHYSICAL_ADDRESS LinearFramePhysical;
  PUCHAR A0000View;
  PUCHAR LinearFrameView;
  USHORT PointerX;
  USHORT PointerY;
  PUCHAR PointerShapeAddress;
  UCHAR HardwarePointerAvailable;
  NT_ALIGN8 PHYSICAL_ADDRESS PublicRangePhysical;
  ULONG PublicRangeLength;
  UCHAR PublicRangeInIoSpace;
  NT_ALIGN8 PHYSICAL_ADDRESS RomPhysical;
  ULONG RomLength;
  PUCHAR RomView;
};

static_assert(offsetof(VgaDeviceExtension, VideoMemoryPhysical) % 8 == 0);
static_assert(offsetof(VgaDeviceExtension, FramePhysical) % 8 == 0);
static_assert(offsetof(VgaDeviceExtension, LinearFramePhysical) % 8 == 0);
static_assert(offsetof(VgaDeviceExtension, PublicRangePhysical) % 8 == 0);
static_assert(offsetof(VgaDeviceExtension, RomPhysical) % 8 == 0);
// The validators' state is one block of 1216 bytes.
static_assert(offsetof(TrappedValidatorEntry, Data) == 8);
static_assert(offsetof(VgaDeviceExtension, TrappedValidatorData) -
                  offsetof(VgaDeviceExtension, TrappedValidatorCount) ==
              4);
static_assert(offsetof(VgaDeviceExtension, SequencerAddressValue) -
                  offsetof(VgaDeviceExtension, TrappedValidatorCount) ==
              1204);
static_assert(offsetof(VgaDeviceExtension, TrappedAccessRanges) -
                  offsetof(VgaDeviceExtension, TrappedValidatorCount) ==
              1212);

// Ports through IoBase: port P is IoBase + (P - 0x3B0).
#define VGA_IO_BASE_PORT 0x3B0
#define VGA_IO_PORT_COUNT 0x30
