// The command stream interpreter: fixed sequences of VGA register writes kept
// as data and played to the ports at IoBase.
#include "miniport/range.h"
#include "miniport/registers.h"
#include "modes/mode_set.h"

// Plane 2 alone, written and read through 64 KB at 0xA0000, for a font load.
const USHORT EnableA000Data[] = {
    STREAM_OUT16_RUN(VGA_SEQ_INDEX, 1),
    IndexedWord(SR00_RESET, kSr00SyncReset),
    STREAM_OUT16_RUN(VGA_GC_INDEX, 3),
    IndexedWord(GR04_READ_MAP, 2),
    IndexedWord(GR05_MODE, kGr05WriteMode.Place(0)),
    IndexedWord(GR06_MEMORY_MAP, kGr06MemoryMap.Place(kGr06MapA0000)),
    STREAM_OUT16_RUN(VGA_SEQ_INDEX, 3),
    IndexedWord(SR02_MAP_MASK, kSr02Planes.Place(1 << 2)),
    IndexedWord(SR04_MEMORY_MODE, kSr04Sequential.Mask()),
    IndexedWord(SR00_RESET, kSr00Run),
    CMD_END,
};

// Back to colour text: planes 0 and 1 interleaved odd/even at 0xB8000.
const USHORT DisableA000Color[] = {
    STREAM_OUT16_RUN(VGA_SEQ_INDEX, 1),
    IndexedWord(SR00_RESET, kSr00SyncReset),
    STREAM_OUT16_RUN(VGA_GC_INDEX, 3),
    IndexedWord(GR04_READ_MAP, 0),
    IndexedWord(GR05_MODE, kGr05OddEven.Mask()),
    IndexedWord(GR06_MEMORY_MAP, kGr06MemoryMap.Place(kGr06MapB8000) | kGr06ChainOddEven.Mask()),
    STREAM_OUT16_RUN(VGA_SEQ_INDEX, 3),
    IndexedWord(SR02_MAP_MASK, kSr02Planes.Place(0x3)),
    IndexedWord(SR04_MEMORY_MODE, kSr04ExtendedMemory.Mask()),
    IndexedWord(SR00_RESET, kSr00Run),
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
