// The display FIFO low threshold: the refresh share of the memory bandwidth.
#include <gtest/gtest.h>

#include <cfloat>
#include <set>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"
#include "modes/modes.h"

namespace {

// The oracle below must round every step to double, as SSE2 does; x87
// would keep 64-bit mantissas between steps (this file is built with
// -mfpmath=sse).
static_assert(FLT_EVAL_METHOD == 0, "the floating-point formula needs strict double steps");

struct MemorySetup {
  USHORT clockMHz;
  ULONG bus;
  UCHAR strap, memoryType;
};

UCHAR DriverThreshold(const VgaModeEntry& row, const MemorySetup& m) {
  VgaDeviceExtension ext{};
  ext.MemoryClockMHz = m.clockMHz, ext.MemoryBusWidth = m.bus;
  ext.MemoryStrapFlag = m.strap, ext.MemoryType = m.memoryType;
  return ZelFifoLowThreshold(&ext, &row);
}

// The threshold as the formula is written: r = ((D x 1.4f) / B) x Q x F in
// double precision, rounded to single precision; T = trunc((r + 1) x 0.5)
// + 2, 2 more for memory type 3, 8 bits, at most 31.
UCHAR FormulaThreshold(const VgaModeEntry& row, const MemorySetup& m) {
  const double f = m.strap ? 60.0 : 30.0;
  const double b = static_cast<double>(m.clockMHz) * 1000000.0 * (m.bus / 8);
  const ULONG d = static_cast<ULONG>(row.YResolution) * row.RefreshRate * row.XResolution;
  const ULONG q = (row.BitsPerPlane + 1) / 8;
  const float r = static_cast<float>(((static_cast<double>(d) * static_cast<double>(1.4f)) / b) *
                                     static_cast<double>(q) * f);
  ULONG t = static_cast<ULONG>((r + 1.0) * 0.5) + 2;
  if (m.memoryType == 3) t += 2;
  const UCHAR t8 = static_cast<UCHAR>(t);
  return t8 > 31 ? 31 : t8;
}

// Worked values, each with its r; clamped at 31, memory type 3 adds 2.
TEST(FifoThreshold, WorkedValues) {
  struct Case {
    USHORT x, y, bits, rate;
    MemorySetup memory;
    UCHAR threshold;
  };
  const Case cases[] = {
      {640, 480, 8, 60, {100, 64, 0, 0}, 2},      // r = 0.96768
      {1600, 1200, 16, 85, {100, 64, 1, 0}, 19},  // r = 34.272
      {1280, 1024, 32, 85, {100, 64, 1, 0}, 25},  // r = 46.7927
      {1280, 1024, 32, 85, {100, 64, 1, 3}, 27},
      {800, 600, 16, 60, {66, 32, 0, 0}, 7},      // r = 9.16364
      {1600, 1200, 32, 85, {100, 64, 1, 0}, 31},  // r = 68.544: 36, clamped
      // r is 8.99999985 in double precision, 9.0 once rounded to single
      // precision: 7, where the unrounded value would give 6.
      {800, 600, 8, 75, {42, 32, 0, 0}, 7},
      // A clock that rounds to 0 MHz: no bandwidth, the whole FIFO.
      {640, 480, 8, 60, {0, 64, 0, 0}, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "x" << c.y << "x" << c.bits << " at " << c.rate
                                    << " Hz, " << c.memory.clockMHz << " MHz");
    VgaModeEntry row{};
    row.XResolution = c.x, row.YResolution = c.y;
    row.BitsPerPlane = c.bits, row.RefreshRate = c.rate;
    EXPECT_EQ(DriverThreshold(row, c.memory), c.threshold);
  }
}

// Single precision rounds r up to an odd integer only from within half a
// float spacing below it; the spacing below 1 is half that below 3 and 5.
// Pixel rates no mode has (1 x 1 pixels at that many frames a second, 3665
// MHz, 64-bit bus) put r on either side of that edge.
TEST(FifoThreshold, RoundsToSinglePrecisionAtTheEdge) {
  struct Case {
    ULONG pixelsPerSecond;
    UCHAR threshold;
  };
  const Case cases[] = {
      {698095230, 3},   // r = 0.99999997137 in double, 1.0 in single precision
      {698095209, 2},   // r = 0.99999994129: the float below 1
      {2094285667, 4},  // r = 2.99999988117: 3.0
      {2094285584, 3},  // r = 2.99999976228: the float below 3
      {3490476084, 5},  // r = 4.99999976233: 5.0
      {3490476049, 4},  // r = 4.99999971219: the float below 5
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pixelsPerSecond);
    VgaModeEntry row{};
    row.XResolution = 1, row.YResolution = 1;
    row.BitsPerPlane = 8, row.RefreshRate = c.pixelsPerSecond;
    const MemorySetup memory{3665, 64, 0, 0};
    EXPECT_EQ(DriverThreshold(row, memory), c.threshold);
    EXPECT_EQ(FormulaThreshold(row, memory), c.threshold);
  }
}

// Every memory clock identification can report: the four strapped clocks,
// and 14.318 MHz x N / (P x D) from SR28 (N: bits 6-0 plus 1, doubled by
// bit 7), SR29 (D: bits 4-0 plus 1; P: bits 6-5 plus 1) and SR13 (bit 7
// doubles P), rounded to whole MHz.
std::set<USHORT> IdentifiableClocks() {
  std::set<USHORT> clocks = {66, 75, 83, 100};
  for (ULONG sr28 = 0; sr28 < 0x100; ++sr28) {
    const ULONG n = ((sr28 & 0x7F) + 1) * (sr28 & 0x80 ? 2 : 1);
    for (ULONG d = 1; d <= 32; ++d) {
      for (ULONG p = 1; p <= 4; ++p) {
        for (ULONG doubled : {1, 2}) {
          clocks.insert(static_cast<USHORT>((n * 14318 / (p * doubled * d) + 500) / 1000));
        }
      }
    }
  }
  return clocks;
}

// The integer threshold is the floating-point formula's on every graphics
// row, every identifiable clock (but 0 MHz, where the formula divides by
// zero), both bus widths, both straps and every memory type.
TEST(FifoThreshold, EqualsTheFloatingPointFormulaOnEveryInput) {
  const std::set<USHORT> clocks = IdentifiableClocks();
  ASSERT_EQ(clocks.size(), 719u);  // 0 to 3665 MHz, with gaps
  ULONG compared = 0;
  for (ULONG mode = 0; mode < NumVideoModes; ++mode) {
    const VgaModeEntry& row = ModesVGA[mode];
    if (row.BitsPerPlane < 8) continue;
    for (USHORT clock : clocks) {
      if (clock == 0) continue;
      for (ULONG bus : {32, 64}) {
        for (UCHAR strap = 0; strap <= 1; ++strap) {
          for (UCHAR memoryType = 0; memoryType <= 3; ++memoryType) {
            const MemorySetup m{clock, bus, strap, memoryType};
            const UCHAR expected = FormulaThreshold(row, m);
            const UCHAR got = DriverThreshold(row, m);
            ++compared;
            if (got == expected) continue;
            FAIL() << "mode " << mode << " (" << row.XResolution << "x" << row.YResolution << "x"
                   << row.BitsPerPlane << " at " << row.RefreshRate << " Hz), " << clock << " MHz, "
                   << bus << "-bit bus, strap " << int{strap} << ", memory type " << int{memoryType}
                   << ": formula " << int{expected} << ", driver " << int{got};
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 94u * 718 * 2 * 2 * 4);
}

}  // namespace
