// The adapter's registers by name: the VGA ports, every sequencer, CRTC,
// graphics and attribute index the driver reaches, the Zel extended
// sequencer registers, and the fields inside them.
//
// Ports and indices are preprocessor numbers, so that the bank-switch code
// block (assembly) names them as the C++ does. A register's name keeps its
// number (SR0A_PITCH_HIGH); a field is a Field of that register, named
// kSr0a... and declared high bit first, as a datasheet lists it.
#pragma once

// ---------------------------------------------------------------------------
// Ports

#define VGA_CRTC_INDEX_MONO 0x3B4
#define VGA_CRTC_DATA_MONO 0x3B5
#define ZEL_MODE_KEY_MONO 0x3B8
#define VGA_STATUS1_MONO 0x3BA  // read: input status 1; write: feature control
#define ZEL_KEY_PORT 0x3BF
#define VGA_AC_INDEX 0x3C0  // attribute controller index and data writes
#define VGA_AC_DATA_READ 0x3C1
#define VGA_MISC_WRITE 0x3C2
#define VGA_VIDEO_ENABLE 0x3C3
#define VGA_SEQ_INDEX 0x3C4
#define VGA_SEQ_DATA 0x3C5
#define VGA_DAC_PEL_MASK 0x3C6
#define VGA_DAC_READ_INDEX 0x3C7  // write: read index; read: DAC state
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9
#define VGA_FEATURE_READ 0x3CA
#define VGA_MISC_READ 0x3CC
#define ZEL_BANK_SELECT 0x3CD  // read bank in bits 7..4, write bank in bits 3..0
#define VGA_GC_INDEX 0x3CE
#define VGA_GC_DATA 0x3CF
#define VGA_CRTC_INDEX_COLOR 0x3D4
#define VGA_CRTC_DATA_COLOR 0x3D5
#define ZEL_MODE_KEY_COLOR 0x3D8
#define VGA_STATUS1_COLOR 0x3DA

// ---------------------------------------------------------------------------
// Sequencer, at 0x3C4/0x3C5

#define SR00_RESET 0x00
#define SR02_MAP_MASK 0x02  // one bit a plane
#define VGA_NUM_PLANES 4
#define SR04_MEMORY_MODE 0x04
#define VGA_NUM_SEQ_REGS 5  // SR00 to SR04

// The Zel extensions: SR05 opens and closes SR06 and above.
#define SR05_UNLOCK 0x05
#define SR06_EXTENDED_MODE 0x06
#define SR08_FIFO_LOW 0x08
#define SR09_FIFO_HIGH 0x09
#define SR0A_PITCH_HIGH 0x0A
#define SR0B_PIXEL_PIPE 0x0B
#define SR0C_BUS_CONFIG 0x0C
#define SR0D_STRAPS 0x0D
#define SR0F_SIZE_AND_REFRESH 0x0F
#define SR10_MEMORY_CONFIG 0x10
#define SR13_MCLK_POST 0x13
#define SR14_POINTER_COLOR0_RED 0x14
#define SR15_POINTER_COLOR0_GREEN 0x15
#define SR16_POINTER_COLOR0_BLUE 0x16
#define SR17_POINTER_COLOR1_RED 0x17
#define SR18_POINTER_COLOR1_GREEN 0x18
#define SR19_POINTER_COLOR1_BLUE 0x19
#define SR1A_POINTER_X_LOW 0x1A
#define SR1B_POINTER_X_HIGH 0x1B
#define SR1C_POINTER_HIDDEN_COLUMNS 0x1C
#define SR1D_POINTER_Y_LOW 0x1D
#define SR1E_POINTER_Y_HIGH 0x1E
#define SR1F_POINTER_HIDDEN_ROWS 0x1F
#define SR20_APERTURE_LOW 0x20
#define SR21_APERTURE_HIGH 0x21
#define SR23_MEMORY_TYPE 0x23
#define SR25_REFRESH_85HZ 0x25
#define SR27_PITCH_CLASS 0x27
#define SR28_MCLK_NUMERATOR 0x28
#define SR29_MCLK_DENOMINATOR 0x29
#define SR2F_MEMORY_BANKS 0x2F
#define SR33_MEMORY_KIND 0x33
#define SR35_RETRACE_SYNC 0x35
#define SR36_REFRESH_1600 0x36
#define SR37_REFRESH_INDEX 0x37
#define SR38_POINTER_BLOCK 0x38
#define SR3E_MARTEN_CONTROL 0x3E
#define SR3F_FIFO_CONTROL 0x3F

// ---------------------------------------------------------------------------
// CRT controller, at 0x3D4/0x3D5 or 0x3B4/0x3B5 by the addressing

