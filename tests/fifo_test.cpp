// The display FIFO low threshold: the refresh share of the memory bandwidth.
#include <gtest/gtest.h>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"

namespace {

// Worked values, each with its r; clamped at 31, memory type 3 adds 2.
TEST(FifoThreshold, WorkedValues) {
  struct Case {
    USHORT x, y, bits, rate, clockMHz, bus, strap, memoryType, threshold;
  };
  const Case cases[] = {
      {640, 480, 8, 60, 100, 64, 0, 0, 2},      // r = 0.96768
      {1600, 1200, 16, 85, 100, 64, 1, 0, 19},  // r = 34.272
      {1280, 1024, 32, 85, 100, 64, 1, 0, 25},  // r = 46.7927
      {1280, 1024, 32, 85, 100, 64, 1, 3, 27},
      {800, 600, 16, 60, 66, 32, 0, 0, 7},      // r = 9.16364
      {1600, 1200, 32, 85, 100, 64, 1, 0, 31},  // r = 68.544: 36, clamped
      // r is 8.99999985 in double precision, 9.0 once rounded to single
      // precision: 7, where the unrounded value would give 6.
      {800, 600, 8, 75, 42, 32, 0, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "x" << c.y << "x" << c.bits << " at " << c.rate);
    VgaDeviceExtension ext{};
    ext.MemoryClockMHz = c.clockMHz, ext.MemoryBusWidth = c.bus;
    ext.MemoryStrapFlag = static_cast<UCHAR>(c.strap);
    ext.MemoryType = static_cast<UCHAR>(c.memoryType);
    VgaModeEntry row{};
    row.XResolution = c.x, row.YResolution = c.y;
    row.BitsPerPlane = c.bits, row.RefreshRate = c.rate;
    EXPECT_EQ(ZelFifoLowThreshold(&ext, &row), c.threshold);
  }
}

}  // namespace
