// The mode catalogue. A mode's number is its row index, so rows keep their
// places even where the supported chips never validate them (15 and 24 bits).
#include "miniport/address_map.h"
#include "miniport/statics.h"
#include "modes/mode_set.h"
#include "modes/modes.h"

// A 1024-byte pitch, in 8-byte units, for the 640 and 800 wide 8-bit modes,
// whose BIOS modes program a tighter one.
const USHORT ZEL_1K_WIDE[] = {
    STREAM_OUT16(VGA_CRTC_INDEX_COLOR, IndexedWord(CR13_OFFSET, 1024 / 8)),
    CMD_END,
};

#define TEXT 0x1                                      // VIDEO_MODE_COLOR
#define GFX (VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS)  // 0x3
#define MAP_TEXT 1
#define MAP_LINEAR VGA_LINEAR_MEMORY_MAP

constexpr VgaTextGeometry kText80x25 = {80, 25};
const VgaTextGeometry VgaBiosTextGeometry[VGA_NUM_TEXT_MODES] = {kText80x25, kText80x25};
#define TC kText80x25.Columns
#define TR kText80x25.Rows

// clang-format off
ZEL_WRITABLE_STATIC VgaModeEntry ModesVGA[] = {
//  type  planes bits cols rows  xres  yres  stride  mem/plane  Hz  intl bank map       valid int10 stream
    // text, 80 x 25 through the B8000 window
    {TEXT, 4,  1,  TC, TR,  720,  400,  160,  0x10000,  0, 0, 0, MAP_TEXT,   0, 0x03, nullptr},      //  0
    {TEXT, 4,  1,  TC, TR,  640,  350,  160,  0x10000,  0, 0, 0, MAP_TEXT,   0, 0x03, nullptr},      //  1
    // 8 bits per pixel
    {GFX,  1,  8,  80, 30,  640,  480, 1024,  0x80000, 60, 0, 1, MAP_LINEAR, 0, 0x2E, ZEL_1K_WIDE},  //  2
    {GFX,  1,  8,  80, 30,  640,  480, 1024,  0x80000, 72, 0, 1, MAP_LINEAR, 0, 0x2E, ZEL_1K_WIDE},  //  3
    {GFX,  1,  8,  80, 30,  640,  480, 1024,  0x80000, 75, 0, 1, MAP_LINEAR, 0, 0x2E, ZEL_1K_WIDE},  //  4
    {GFX,  1,  8,  80, 30,  640,  480, 1024,  0x80000, 85, 0, 1, MAP_LINEAR, 0, 0x2E, ZEL_1K_WIDE},  //  5
    {GFX,  1,  8,  80, 30,  800,  600, 1024,  0xC0000, 56, 0, 1, MAP_LINEAR, 0, 0x30, ZEL_1K_WIDE},  //  6
    {GFX,  1,  8,  80, 30,  800,  600, 1024,  0xC0000, 60, 0, 1, MAP_LINEAR, 0, 0x30, ZEL_1K_WIDE},  //  7
    {GFX,  1,  8,  80, 30,  800,  600, 1024,  0xC0000, 72, 0, 1, MAP_LINEAR, 0, 0x30, ZEL_1K_WIDE},  //  8
    {GFX,  1,  8,  80, 30,  800,  600, 1024,  0xC0000, 75, 0, 1, MAP_LINEAR, 0, 0x30, ZEL_1K_WIDE},  //  9
    {GFX,  1,  8,  80, 30,  800,  600, 1024,  0xC0000, 85, 0, 1, MAP_LINEAR, 0, 0x30, ZEL_1K_WIDE},  // 10
    {GFX,  1,  8,  80, 30, 1024,  768, 1024,  0xC0000, 43, 1, 1, MAP_LINEAR, 0, 0x38, nullptr},      // 11
    {GFX,  1,  8,  80, 30, 1024,  768, 1024,  0xC0000, 60, 0, 1, MAP_LINEAR, 0, 0x38, nullptr},      // 12
    {GFX,  1,  8,  80, 30, 1024,  768, 1024,  0xC0000, 70, 0, 1, MAP_LINEAR, 0, 0x38, nullptr},      // 13
    {GFX,  1,  8,  80, 30, 1024,  768, 1024,  0xC0000, 75, 0, 1, MAP_LINEAR, 0, 0x38, nullptr},      // 14
    {GFX,  1,  8,  80, 30, 1024,  768, 1024,  0xC0000, 85, 0, 1, MAP_LINEAR, 0, 0x38, nullptr},      // 15
    {GFX,  1,  8,  80, 30, 1280, 1024, 2048, 0x200000, 43, 1, 1, MAP_LINEAR, 0, 0x3A, nullptr},      // 16
    {GFX,  1,  8,  80, 30, 1280, 1024, 2048, 0x200000, 60, 0, 1, MAP_LINEAR, 0, 0x3A, nullptr},      // 17
    {GFX,  1,  8,  80, 30, 1280, 1024, 2048, 0x200000, 75, 0, 1, MAP_LINEAR, 0, 0x3A, nullptr},      // 18
    {GFX,  1,  8,  80, 30, 1280, 1024, 2048, 0x200000, 85, 0, 1, MAP_LINEAR, 0, 0x3A, nullptr},      // 19
    {GFX,  1,  8,  80, 30, 1600, 1200, 2048, 0x280000, 60, 0, 1, MAP_LINEAR, 0, 0x3C, nullptr},      // 20
    {GFX,  1,  8,  80, 30, 1600, 1200, 2048, 0x280000, 65, 0, 1, MAP_LINEAR, 0, 0x3C, nullptr},      // 21
    {GFX,  1,  8,  80, 30, 1600, 1200, 2048, 0x280000, 70, 0, 1, MAP_LINEAR, 0, 0x3C, nullptr},      // 22
    {GFX,  1,  8,  80, 30, 1600, 1200, 2048, 0x280000, 75, 0, 1, MAP_LINEAR, 0, 0x3C, nullptr},      // 23
    {GFX,  1,  8,  80, 30, 1600, 1200, 2048, 0x280000, 85, 0, 1, MAP_LINEAR, 0, 0x3C, nullptr},      // 24
    // 15 bits per pixel: never offered
    {GFX,  1, 15,  80, 30,  640,  480, 2048, 0x100000, 60, 0, 0, MAP_LINEAR, 0, 0x43, nullptr},      // 25
    {GFX,  1, 15,  80, 30,  640,  480, 2048, 0x100000, 72, 0, 0, MAP_LINEAR, 0, 0x43, nullptr},      // 26
    {GFX,  1, 15,  80, 30,  640,  480, 2048, 0x100000, 75, 0, 0, MAP_LINEAR, 0, 0x43, nullptr},      // 27
    {GFX,  1, 15,  80, 30,  640,  480, 2048, 0x100000, 85, 0, 0, MAP_LINEAR, 0, 0x43, nullptr},      // 28
    {GFX,  1, 15,  80, 30,  800,  600, 2048, 0x140000, 56, 0, 0, MAP_LINEAR, 0, 0x46, nullptr},      // 29
    {GFX,  1, 15,  80, 30,  800,  600, 2048, 0x140000, 60, 0, 0, MAP_LINEAR, 0, 0x46, nullptr},      // 30
    {GFX,  1, 15,  80, 30,  800,  600, 2048, 0x140000, 72, 0, 1, MAP_LINEAR, 0, 0x46, nullptr},      // 31
    {GFX,  1, 15,  80, 30,  800,  600, 2048, 0x140000, 75, 0, 1, MAP_LINEAR, 0, 0x46, nullptr},      // 32
    {GFX,  1, 15,  80, 30,  800,  600, 2048, 0x140000, 85, 0, 1, MAP_LINEAR, 0, 0x46, nullptr},      // 33
    {GFX,  1, 15,  80, 30, 1024,  768, 2048, 0x180000, 43, 1, 0, MAP_LINEAR, 0, 0x49, nullptr},      // 34
    {GFX,  1, 15,  80, 30, 1024,  768, 2048, 0x180000, 60, 0, 0, MAP_LINEAR, 0, 0x49, nullptr},      // 35
    {GFX,  1, 15,  80, 30, 1024,  768, 2048, 0x180000, 70, 0, 0, MAP_LINEAR, 0, 0x49, nullptr},      // 36
    {GFX,  1, 15,  80, 30, 1024,  768, 2048, 0x180000, 75, 0, 0, MAP_LINEAR, 0, 0x49, nullptr},      // 37
    {GFX,  1, 15,  80, 30, 1024,  768, 2048, 0x180000, 85, 0, 0, MAP_LINEAR, 0, 0x49, nullptr},      // 38
    {GFX,  1, 15,  80, 30, 1280, 1024, 2560, 0x280000, 43, 1, 0, MAP_LINEAR, 0, 0x4C, nullptr},      // 39
    // 16 bits per pixel
    {GFX,  1, 16,  80, 30,  640,  480, 2048, 0x100000, 60, 0, 0, MAP_LINEAR, 0, 0x44, nullptr},      // 40
    {GFX,  1, 16,  80, 30,  640,  480, 2048, 0x100000, 72, 0, 0, MAP_LINEAR, 0, 0x44, nullptr},      // 41
    {GFX,  1, 16,  80, 30,  640,  480, 2048, 0x100000, 75, 0, 0, MAP_LINEAR, 0, 0x44, nullptr},      // 42
    {GFX,  1, 16,  80, 30,  640,  480, 2048, 0x100000, 85, 0, 0, MAP_LINEAR, 0, 0x44, nullptr},      // 43
    {GFX,  1, 16,  80, 30,  800,  600, 2048, 0x140000, 56, 0, 0, MAP_LINEAR, 0, 0x47, nullptr},      // 44
    {GFX,  1, 16,  80, 30,  800,  600, 2048, 0x140000, 60, 0, 0, MAP_LINEAR, 0, 0x47, nullptr},      // 45
    {GFX,  1, 16,  80, 30,  800,  600, 2048, 0x140000, 72, 0, 1, MAP_LINEAR, 0, 0x47, nullptr},      // 46
    {GFX,  1, 16,  80, 30,  800,  600, 2048, 0x140000, 75, 0, 1, MAP_LINEAR, 0, 0x47, nullptr},      // 47
    {GFX,  1, 16,  80, 30,  800,  600, 2048, 0x140000, 85, 0, 1, MAP_LINEAR, 0, 0x47, nullptr},      // 48
    {GFX,  1, 16,  80, 30, 1024,  768, 2048, 0x180000, 43, 1, 0, MAP_LINEAR, 0, 0x4A, nullptr},      // 49
    {GFX,  1, 16,  80, 30, 1024,  768, 2048, 0x180000, 60, 0, 0, MAP_LINEAR, 0, 0x4A, nullptr},      // 50
    {GFX,  1, 16,  80, 30, 1024,  768, 2048, 0x180000, 70, 0, 0, MAP_LINEAR, 0, 0x4A, nullptr},      // 51
    {GFX,  1, 16,  80, 30, 1024,  768, 2048, 0x180000, 75, 0, 0, MAP_LINEAR, 0, 0x4A, nullptr},      // 52
    {GFX,  1, 16,  80, 30, 1024,  768, 2048, 0x180000, 85, 0, 0, MAP_LINEAR, 0, 0x4A, nullptr},      // 53
    {GFX,  1, 16,  80, 30, 1280, 1024, 2560, 0x280000, 43, 1, 0, MAP_LINEAR, 0, 0x4D, nullptr},      // 54
    {GFX,  1, 16,  80, 30, 1280, 1024, 2560, 0x280000, 60, 0, 0, MAP_LINEAR, 0, 0x4D, nullptr},      // 55
    {GFX,  1, 16,  80, 30, 1280, 1024, 2560, 0x280000, 75, 0, 0, MAP_LINEAR, 0, 0x4D, nullptr},      // 56
    {GFX,  1, 16,  80, 30, 1280, 1024, 2560, 0x280000, 85, 0, 0, MAP_LINEAR, 0, 0x4D, nullptr},      // 57
    {GFX,  1, 16,  80, 30, 1600, 1200, 3200, 0x400000, 60, 0, 1, MAP_LINEAR, 0, 0x3D, nullptr},      // 58
    {GFX,  1, 16,  80, 30, 1600, 1200, 3200, 0x400000, 65, 0, 1, MAP_LINEAR, 0, 0x3D, nullptr},      // 59
    {GFX,  1, 16,  80, 30, 1600, 1200, 3200, 0x400000, 70, 0, 1, MAP_LINEAR, 0, 0x3D, nullptr},      // 60
    {GFX,  1, 16,  80, 30, 1600, 1200, 3200, 0x400000, 75, 0, 1, MAP_LINEAR, 0, 0x3D, nullptr},      // 61
    {GFX,  1, 16,  80, 30, 1600, 1200, 3200, 0x400000, 85, 0, 1, MAP_LINEAR, 0, 0x3D, nullptr},      // 62
    // 24 bits per pixel: never offered
    {GFX,  1, 24,  80, 30,  640,  480, 1920, 0x100000, 60, 0, 0, MAP_LINEAR, 0, 0x45, nullptr},      // 63
    {GFX,  1, 24,  80, 30,  640,  480, 1920, 0x100000, 72, 0, 0, MAP_LINEAR, 0, 0x45, nullptr},      // 64
    {GFX,  1, 24,  80, 30,  640,  480, 1920, 0x100000, 75, 0, 0, MAP_LINEAR, 0, 0x45, nullptr},      // 65
    {GFX,  1, 24,  80, 30,  640,  480, 1920, 0x100000, 85, 0, 0, MAP_LINEAR, 0, 0x45, nullptr},      // 66
    {GFX,  1, 24,  80, 30,  800,  600, 2400, 0x180000, 56, 0, 0, MAP_LINEAR, 0, 0x48, nullptr},      // 67
    {GFX,  1, 24,  80, 30,  800,  600, 2400, 0x180000, 60, 0, 0, MAP_LINEAR, 0, 0x48, nullptr},      // 68
    {GFX,  1, 24,  80, 30,  800,  600, 2400, 0x180000, 72, 0, 0, MAP_LINEAR, 0, 0x48, nullptr},      // 69
    {GFX,  1, 24,  80, 30,  800,  600, 2400, 0x180000, 75, 0, 0, MAP_LINEAR, 0, 0x48, nullptr},      // 70
    {GFX,  1, 24,  80, 30,  800,  600, 2400, 0x180000, 85, 0, 0, MAP_LINEAR, 0, 0x48, nullptr},      // 71
    {GFX,  1, 24,  80, 30, 1024,  768, 3072, 0x240000, 43, 1, 0, MAP_LINEAR, 0, 0x4B, nullptr},      // 72
    // 32 bits per pixel
    {GFX,  1, 32,  80, 30,  640,  480, 2560, 0x12C000, 60, 0, 0, MAP_LINEAR, 0, 0x62, nullptr},      // 73
    {GFX,  1, 32,  80, 30,  640,  480, 2560, 0x12C000, 72, 0, 0, MAP_LINEAR, 0, 0x62, nullptr},      // 74
    {GFX,  1, 32,  80, 30,  640,  480, 2560, 0x12C000, 75, 0, 0, MAP_LINEAR, 0, 0x62, nullptr},      // 75
    {GFX,  1, 32,  80, 30,  640,  480, 2560, 0x12C000, 85, 0, 0, MAP_LINEAR, 0, 0x62, nullptr},      // 76
    {GFX,  1, 32,  80, 30,  800,  600, 3200, 0x1D4C00, 56, 0, 0, MAP_LINEAR, 0, 0x63, nullptr},      // 77
    {GFX,  1, 32,  80, 30,  800,  600, 3200, 0x1D4C00, 60, 0, 0, MAP_LINEAR, 0, 0x63, nullptr},      // 78
    {GFX,  1, 32,  80, 30,  800,  600, 3200, 0x1D4C00, 72, 0, 0, MAP_LINEAR, 0, 0x63, nullptr},      // 79
    {GFX,  1, 32,  80, 30,  800,  600, 3200, 0x1D4C00, 75, 0, 0, MAP_LINEAR, 0, 0x63, nullptr},      // 80
    {GFX,  1, 32,  80, 30,  800,  600, 3200, 0x1D4C00, 85, 0, 0, MAP_LINEAR, 0, 0x63, nullptr},      // 81
    {GFX,  1, 32,  80, 30, 1024,  768, 4096, 0x300000, 43, 1, 0, MAP_LINEAR, 0, 0x64, nullptr},      // 82
    {GFX,  1, 32,  80, 30, 1024,  768, 4096, 0x300000, 60, 0, 0, MAP_LINEAR, 0, 0x64, nullptr},      // 83
    {GFX,  1, 32,  80, 30, 1024,  768, 4096, 0x300000, 70, 0, 0, MAP_LINEAR, 0, 0x64, nullptr},      // 84
    {GFX,  1, 32,  80, 30, 1024,  768, 4096, 0x300000, 75, 0, 0, MAP_LINEAR, 0, 0x64, nullptr},      // 85
    {GFX,  1, 32,  80, 30, 1024,  768, 4096, 0x300000, 85, 0, 0, MAP_LINEAR, 0, 0x64, nullptr},      // 86
    {GFX,  1, 32,  80, 30, 1280, 1024, 5120, 0x500000, 43, 1, 0, MAP_LINEAR, 0, 0x65, nullptr},      // 87
    {GFX,  1, 32,  80, 30, 1280, 1024, 5120, 0x500000, 60, 0, 0, MAP_LINEAR, 0, 0x65, nullptr},      // 88
    {GFX,  1, 32,  80, 30, 1280, 1024, 5120, 0x500000, 75, 0, 0, MAP_LINEAR, 0, 0x65, nullptr},      // 89
    {GFX,  1, 32,  80, 30, 1280, 1024, 5120, 0x500000, 85, 0, 0, MAP_LINEAR, 0, 0x65, nullptr},      // 90
    {GFX,  1, 32,  80, 30, 1600, 1200, 6400, 0x753000, 60, 0, 0, MAP_LINEAR, 0, 0x66, nullptr},      // 91
    {GFX,  1, 32,  80, 30, 1600, 1200, 6400, 0x753000, 65, 0, 0, MAP_LINEAR, 0, 0x66, nullptr},      // 92
    {GFX,  1, 32,  80, 30, 1600, 1200, 6400, 0x753000, 70, 0, 0, MAP_LINEAR, 0, 0x66, nullptr},      // 93
    {GFX,  1, 32,  80, 30, 1600, 1200, 6400, 0x753000, 75, 0, 0, MAP_LINEAR, 0, 0x66, nullptr},      // 94
    {GFX,  1, 32,  80, 30, 1600, 1200, 6400, 0x753000, 85, 0, 0, MAP_LINEAR, 0, 0x66, nullptr},      // 95
};
// clang-format on

const ULONG NumVideoModes = sizeof(ModesVGA) / sizeof(ModesVGA[0]);
static_assert(sizeof(ModesVGA) / sizeof(ModesVGA[0]) == 96, "mode numbers are row indices");

// Frame-buffer windows. Row 3 is rewritten at detection with the installed
// memory size and the linear frame buffer's place.
ZEL_WRITABLE_STATIC VgaMemoryMap MemoryMaps[VGA_NUM_MEMORY_MAPS] = {
    //  length     start
    {0x8000, 0xB0000},                          // 0: monochrome text
    {0x8000, 0xB8000},                          // 1: colour text
    {0x10000, kVgaWindowPhysical},              // 2: 64 KB graphics window
    {kLinearFrameLength, kLinearFrameDefault},  // 3: linear frame buffer
};

// Usable video memory, set by mode validation.
ZEL_WRITABLE_STATIC ULONG AdapterMemorySize = 0;
