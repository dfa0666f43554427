// What the hardware state save and restore share: the port slots of the
// buffer's header, and the register sequences both play.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

// The header's image of port P, at P - 0x3B0.
inline UCHAR& Slot(VIDEO_HARDWARE_STATE_HEADER* header, USHORT port) {
  return header->PortValue[port - VGA_IO_BASE_PORT];
}

inline UCHAR Slot(const VIDEO_HARDWARE_STATE_HEADER* header, USHORT port) {
  return header->PortValue[port - VGA_IO_BASE_PORT];
}

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
