// The driver frame's entry points.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

BOOLEAN VPAPI VgaInitialize(PVOID HwDeviceExtension);
BOOLEAN VPAPI VgaStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET RequestPacket);
