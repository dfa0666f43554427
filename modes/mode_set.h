// Mode set and what surrounds it: the register command streams, the refresh
// selection, SR3E bit 0 and the display FIFO thresholds.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"
#include "modes/modes.h"

// Command stream opcodes: a 16-bit command word, then its operand words.
#define CMD_END 0x00
#define CMD_DIRECT 0x10
#define CMD_READ 0x08
#define CMD_WORD 0x04
#define CMD_RUN 0x02
#define CMD_INDEXED_OUT 0x20
#define CMD_PAIRED_OUT 0x21
#define CMD_MASKED_OUT 0x22
#define CMD_NOP 0xF0

extern const USHORT EnableA000Data[];
extern const USHORT DisableA000Color[];

ULONG VgaInterpretCmdStream(VgaDeviceExtension* ext, const USHORT* stream);

VOID ZelSetRefreshIndex(VgaDeviceExtension* ext, const VgaModeEntry* mode);
VOID ZelSetFrameRate(VgaDeviceExtension* ext, const VgaModeEntry* mode);
VOID MartenSetSr3eD0(USHORT xResolution, USHORT yResolution, USHORT bitsPerPlane, ULONG refreshRate,
                     UCHAR memoryType, ULONG memoryBusWidth);

// The display FIFO low threshold for a mode on this memory configuration.
UCHAR ZelFifoLowThreshold(const VgaDeviceExtension* ext, const VgaModeEntry* mode);

VP_STATUS VPAPI VgaSetMode(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
VP_STATUS VPAPI VgaResetDevice(VgaDeviceExtension* ext);
