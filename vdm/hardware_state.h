// The hardware state buffer of a full-screen switch, and what its save and
// restore share: the platform's header with its port slots, then the
// driver's own blocks as one packed record, and the register sequences both
// play.
#pragma once

#include <cstddef>

#include "miniport/device_extension.h"
#include "miniport/vga_registers.h"
#include "miniport/videoport.h"

#define VGA_PLANE_SIZE 0x10000  // one plane of the 256 KB, as the window shows it

#pragma pack(push, 1)

// A recorded trapped write, as the device extension holds it.
struct SavedValidatorEntry {
  ULONG Port;
  UCHAR AccessType;
  UCHAR Reserved[3];
  ULONG Data;
};

// The validators' state: an image of the device extension's five fields
// from TrappedValidatorCount to TrappedAccessRanges.
struct SavedValidatorState {
  ULONG Count;
  SavedValidatorEntry Entries[VGA_MAX_VALIDATOR_DATA];
  ULONG SequencerAddressValue;
  ULONG NumTrappedAccessRanges;
  ULONG TrappedAccessRanges;  // the trap table's address
};

// The blocks after the header, as the save lays them out. No extended
// graphics or DAC registers are kept: their offsets name the next block.
struct VgaStateBlocks {
  UCHAR Sequencer[VGA_NUM_SEQ_REGS];
  UCHAR Crtc[VGA_NUM_CRTC_REGS];
  UCHAR Graphics[VGA_NUM_GC_REGS];
  UCHAR Attribute[VGA_NUM_ATTR_REGS];
  UCHAR Dac[VGA_DAC_ENTRIES][3];
  UCHAR Latches[VGA_NUM_PLANES];
  UCHAR ExtendedSequencer[2];  // reserved: checked on restore, never used
  UCHAR ExtendedCrtc[8];
  UCHAR ExtendedAttribute[1];
  SavedValidatorState Validators;
  UCHAR Planes[VGA_NUM_PLANES][VGA_PLANE_SIZE];
};

#pragma pack(pop)

// A block's offset from the start of the buffer.
#define VGA_STATE_OFFSET(block) \
  static_cast<ULONG>(sizeof(VIDEO_HARDWARE_STATE_HEADER) + offsetof(VgaStateBlocks, block))

constexpr ULONG kVgaHardwareStateSize =
    sizeof(VIDEO_HARDWARE_STATE_HEADER) + sizeof(VgaStateBlocks);

static_assert(VGA_STATE_OFFSET(Sequencer) == 156);
static_assert(VGA_STATE_OFFSET(Crtc) == 161);
static_assert(VGA_STATE_OFFSET(Graphics) == 186);
static_assert(VGA_STATE_OFFSET(Attribute) == 195);
static_assert(VGA_STATE_OFFSET(Dac) == 216);
static_assert(VGA_STATE_OFFSET(Latches) == 984);
static_assert(VGA_STATE_OFFSET(ExtendedSequencer) == 988);
static_assert(VGA_STATE_OFFSET(ExtendedCrtc) == 990);
static_assert(VGA_STATE_OFFSET(ExtendedAttribute) == 998);
static_assert(VGA_STATE_OFFSET(Validators) == 999);
static_assert(VGA_STATE_OFFSET(Validators.NumTrappedAccessRanges) == 999 + 1208);
static_assert(VGA_STATE_OFFSET(Planes) == 2215);
static_assert(kVgaHardwareStateSize == 264359);

// The validator block is the device extension's fields byte for byte.
static_assert(sizeof(SavedValidatorEntry) == sizeof(TrappedValidatorEntry));
static_assert(offsetof(SavedValidatorEntry, AccessType) ==
              offsetof(TrappedValidatorEntry, AccessType));
static_assert(offsetof(SavedValidatorEntry, Data) == offsetof(TrappedValidatorEntry, Data));
#define VGA_EXT_VALIDATOR_OFFSET(field) \
  (offsetof(VgaDeviceExtension, field) - offsetof(VgaDeviceExtension, TrappedValidatorCount))
static_assert(offsetof(SavedValidatorState, Entries) ==
              VGA_EXT_VALIDATOR_OFFSET(TrappedValidatorData));
static_assert(offsetof(SavedValidatorState, SequencerAddressValue) ==
              VGA_EXT_VALIDATOR_OFFSET(SequencerAddressValue));
static_assert(offsetof(SavedValidatorState, NumTrappedAccessRanges) ==
              VGA_EXT_VALIDATOR_OFFSET(NumTrappedAccessRanges));
static_assert(offsetof(SavedValidatorState, TrappedAccessRanges) ==
              VGA_EXT_VALIDATOR_OFFSET(TrappedAccessRanges));
static_assert(sizeof(SavedValidatorState) ==
              VGA_EXT_VALIDATOR_OFFSET(TrappedAccessRanges) + sizeof(PVIDEO_ACCESS_RANGE));
#undef VGA_EXT_VALIDATOR_OFFSET

// The header's image of port P, at P - 0x3B0.
inline UCHAR& Slot(VIDEO_HARDWARE_STATE_HEADER* header, USHORT port) {
  return header->PortValue[port - VGA_IO_BASE_PORT];
}

inline UCHAR Slot(const VIDEO_HARDWARE_STATE_HEADER* header, USHORT port) {
  return header->PortValue[port - VGA_IO_BASE_PORT];
}

// The slot of the DAC state port 0x3C7: the state it read (3 in read mode),
// and above it how many components of the current triple had moved.
constexpr Field kDacSlotMoved{7, 4};
constexpr Field kDacSlotState{3, 0};

// Entry 0 of the colour table black and every pixel masked to it: the
// screen stays black while the state goes out or comes back.
VOID BlackScreen(const VgaDeviceExtension* ext);

// Display memory a plane at a time through the 64 KB window at 0xA0000,
// whatever the session's mode mapped: processor access on in misc output
// (under a synchronous reset, since misc output moves the clocks), bank 0
// under the window, GR06 mapping 0xA0000 unchained, SR04 sequential without
// chain 4. misc is the misc output value to write with processor access on;
// nullptr reads misc output back under the reset instead.
VOID MapPlanesAtA0000(const VgaDeviceExtension* ext, const UCHAR* misc);

// GR05 with the given write mode, read mode 0 and no odd/even.
VOID SelectWriteMode(const VgaDeviceExtension* ext, UCHAR writeMode);
