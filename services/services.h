// Display services: palette and colour lookup table, text cursor and fonts,
// the hardware pointer, and the bank-switch code block.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

VP_STATUS VPAPI VgaSetPaletteReg(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI VgaSetColorLookup(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);

VP_STATUS VPAPI VgaLoadAndSetFont(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI VgaQueryCursorPosition(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                       PULONG information);
VP_STATUS VPAPI VgaSetCursorPosition(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI VgaQueryCursorAttributes(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                         PULONG information);
VP_STATUS VPAPI VgaSetCursorAttributes(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);

VP_STATUS VPAPI ZelQueryPointerCapabilities(VgaDeviceExtension* ext, PVOID output,
                                            ULONG outputLength, PULONG information);
VP_STATUS VPAPI ZelSetPointerAttributes(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI ZelQueryPointerPosition(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                        PULONG information);
VP_STATUS VPAPI ZelSetPointerPosition(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI ZelEnablePointer(VgaDeviceExtension* ext);
VP_STATUS VPAPI ZelDisablePointer(VgaDeviceExtension* ext);

VP_STATUS VPAPI VgaGetBankSelectCode(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                     PULONG information);

// The bank-switch code block, in resident code; the labels come from the
// assembly source.
extern "C" const UCHAR BankSwitchStart[];
extern "C" const UCHAR PlanarHCBankSwitchStart[];
extern "C" const UCHAR EnablePlanarHCStart[];
extern "C" const UCHAR DisablePlanarHCStart[];
extern "C" const UCHAR BankSwitchEnd[];
