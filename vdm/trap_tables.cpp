// The emulator's port table and the two trap sets the validators switch
// between. None of them changes at run time.
#include "vdm/vdm.h"

#define VGA_READ_WRITE (EMULATOR_READ_ACCESS | EMULATOR_WRITE_ACCESS)

// Every VGA port at each access size goes to the validator of that size;
// the count is in accesses of the row's size.
// clang-format off
EMULATOR_ACCESS_ENTRY VgaEmulatorAccessEntries[VGA_NUM_EMULATOR_ACCESS_ENTRIES] = {
    // BasePort Count AccessType AccessMode      String Routine
    {0x3B0,     12,   Uchar,     VGA_READ_WRITE, 0,     VgaValidatorUcharEntry},
    {0x3C0,     32,   Uchar,     VGA_READ_WRITE, 0,     VgaValidatorUcharEntry},
    {0x3B0,      6,   Ushort,    VGA_READ_WRITE, 0,     VgaValidatorUshortEntry},
    {0x3C0,     16,   Ushort,    VGA_READ_WRITE, 0,     VgaValidatorUshortEntry},
    {0x3B0,      3,   Ulong,     VGA_READ_WRITE, 0,     VgaValidatorUlongEntry},
    {0x3C0,      8,   Ulong,     VGA_READ_WRITE, 0,     VgaValidatorUlongEntry},
};
// clang-format on

// Idle: the session reaches the VGA directly but for misc output and the
// sequencer pair; later rows take their ports out of the earlier ones.
VIDEO_ACCESS_RANGE MinimalVgaValidatorAccessRange[VGA_NUM_MINIMAL_TRAP_RANGES] = {
    // clang-format off
    // RangeStart        Length InIo Visible Shareable
    {{{0x000003B0, 0}},  12,    1,   1,      0, 0},
    {{{0x000003C0, 0}},  32,    1,   1,      0, 0},
    {{{0x000003C2, 0}},   1,    1,   0,      0, 0},
    {{{0x000003C4, 0}},   2,    1,   0,      0, 0},
    // clang-format on
};

// Recording a synchronous reset: every VGA port trapped.
VIDEO_ACCESS_RANGE FullVgaValidatorAccessRange[VGA_NUM_FULL_TRAP_RANGES] = {
    // clang-format off
    {{{0x000003B0, 0}},  12,    1,   0,      0, 0},
    {{{0x000003C0, 0}},  32,    1,   0,      0, 0},
    // clang-format on
};
