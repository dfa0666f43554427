// The driver frame's entry points.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

BOOLEAN VPAPI VgaInitialize(PVOID HwDeviceExtension);
BOOLEAN VPAPI VgaStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET RequestPacket);

// The memory-mapping services that the dispatcher carries out itself.
VP_STATUS VPAPI VgaMapVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength,
                                  PVOID output, ULONG outputLength, PULONG information);
VP_STATUS VPAPI VgaUnmapVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI VgaQueryPublicAccessRanges(VgaDeviceExtension* ext, PVOID output,
                                           ULONG outputLength, PULONG information);
VP_STATUS VPAPI VgaFreePublicAccessRanges(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI VgaShareVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength,
                                    PVOID output, ULONG outputLength, PULONG information);
VP_STATUS VPAPI VgaUnshareVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
