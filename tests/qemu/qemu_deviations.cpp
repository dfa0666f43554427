// Where QEMU's emulated VGA (Debian's qemu-system-x86 7.2, -vga std and
// -vga cirrus) differs from the VGA documentation, read by read, the row
// named by the start of its name. The battery accepts a listed read only
// with exactly QEMU's listed value, and fails a listed read that no row
// makes: a new difference, or one QEMU no longer shows, fails the battery
// either way.
#include "tests/qemu/script.h"

namespace qemu {

// clang-format off
constexpr Deviation kDeviations[] = {
    // models row                  reads   QEMU
    // QEMU's cirrus keeps GR00 and GR01 whole and GR05 bit 2, which its
    // extended write modes use.
    {kCirrus, "GR00-GR08",           1,  2, 0xFF},
    {kCirrus, "GR00-GR08",           6,  6, 0x7F},
    // QEMU keeps no feature control bits: 0x3CA reads 0 whatever 0x3DA was
    // written; the VGA reads back FC1, FC0 and bit 3.
    {kBoth,   "feature control",     1,  2, 0x00},
    // QEMU's std VGA has no pixel mask register: 0x3C6 reads 0 and drops
    // writes. Its cirrus keeps no pixel mask: 0x3C6 reads 0xFF (its hidden
    // DAC register sits behind four reads of it).
    {kStd,    "DAC pixel mask",      1,  2, 0x00},
    {kCirrus, "DAC pixel mask",      1,  1, 0xFF},
    // QEMU reads 0x3C0 as 0 while the flip-flop is at the data; the VGA
    // reads the address in either state.
    {kBoth,   "0x3C0 reads",         1,  1, 0x00},
    // QEMU writes AR00-AR0F whatever the palette address source bit says;
    // the VGA ignores them while the bit is set.
    {kBoth,   "AR00-AR0F ignore",    1,  1, 0x2A},
    // QEMU gives the CPU the window whatever misc output bit 1 says; the VGA
    // drops writes and floats reads while it is clear.
    {kBoth,   "misc output bit 1",   1,  2, 0x12},
    // QEMU loads the latches on planar reads only; the VGA loads them on
    // every CPU read, chain-4 and odd/even ones included.
    {kBoth,   "a chain-4 read",      1,  4, 0x5A},
    {kBoth,   "an odd/even read",    1,  4, 0x5A},
    // QEMU stores a chain-4 write as the CPU gives it; the VGA passes it
    // through the write mode, set/reset, logical function and bit mask like
    // any other.
    {kBoth,   "chain 4: writes",     1,  1, 0x00},
    // QEMU's odd/even writes reach one plane, A0 picking plane 0 or 1 (2 or 3
    // with GR04 bit 1 set); the VGA writes both planes of the pair the map
    // mask allows.
    {kBoth,   "odd/even: even",      3,  4, 0x00},
    {kBoth,   "odd/even: even",      7,  8, 0x00},
    // QEMU addresses odd/even memory at offset A >> 1 whatever GR06 bit 1
    // and the page bit say; the VGA keeps the CPU address, with A0 replaced
    // by the page bit under chain odd/even.
    {kBoth,   "odd/even with chain", 1,  4, 0x00},
    {kBoth,   "odd/even with chain", 5,  5, 0x11},
    {kBoth,   "odd/even with chain", 6,  6, 0x22},
    {kBoth,   "odd/even without",    2,  2, 0x00},
    {kBoth,   "odd/even without",    4,  4, 0x00},
    {kBoth,   "odd/even without",   10, 10, 0x22},
    // QEMU keeps all eight bits of a DAC component and reads them back; the
    // VGA's DAC holds six.
    {kBoth,   "DAC components",      1,  1, 0xFF},
    {kBoth,   "DAC components",      2,  2, 0xC5},
    {kBoth,   "DAC components",      3,  3, 0x40},
    // QEMU keeps separate read and write indices: 0x3C8 reads the write
    // index, which a read and its data reads leave alone; the VGA's DAC has
    // one address register for both.
    {kBoth,   "DAC reads",           2,  2, 0x10},
    {kBoth,   "DAC reads",           4,  4, 0x10},
    {kBoth,   "DAC reads",           7,  7, 0x10},
    {0,       nullptr,               0,  0, 0x00},
};
// clang-format on

}  // namespace qemu