#define CR03_HORIZONTAL_BLANK_END 0x03
#define CR09_MAX_SCAN_LINE 0x09
#define CR0A_CURSOR_START 0x0A
#define CR0B_CURSOR_END 0x0B
#define CR0E_CURSOR_HIGH 0x0E
#define CR0F_CURSOR_LOW 0x0F
#define CR11_VERTICAL_RETRACE_END 0x11
#define CR12_VERTICAL_DISPLAY_END 0x12
#define CR13_OFFSET 0x13
#define VGA_NUM_CRTC_REGS 25  // CR00 to CR18

// ---------------------------------------------------------------------------
// Graphics controller, at 0x3CE/0x3CF

#define GR01_ENABLE_SET_RESET 0x01
#define GR03_DATA_ROTATE 0x03
#define GR04_READ_MAP 0x04
#define GR05_MODE 0x05
#define GR06_MEMORY_MAP 0x06
#define GR08_BIT_MASK 0x08
#define VGA_NUM_GC_REGS 9  // GR00 to GR08

// ---------------------------------------------------------------------------
// Attribute controller, index and data written at 0x3C0, data read at 0x3C1

#define AR00_PALETTE 0x00  // AR00 to AR0F: the sixteen palette registers
#define AR10_MODE_CONTROL 0x10
#define VGA_NUM_ATTR_REGS 21  // AR00 to AR14
#define VGA_PALETTE_ENTRIES 16

#define VGA_DAC_ENTRIES 256

#if !defined(__ASSEMBLER__)

#include "miniport/videoport.h"

// A field of an 8-bit register: bits high down to low.
struct Field {
  UCHAR high;
  UCHAR low;

  // The field's bits in place.
  constexpr UCHAR Mask() const { return static_cast<UCHAR>(((1u << (high - low + 1)) - 1) << low); }
  // Every other bit: what a read-modify-write of this field keeps.
  constexpr UCHAR Keep() const { return static_cast<UCHAR>(~Mask()); }
  // A value moved into the field, its bits beyond the field's width dropped.
  constexpr UCHAR Place(ULONG value) const { return static_cast<UCHAR>((value << low) & Mask()); }
  // The field's value in a register value.
  constexpr UCHAR Of(UCHAR value) const { return static_cast<UCHAR>((value & Mask()) >> low); }
};

// ---- video subsystem enable (0x3C3)
constexpr UCHAR kVideoEnableOn = 0x01;

// ---- misc output (written at 0x3C2, read at 0x3CC)
constexpr Field kMiscExternalClock{3, 3};  // clock select bit 3: the external clock
constexpr Field kMiscRamEnable{1, 1};      // processor access to display memory
constexpr Field kMiscColorAddressing{0, 0};

// ---- input status 1
constexpr Field kStatus1VerticalRetrace{3, 3};
constexpr Field kStatus1DisplayDisabled{0, 0};  // set while blanking

// ---- SR00: bit 1 low holds the sequencer in synchronous reset
constexpr Field kSr00Reset{1, 0};
constexpr UCHAR kSr00SyncReset = 0x01;
constexpr UCHAR kSr00Run = 0x03;  // both reset bits high

// ---- SR02
constexpr Field kSr02Planes{3, 0};  // one bit a plane

// ---- SR04
constexpr Field kSr04Chain4{3, 3};
constexpr Field kSr04Sequential{2, 2};  // odd/even addressing off
constexpr Field kSr04ExtendedMemory{1, 1};

// ---- SR05
constexpr UCHAR kSr05UnlockKey = 0x86;
constexpr UCHAR kSr05ReadsUnlocked = 0xA1;

// ---- SR06
constexpr Field kSr06LinearAperture{7, 7};
constexpr Field kSr06PointerOn{6, 6};

// ---- SR08, SR09: the display FIFO thresholds
constexpr Field kSr08FifoLowBits3To0{7, 4};
constexpr Field kSr09FifoHigh{3, 0};

// ---- SR0A
constexpr Field kSr0aOffsetBits11To8{7, 4};

// ---- SR0B
constexpr Field kSr0bWidePixels{7, 7};  // 3- and 4-byte pixels
constexpr Field kSr0bPipeMode{6, 5};
constexpr Field kSr0bPipeBit2{2, 2};

// ---- SR0C: the memory bus width, from bit 4 and bits 2..1
constexpr Field kSr0cBusBit4{4, 4};
constexpr Field kSr0cBusBits2To1{2, 1};

// ---- SR0D
constexpr Field kSr0dMemoryStrap{0, 0};

