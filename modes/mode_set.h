// Mode set and what surrounds it: the register command streams, the refresh
// selection, SR3E bit 0 and the display FIFO thresholds.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/vga_registers.h"
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

// A port operand: the port's offset in the mapped block 0x3B0-0x3DF.
#define STREAM_PORT(port) ((port)-VGA_IO_BASE_PORT)
// One word written to port.
#define STREAM_OUT16(port, word) CMD_DIRECT | CMD_WORD, STREAM_PORT(port), (word)
// count words written to port in turn; the words follow.
#define STREAM_OUT16_RUN(port, count) CMD_DIRECT | CMD_WORD | CMD_RUN, STREAM_PORT(port), (count)

// The word an index/data pair takes at its index port: the index in the low
// byte, the value in the high byte.
constexpr USHORT IndexedWord(UCHAR index, UCHAR value) {
  return static_cast<USHORT>((value << 8) | index);
}

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
