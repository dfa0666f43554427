// Where QEMU's emulated VGA (Debian's qemu-system-x86 7.2, -vga std and
// -vga cirrus) differs from the VGA documentation, read by read. The battery
// accepts a listed read only with exactly QEMU's listed value, and fails a
// listed read that no row makes: a new difference, or one QEMU no longer
// shows, fails the battery either way.
#include "tests/qemu/kernel.h"

namespace qemu {

namespace {

constexpr char kFeatureControl[] =
    "QEMU keeps no feature control bits: 0x3CA reads 0 whatever 0x3DA was written; the VGA reads "
    "back FC1, FC0 and bit 3";
constexpr char kPixelMaskStd[] =
    "QEMU's std VGA has no pixel mask register: 0x3C6 reads 0 and drops writes";
constexpr char kPixelMaskCirrus[] =
    "QEMU's cirrus keeps no pixel mask: 0x3C6 reads 0xFF (its hidden DAC register sits behind "
    "four reads of it)";
constexpr char kAttributeAddress[] =
    "QEMU reads 0x3C0 as 0 while the flip-flop is at the data; the VGA reads the address in "
    "either state";
constexpr char kPaletteSource[] =
    "QEMU writes AR00-AR0F whatever the palette address source bit says; the VGA ignores them "
    "while the bit is set";
constexpr char kRamEnable[] =
    "QEMU gives the CPU the window whatever misc output bit 1 says; the VGA drops writes and "
    "floats reads while it is clear";
constexpr char kLatchLoads[] =
    "QEMU loads the latches on planar reads only; the VGA loads them on every CPU read, chain-4 "
    "and odd/even ones included";
constexpr char kChain4Store[] =
    "QEMU stores a chain-4 write as the CPU gives it; the VGA passes it through the write mode, "
    "set/reset, logical function and bit mask like any other";
constexpr char kOddEvenOnePlane[] =
    "QEMU's odd/even writes reach one plane, A0 picking plane 0 or 1 (2 or 3 with GR04 bit 1 "
    "set); the VGA writes both planes of the pair the map mask allows";
constexpr char kOddEvenOffset[] =
    "QEMU addresses odd/even memory at offset A >> 1 whatever GR06 bit 1 and the page bit say; the "
    "VGA keeps the CPU address, with A0 replaced by the page bit under chain odd/even";
constexpr char kDacEightBits[] =
    "QEMU keeps all eight bits of a DAC component and reads them back; the VGA's DAC holds six";
constexpr char kDacTwoIndices[] =
    "QEMU keeps separate read and write indices: 0x3C8 reads the write index, which a read and "
    "its data reads leave alone; the VGA's DAC has one address register for both";
constexpr char kCirrusWriteModes[] =
    "QEMU's cirrus keeps GR00 and GR01 whole and GR05 bit 2, which its extended write modes use";

constexpr char kMasksGr[] = "GR00-GR08 keep their defined bits only";
constexpr char kFeature[] = "feature control: 0x3CA reads what the decoded status port was written";
constexpr char kPel[] = "DAC pixel mask keeps eight bits";
constexpr char kDataState[] = "0x3C0 reads the address in the data state too";
constexpr char kPas[] = "AR00-AR0F ignore writes while the palette address source is set";
constexpr char kMiscBit1[] = "misc output bit 1 clear: window writes are dropped, reads float";
constexpr char kChain4Latches[] = "a chain-4 read loads all four latches";
constexpr char kOddEvenLatches[] = "an odd/even read loads all four latches";
constexpr char kChain4BitMask[] =
    "chain 4: writes still go through the bit mask against the latches";
constexpr char kOddEvenPlanes[] =
    "odd/even: even addresses reach planes 0 and 2, odd ones planes 1 and 3";
constexpr char kOddEvenChain[] = "odd/even with chain odd/even: A0 gives way to the page bit (0)";
constexpr char kOddEvenNoChain[] = "odd/even without chain odd/even: the offset is the CPU address";
constexpr char kSixBits[] = "DAC components are six bits";
constexpr char kDacReads[] =
    "DAC reads: the entry is fetched at once and the index moves on with it";

}  // namespace

// clang-format off
constexpr Deviation kDeviations[] = {
    // models  row             reads   QEMU  why
    {kCirrus, kMasksGr,          1,  2, 0xFF, kCirrusWriteModes},
    {kCirrus, kMasksGr,          6,  6, 0x7F, kCirrusWriteModes},
    {kBoth,   kFeature,          1,  2, 0x00, kFeatureControl},
    {kStd,    kPel,              1,  2, 0x00, kPixelMaskStd},
    {kCirrus, kPel,              1,  1, 0xFF, kPixelMaskCirrus},
    {kBoth,   kDataState,        1,  1, 0x00, kAttributeAddress},
    {kBoth,   kPas,              1,  1, 0x2A, kPaletteSource},
    {kBoth,   kMiscBit1,         1,  2, 0x12, kRamEnable},
    {kBoth,   kChain4Latches,    1,  4, 0x5A, kLatchLoads},
    {kBoth,   kOddEvenLatches,   1,  4, 0x5A, kLatchLoads},
    {kBoth,   kChain4BitMask,    1,  1, 0x00, kChain4Store},
    {kBoth,   kOddEvenPlanes,    3,  4, 0x00, kOddEvenOnePlane},
    {kBoth,   kOddEvenPlanes,    7,  8, 0x00, kOddEvenOnePlane},
    {kBoth,   kOddEvenChain,     1,  4, 0x00, kOddEvenOffset},
    {kBoth,   kOddEvenChain,     5,  5, 0x11, kOddEvenOffset},
    {kBoth,   kOddEvenChain,     6,  6, 0x22, kOddEvenOffset},
    {kBoth,   kOddEvenNoChain,   2,  2, 0x00, kOddEvenOffset},
    {kBoth,   kOddEvenNoChain,   4,  4, 0x00, kOddEvenOffset},
    {kBoth,   kOddEvenNoChain,  10, 10, 0x22, kOddEvenOffset},
    {kBoth,   kSixBits,          1,  1, 0xFF, kDacEightBits},
    {kBoth,   kSixBits,          2,  2, 0xC5, kDacEightBits},
    {kBoth,   kSixBits,          3,  3, 0x40, kDacEightBits},
    {kBoth,   kDacReads,         2,  2, 0x10, kDacTwoIndices},
    {kBoth,   kDacReads,         4,  4, 0x10, kDacTwoIndices},
    {kBoth,   kDacReads,         7,  7, 0x10, kDacTwoIndices},
    {0,       nullptr,           0,  0, 0x00, nullptr},
};
// clang-format on

}  // namespace qemu
