// Mode validation without hardware: a zeroed device extension with the
// memory fields set, the driver's statics fresh for every case.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "modes/modes.h"
#include "sim/machine.h"

namespace {

struct Memory {
  ULONG bytes, busWidth, type, clockMHz, strap;
};

// `fresh`: the mode table as loaded, else as the last validation left it.
VgaDeviceExtension Validate(const Memory& memory, bool fresh = true) {
  if (fresh) sim::LinkedDriver().resetStatics();
  VgaDeviceExtension ext{};
  ext.VideoMemorySize = memory.bytes;
  ext.MemoryBusWidth = memory.busWidth;
  ext.MemoryType = static_cast<UCHAR>(memory.type);
  ext.MemoryClockMHz = static_cast<USHORT>(memory.clockMHz);
  ext.MemoryStrapFlag = static_cast<UCHAR>(memory.strap);
  VgaValidateModes(&ext);
  return ext;
}

// The count and the marks agree; the listed rows are marked (all of them when
// they make the count) or unmarked: the strap and the 138 MHz exclusions.
TEST(ModeValidation, MarksTheRowsTheMemoryCanDrive) {
  const struct {
    const char* what;
    Memory memory;
    ULONG count;
    std::vector<ULONG> marked = {}, unmarked = {};
  } cases[] = {
      // clang-format off
      {"1 MB, 32-bit: 16 bits narrowed", {0x100000, 32, 2, 100, 0}, 25,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 40, 41, 42, 43, 44, 45, 46, 47, 48}},
      {"8 MB, 100 MHz", {0x800000, 64, 2, 100, 0}, 66, {62, 89, 90}, {91, 92, 93, 94, 95}},
      {"8 MB, strap 1", {0x800000, 64, 2, 100, 1}, 63, {61, 88}, {62, 89, 90}},
      {"8 MB at 138 MHz", {0x800000, 64, 2, 138, 0}, 70, {92, 93, 94, 95}, {91}},
      {"8 MB at 137 MHz", {0x800000, 64, 2, 137, 0}, 69, {}},
      {"type 0, 32-bit, 127 MHz", {0x400000, 32, 0, 127, 0}, 2, {0, 1}},
      {"type 0, 32-bit, 128 MHz: the halved modes", {0x400000, 32, 0, 128, 0}, 8,
       {0, 1, 2, 11, 40, 49, 73, 82}},
      {"type 1, 32-bit, 255 MHz", {0x400000, 32, 1, 255, 0}, 8, {}},
      {"type 1, 32-bit, 256 MHz: every row that fits", {0x400000, 32, 1, 256, 0}, 62, {}},
      {"type 0, 48-bit: column 0", {0x400000, 48, 0, 128, 0}, 8, {}},
      {"type 3, 48-bit: column 2", {0x400000, 48, 3, 100, 0}, 62, {}},
      {"39 MHz: only text and the halved modes", {0x800000, 64, 2, 39, 0}, 8, {}},
      {"256 KB: the text rows just fit", {262144, 64, 2, 100, 0}, 2, {0, 1}},
      {"a byte less: nothing", {262143, 64, 2, 100, 0}, 0, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Validate(c.memory).NumAvailableModes, c.count);
    EXPECT_EQ(std::count_if(ModesVGA, ModesVGA + NumVideoModes,
                            [](const VgaModeEntry& row) { return (row.ValidMode & 0xFF) != 0; }),
              long(c.count));
    for (ULONG row : c.marked)
      EXPECT_EQ(ModesVGA[row].ValidMode, 1u) << "row " << row;
    for (ULONG row : c.unmarked)
      EXPECT_EQ(ModesVGA[row].ValidMode, 0u) << "row " << row;
    EXPECT_EQ(AdapterMemorySize, c.memory.bytes);
  }
}

