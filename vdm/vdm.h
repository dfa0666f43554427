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

// IOCTL_VIDEO_SAVE_HARDWARE_STATE (output: VIDEO_HARDWARE_STATE) and
// IOCTL_VIDEO_RESTORE_HARDWARE_STATE (input: VIDEO_HARDWARE_STATE).
VP_STATUS VPAPI VgaSaveHardwareState(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                     PULONG information);
VP_STATUS VPAPI VgaRestoreHardwareState(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