// ---- SR0F: the refresh of three widths and the memory size
constexpr Field kSr0fRefresh640{7, 6};
constexpr Field kSr0fRefresh800{5, 4};
constexpr Field kSr0fRefresh1024{3, 2};
constexpr Field kSr0fMemorySize{1, 0};

// ---- SR10
constexpr Field kSr10EightMegabytes{7, 7};
constexpr Field kSr10HighAperture{6, 6};  // the linear frame buffer above 512 MB
constexpr Field kSr10Refresh1280{3, 2};
constexpr Field kSr10StrapClock{3, 0};  // the memory clock on strapped boards

// ---- SR13, SR28, SR29: the memory clock synthesizer
constexpr Field kSr13PostDoubled{7, 7};
constexpr Field kSr28NumeratorDoubled{7, 7};
constexpr Field kSr28Numerator{6, 0};
constexpr Field kSr29PostDivider{6, 5};
constexpr Field kSr29Denominator{4, 0};

// ---- SR1A to SR1F: the pointer position
constexpr Field kSr1bPointerXBits10To8{2, 0};
constexpr Field kSr1cHiddenColumns{4, 0};
// Bits 7-4 pick the field an interlaced pointer row is in; the row write
// sets bits 7-5 and clears bit 4.
constexpr Field kSr1eFieldBits7To5{7, 5};
constexpr Field kSr1eFieldBit4{4, 4};
constexpr Field kSr1ePointerYBits10To8{2, 0};
constexpr Field kSr1fHiddenRows{4, 0};

// ---- SR20, SR21: the linear aperture
constexpr Field kSr21SizeCode{7, 5};
constexpr UCHAR kSr21SizeEightMegabytes = 4;
constexpr UCHAR kSr21SizeSmaller = 3;
constexpr Field kSr21BaseBits31To27{4, 0};

// ---- SR23, SR33: the memory type
constexpr Field kSr23MemoryType1{5, 5};
constexpr Field kSr33MemoryType2{3, 3};
constexpr Field kSr33MemoryType3{0, 0};

// ---- SR25: the 85 Hz refresh of two widths
constexpr Field kSr25Refresh1024At85{3, 2};
constexpr Field kSr25Refresh800At85{1, 0};

// ---- SR27
constexpr Field kSr27PitchBit6{6, 6};
constexpr Field kSr27PitchClass{5, 4};
constexpr UCHAR kSr27Pitch2048 = 1;
constexpr UCHAR kSr27Pitch4096 = 2;

// ---- SR2F
constexpr Field kSr2fMemoryUnits{2, 0};

// ---- SR35: the mode change bit, taken at the start of a vertical retrace
constexpr Field kSr35ModeChange{5, 5};

// ---- SR36
constexpr Field kSr36Refresh1600{7, 6};

// ---- SR37
constexpr Field kSr37ByIndex{7, 7};
constexpr Field kSr37RefreshIndex{6, 2};

// ---- SR38, SR3E: the 256 KB block of the pointer pattern, and SR3E bit 0
constexpr Field kSr38PointerBlockBits3To0{7, 4};
constexpr Field kSr3ePointerBlockBit4{2, 2};
constexpr Field kSr3eMartenBit0{0, 0};

// ---- SR3F
constexpr Field kSr3fFifoMode{6, 3};
constexpr UCHAR kSr3fFifoModeValue = 0x0B;  // bits 6, 4 and 3 set, bit 5 clear
constexpr Field kSr3fThresholdBit4{2, 2};

// ---- CR03
constexpr Field kCr03RetraceReadable{7, 7};  // CR10 and CR11 read back as written

// ---- CR0A, CR0B: the text cursor
constexpr Field kCr0aCursorOff{5, 5};
constexpr Field kCr0aCursorStart{4, 0};
constexpr Field kCr0bCursorEnd{4, 0};

// ---- CR11
constexpr Field kCr11Protect{7, 7};  // CR00 to CR07 write-protected

// ---- GR05
constexpr Field kGr05OddEven{4, 4};
constexpr Field kGr05ReadMode{3, 3};
constexpr Field kGr05WriteMode{1, 0};

// ---- GR06
constexpr Field kGr06MemoryMap{3, 2};
constexpr UCHAR kGr06MapA0000 = 1;  // 64 KB at 0xA0000
constexpr UCHAR kGr06MapB8000 = 3;  // 32 KB at 0xB8000
constexpr Field kGr06ChainOddEven{1, 1};

// ---- the attribute index byte, and AR10
constexpr Field kArIndexPaletteSource{5, 5};  // set: the palette drives the display
constexpr Field kAr10Blink{3, 3};

// ---- the DAC state, read at 0x3C7
constexpr UCHAR kDacStateReadMode = 0x03;

#endif  // !__ASSEMBLER__