// A mode needs a memory clock above its minimum: one entry of each width's
// table and column, at its minimum and one above (8 MB, no strap).
TEST(ModeValidation, MinimumMemoryClockBoundaries) {
  const struct {
    ULONG row, type, bus, minimumMHz;
  } cases[] = {
      // clang-format off
      // 640x480x32 at 85, column 1; 640x480x8 at 60, column 0: 255 halved
      {76, 2, 32, 43},  {2, 0, 32, 127},
      // 800x600x32 at 60 and at 85; 1024x768x32 at 85, columns 1 and 2
      {78, 2, 32, 47},  {81, 2, 32, 67},  {86, 0, 64, 113}, {86, 2, 64, 56},
      // 1024x768x32 at 43: 53 halved; 1280x1024x16 and 1280x1024x32 at 85
      {82, 2, 32, 26},  {57, 2, 32, 95},  {90, 2, 64, 95},
      // 1600x1200x8 at 65, 1600x1200x32 at 85, 800x600x32 at 56
      {21, 2, 32, 52},  {95, 2, 64, 137}, {77, 2, 32, 43},
      // 1024x768x16 at 75, 1280x1024x8 at 85, 1280x1024x16 at 75, 1280x1024x32 at 60 column 2
      {52, 2, 32, 47},  {19, 2, 32, 47},  {56, 2, 32, 80},  {88, 2, 64, 65},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << c.row << " at " << c.minimumMHz << " MHz");
    Validate({0x800000, c.bus, c.type, c.minimumMHz, 0});
    EXPECT_EQ(ModesVGA[c.row].ValidMode, 0u);
    Validate({0x800000, c.bus, c.type, c.minimumMHz + 1, 0});
    EXPECT_EQ(ModesVGA[c.row].ValidMode, 1u);
  }
}

// A padded pitch is narrowed to the tight one when the mode would fill memory.
TEST(ModeValidation, NarrowsPaddedPitches) {
  const struct {
    ULONG megabytes, row, stride, memoryPerPlane, valid;
  } cases[] = {
      {1, 40, 1280, 614400, true},     // 640x480x16: exactly 1 MB padded
      {1, 44, 1600, 960000, true},     // 800x600x16
      {1, 25, 1280, 614400, false},    // 15 bits: narrowed, still never offered
      {1, 16, 1280, 1310720, false},   // 1280x1024x8: narrowed, still too big
      {1, 49, 2048, 0x180000, false},  // 1024x768x16: 2048 is already tight
      {1, 73, 2560, 0x12C000, false},  // 32 bits are never narrowed
      {1, 2, 1024, 0x80000, true},     // fits padded
      {2, 16, 1280, 1310720, true},   {4, 58, 3200, 0x400000, true},  // exactly 4 MB fits
      {4, 40, 2048, 0x100000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.megabytes << " MB, row " << c.row);
    Validate({c.megabytes * 0x100000, 64, 2, 100, 0});
    EXPECT_EQ(ModesVGA[c.row].ScreenStride, c.stride);
    EXPECT_EQ(ModesVGA[c.row].MemoryPerPlane, c.memoryPerPlane);
    EXPECT_EQ(ModesVGA[c.row].ValidMode, c.valid);
  }
}

// A rate or a width the bandwidth tables lack is refused; a mark, once set,
// stays when the rows are validated again for less memory.
TEST(ModeValidation, NoBandwidthEntryAndStickyMarks) {
  sim::LinkedDriver().resetStatics();
  ModesVGA[20].RefreshRate = 61;
  ModesVGA[22].XResolution = 1152;
  Validate({0x800000, 64, 2, 255, 0}, /*fresh=*/false);
  EXPECT_EQ(ModesVGA[20].ValidMode, 0u);
  EXPECT_EQ(ModesVGA[21].ValidMode, 1u);
  EXPECT_EQ(ModesVGA[22].ValidMode, 0u);

  Validate({0x400000, 64, 2, 100, 0});
  ASSERT_EQ(ModesVGA[58].ValidMode, 1u);
  EXPECT_EQ(Validate({0x100000, 32, 2, 100, 0}, /*fresh=*/false).NumAvailableModes, 25u);
  EXPECT_EQ(ModesVGA[58].ValidMode, 1u);
}

}  // namespace
