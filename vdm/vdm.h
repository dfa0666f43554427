// Full-screen session support: the trapped port validators and their trap
// tables.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

#define VGA_NUM_EMULATOR_ACCESS_ENTRIES 6
#define VGA_NUM_MINIMAL_TRAP_RANGES 4
#define VGA_NUM_FULL_TRAP_RANGES 2

extern EMULATOR_ACCESS_ENTRY VgaEmulatorAccessEntries[VGA_NUM_EMULATOR_ACCESS_ENTRIES];
extern VIDEO_ACCESS_RANGE MinimalVgaValidatorAccessRange[VGA_NUM_MINIMAL_TRAP_RANGES];
extern VIDEO_ACCESS_RANGE FullVgaValidatorAccessRange[VGA_NUM_FULL_TRAP_RANGES];

VP_STATUS VPAPI VgaValidatorUcharEntry(PVOID Context, ULONG Port, UCHAR AccessMode, PVOID Data);
VP_STATUS VPAPI VgaValidatorUshortEntry(PVOID Context, ULONG Port, UCHAR AccessMode, PVOID Data);
VP_STATUS VPAPI VgaValidatorUlongEntry(PVOID Context, ULONG Port, UCHAR AccessMode, PVOID Data);
BOOLEAN VPAPI VgaPlaybackValidatorData(PVOID Context);

// IOCTL_VIDEO_ENABLE_VDM: the validators' idle state with the minimal trap set.
VP_STATUS VgaEnableVdm(VgaDeviceExtension* ext);

// The hardware state buffer of a full-screen switch: the platform's header,
// then the register blocks, the latches, the validator state and the planes.
#define VGA_STATE_HEADER_SIZE 156
#define VGA_STATE_SEQ_OFFSET 156
#define VGA_STATE_CRTC_OFFSET 161
#define VGA_STATE_GC_OFFSET 186
#define VGA_STATE_ATTR_OFFSET 195
#define VGA_STATE_DAC_OFFSET 216
#define VGA_STATE_LATCH_OFFSET 984
#define VGA_STATE_EXT_SEQ_OFFSET 988
#define VGA_STATE_EXT_CRTC_OFFSET 990
#define VGA_STATE_EXT_GC_OFFSET 998
#define VGA_STATE_EXT_ATTR_OFFSET 998
#define VGA_STATE_EXT_DAC_OFFSET 999
#define VGA_STATE_VALIDATOR_OFFSET 999
// Within the validator state block: the trap set's row count and table.
#define VGA_VALIDATOR_BLOCK_NUM_RANGES 1208
#define VGA_VALIDATOR_BLOCK_RANGES 1212
#define VGA_STATE_PLANE_OFFSET 2215
#define VGA_PLANE_SIZE 0x10000
#define VGA_TOTAL_STATE_SIZE 264359

#define VGA_NUM_PLANES 4

// IOCTL_VIDEO_SAVE_HARDWARE_STATE (output: VIDEO_HARDWARE_STATE) and
// IOCTL_VIDEO_RESTORE_HARDWARE_STATE (input: VIDEO_HARDWARE_STATE).
VP_STATUS VPAPI VgaSaveHardwareState(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                     PULONG information);
VP_STATUS VPAPI VgaRestoreHardwareState(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
