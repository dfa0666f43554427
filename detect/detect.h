// Adapter detection: discovery, the VGA presence test, chip identification
// and memory configuration.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

#define VGA_NUM_ACCESS_RANGES 4
#define VGA_LINEAR_ACCESS_RANGE 3

extern VIDEO_ACCESS_RANGE VgaAccessRange[VGA_NUM_ACCESS_RANGES];

VP_STATUS VPAPI VgaFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PWSTR ArgumentString,
                               PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again);
BOOLEAN VgaIsPresent(VgaDeviceExtension* ext);
BOOLEAN ZelIsPresent(VgaDeviceExtension* ext);
VOID ZelUnlockKeyRegs(VgaDeviceExtension* ext);
VOID ZelLockKeyRegs(VgaDeviceExtension* ext);
