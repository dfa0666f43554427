// The command stream interpreter: fixed sequences of VGA register writes kept
// as data and played to the ports at IoBase.
#include "miniport/range.h"
#include "miniport/registers.h"
#include "modes/mode_set.h"

// Plane 2 writable at 0xA0000 for a font load.
const USHORT EnableA000Data[] = {
    CMD_DIRECT | CMD_WORD | CMD_RUN,
    0x0014,
    0x0001,
    0x0100,  // SR00 = 0x01: synchronous reset
    CMD_DIRECT | CMD_WORD | CMD_RUN,
    0x001E,
    0x0003,
    0x0204,  // GR04 = 0x02: read plane 2
    0x0005,  // GR05 = 0x00: write mode 0, no odd/even
    0x0406,  // GR06 = 0x04: 64 KB at 0xA0000, no chaining
    CMD_DIRECT | CMD_WORD | CMD_RUN,
    0x0014,
    0x0003,
    0x0402,  // SR02 = 0x04: write plane 2 only
    0x0404,  // SR04 = 0x04: sequential addressing
    0x0300,  // SR00 = 0x03: reset released
    CMD_END,
};

// Back to colour text addressing after a font load.
const USHORT DisableA000Color[] = {
    CMD_DIRECT | CMD_WORD | CMD_RUN,
    0x0014,
    0x0001,
    0x0100,  // SR00 = 0x01: synchronous reset
    CMD_DIRECT | CMD_WORD | CMD_RUN,
    0x001E,
    0x0003,
    0x0004,  // GR04 = 0x00: read plane 0
    0x1005,  // GR05 = 0x10: odd/even addressing
    0x0E06,  // GR06 = 0x0E: 32 KB at 0xB8000, chained odd/even
    CMD_DIRECT | CMD_WORD | CMD_RUN,
    0x0014,
    0x0003,
    0x0302,  // SR02 = 0x03: write planes 0 and 1
    0x0204,  // SR04 = 0x02: odd/even, extended memory
    0x0300,  // SR00 = 0x03: reset released
    CMD_END,
};

// Port operands are offsets into the mapped block 0x3B0-0x3DF; a word access
// needs two ports inside it.
static BOOLEAN PortOperandFits(USHORT operand, BOOLEAN word) {
  return RangeFits(operand, word ? sizeof(USHORT) : sizeof(UCHAR), VGA_IO_PORT_COUNT);
}

static PUCHAR StreamPort(const VgaDeviceExtension* ext, USHORT operand) {
  return ext->IoBase + operand;
}

ULONG VgaInterpretCmdStream(VgaDeviceExtension* ext, const USHORT* stream) {
  if (stream == nullptr) return 1;

  for (;;) {
    const USHORT command = *stream++;
    if (command == CMD_END) return 1;

    const UCHAR opcode = static_cast<UCHAR>(command & 0xFF);
    if ((opcode & 0xF0) == CMD_NOP) continue;

    if ((opcode & 0xF0) == CMD_DIRECT) {
      const BOOLEAN word = (opcode & CMD_WORD) != 0;
      const USHORT port = *stream++;
      if (!PortOperandFits(port, word)) return 0;
      if (opcode & CMD_READ) {
        if (word) {
          VideoPortReadPortUshort(reinterpret_cast<PUSHORT>(StreamPort(ext, port)));
        } else {
          VideoPortReadPortUchar(StreamPort(ext, port));
        }
      } else if (opcode & CMD_RUN) {
        const USHORT count = *stream++;
        if (word) {
          if (count != 0) {
            VideoPortWritePortBufferUshort(reinterpret_cast<PUSHORT>(StreamPort(ext, port)),
                                           const_cast<PUSHORT>(stream), count);
          }
        } else {
          for (USHORT k = 0; k < count; ++k) {
            VideoPortWritePortUchar(StreamPort(ext, port), static_cast<UCHAR>(stream[k]));
          }
        }
        stream += count;
      } else {
        const USHORT value = *stream++;
        if (word) {
          VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(StreamPort(ext, port)), value);
        } else {
          VideoPortWritePortUchar(StreamPort(ext, port), static_cast<UCHAR>(value));
        }
      }
      continue;
    }

    switch (opcode) {
      case CMD_INDEXED_OUT: {
        const USHORT port = *stream++;
        const USHORT count = *stream++;
        const USHORT firstIndex = *stream++;
        if (!PortOperandFits(port, TRUE)) return 0;
        for (USHORT k = 0; k < count; ++k) {
          const USHORT value = static_cast<USHORT>(((stream[k] & 0xFF) << 8) + firstIndex + k);
          VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(StreamPort(ext, port)), value);
        }
        stream += count;
        break;
      }
      case CMD_PAIRED_OUT: {
        const USHORT port = *stream++;
        const USHORT count = *stream++;
        const USHORT firstIndex = *stream++;
        if (!PortOperandFits(port, FALSE)) return 0;
        for (USHORT k = 0; k < count; ++k) {
          VideoPortWritePortUchar(StreamPort(ext, port), static_cast<UCHAR>(firstIndex + k));
          VideoPortWritePortUchar(StreamPort(ext, port), static_cast<UCHAR>(stream[k]));
        }
        stream += count;
        break;
      }
      case CMD_MASKED_OUT: {
        const USHORT port = *stream++;
        const USHORT andMask = *stream++;
        const USHORT xorValue = *stream++;
        if (!PortOperandFits(port, FALSE)) return 0;
        const UCHAR value = VideoPortReadPortUchar(StreamPort(ext, port));
        VideoPortWritePortUchar(StreamPort(ext, port),
                                static_cast<UCHAR>((value & andMask) ^ xorValue));
        break;
      }
      default:
        return 0;  // unrecognised: the stream stops where it got
    }
  }
}
