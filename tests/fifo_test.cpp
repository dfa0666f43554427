// The display FIFO low threshold: the refresh share of the memory bandwidth,
// computed exactly as the hardware table was derived.
#include <gtest/gtest.h>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"

namespace {

struct FifoCase {
  USHORT x, y, bits;
  ULONG rate;
  USHORT clockMHz;
  ULONG bus;
  UCHAR strap, memoryType;
  UCHAR threshold;  // T
};

TEST(FifoThreshold, WorkedValues) {
  const FifoCase cases[] = {
      // r = 0.96768, 3.096576, 34.272, 46.7927
      {640, 480, 8, 60, 100, 64, 0, 0, 2},
      {1024, 768, 8, 75, 100, 64, 0, 0, 4},
      {1600, 1200, 16, 85, 100, 64, 1, 0, 19},
      {1280, 1024, 32, 85, 100, 64, 1, 0, 25},
      {1280, 1024, 32, 85, 100, 64, 1, 3, 27},  // memory type 3 adds 2
      {800, 600, 16, 60, 66, 32, 0, 0, 7},      // r = 9.16364
      // r = 68.544: T = 36, clamped to 31
      {1600, 1200, 32, 85, 100, 64, 1, 0, 31},
      // r = 34.272 with type 3: T = 21
      {1600, 1200, 16, 85, 100, 64, 1, 3, 21},
  };
  for (const FifoCase& c : cases) {
    VgaDeviceExtension ext{};
    ext.MemoryClockMHz = c.clockMHz;
    ext.MemoryBusWidth = c.bus;
    ext.MemoryStrapFlag = c.strap;
    ext.MemoryType = c.memoryType;
    VgaModeEntry row{};
    row.XResolution = c.x;
    row.YResolution = c.y;
    row.BitsPerPlane = c.bits;
    row.RefreshRate = c.rate;
    EXPECT_EQ(ZelFifoLowThreshold(&ext, &row), c.threshold)
        << c.x << "x" << c.y << "x" << c.bits << " at " << c.rate << " Hz";
  }
}

// In double precision r comes out a hair below 9 (8.99999985 with the
// single-precision 1.4); rounded to single precision it is 9.0 exactly, which
// gives T = 7 where the unrounded value would give 6.
TEST(FifoThreshold, RIsRoundedToSinglePrecisionBeforeTruncation) {
  VgaDeviceExtension ext{};
  ext.MemoryClockMHz = 42;
  ext.MemoryBusWidth = 32;
  VgaModeEntry row{};
  row.XResolution = 800;
  row.YResolution = 600;
  row.BitsPerPlane = 8;
  row.RefreshRate = 75;
  EXPECT_EQ(ZelFifoLowThreshold(&ext, &row), 7);
}

}  // namespace
