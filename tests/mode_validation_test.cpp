// Mode validation without hardware: a zeroed device extension with the
// memory fields set, the driver's statics fresh for every case.
#include <gtest/gtest.h>

#include <vector>

#include "modes/modes.h"
#include "sim/machine.h"

namespace {

struct Memory {
  ULONG bytes;
  ULONG busWidth;
  UCHAR type;
  USHORT clockMHz;
  UCHAR strap;
};

class ModeValidation : public ::testing::Test {
 protected:
  void SetUp() override { sim::LinkedDriver().resetStatics(); }

  VgaDeviceExtension Validate(const Memory& memory) {
    VgaDeviceExtension ext{};
    ext.VideoMemorySize = memory.bytes;
    ext.MemoryBusWidth = memory.busWidth;
    ext.MemoryType = memory.type;
    ext.MemoryClockMHz = memory.clockMHz;
    ext.MemoryStrapFlag = memory.strap;
    VgaValidateModes(&ext);
    return ext;
  }

  static std::vector<ULONG> MarkedRows() {
    std::vector<ULONG> rows;
    for (ULONG i = 0; i < NumVideoModes; i++) {
      if ((ModesVGA[i].ValidMode & 0xFF) != 0) rows.push_back(i);
    }
    return rows;
  }
};

struct CountCase {
  const char* what;
  Memory memory;
  ULONG count;
};

TEST_F(ModeValidation, MarksTheRowsTheMemoryCanDrive) {
  const CountCase cases[] = {
      {"1 MB, 32-bit, type 2", {0x100000, 32, 2, 100, 0}, 25},
      {"4 MB, 64-bit, type 2", {0x400000, 64, 2, 100, 0}, 62},
      {"8 MB, 64-bit, type 2", {0x800000, 64, 2, 100, 0}, 66},
      {"8 MB, strap 1", {0x800000, 64, 2, 100, 1}, 63},
      {"8 MB at 138 MHz", {0x800000, 64, 2, 138, 0}, 70},
      {"8 MB at 137 MHz", {0x800000, 64, 2, 137, 0}, 69},
      {"type 0, 32-bit, 127 MHz", {0x400000, 32, 0, 127, 0}, 2},
      {"type 0, 32-bit, 128 MHz", {0x400000, 32, 0, 128, 0}, 8},
      {"type 1, 32-bit, 255 MHz", {0x400000, 32, 1, 255, 0}, 8},
      {"type 1, 32-bit, 256 MHz: every row that fits", {0x400000, 32, 1, 256, 0}, 62},
      {"type 0, 48-bit: column 0", {0x400000, 48, 0, 128, 0}, 8},
      {"type 3, 48-bit: column 2", {0x400000, 48, 3, 100, 0}, 62},
      {"39 MHz: only text and the halved modes", {0x800000, 64, 2, 39, 0}, 8},
      {"256 KB: the text rows just fit", {262144, 64, 2, 100, 0}, 2},
      {"a byte less: nothing", {262143, 64, 2, 100, 0}, 0},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    VgaDeviceExtension ext = Validate(c.memory);
    EXPECT_EQ(ext.NumAvailableModes, c.count);
    EXPECT_EQ(MarkedRows().size(), c.count);
    EXPECT_EQ(AdapterMemorySize, c.memory.bytes);
  }
}

TEST_F(ModeValidation, OneMegabyteMarksTheSmallModesAndNarrowsSixteenBits) {
  Validate({0x100000, 32, 2, 100, 0});
  EXPECT_EQ(MarkedRows(), (std::vector<ULONG>{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                              13, 14, 15, 40, 41, 42, 43, 44, 45, 46, 47, 48}));
}

TEST_F(ModeValidation, StrapAndClockDecideTheLargestModes) {
  struct Case {
    const char* what;
    Memory memory;
    std::vector<ULONG> marked, unmarked;
  };
  const Case cases[] = {
      {"8 MB, 100 MHz", {0x800000, 64, 2, 100, 0}, {62, 89, 90}, {91, 92, 93, 94, 95}},
      {"strap 1", {0x800000, 64, 2, 100, 1}, {61, 88}, {62, 89, 90}},
      {"138 MHz", {0x800000, 64, 2, 138, 0}, {92, 93, 94, 95}, {91}},
      {"137 MHz: 85 Hz needs more than 137", {0x800000, 64, 2, 137, 0}, {92, 93, 94}, {91, 95}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    Validate(c.memory);
    for (ULONG row : c.marked)
      EXPECT_EQ(ModesVGA[row].ValidMode, 1u) << "row " << row;
    for (ULONG row : c.unmarked)
      EXPECT_EQ(ModesVGA[row].ValidMode, 0u) << "row " << row;
  }
}

TEST_F(ModeValidation, ColumnZeroLeavesOnlyTheHalvedModes) {
  Validate({0x400000, 32, 0, 128, 0});
  // 640 x 480 at 60 Hz and 1024 x 768 at 43 Hz, at 8, 16 and 32 bits.
  EXPECT_EQ(MarkedRows(), (std::vector<ULONG>{0, 1, 2, 11, 40, 49, 73, 82}));
}

TEST_F(ModeValidation, NarrowsPaddedPitchesWhenTheModeWouldFillMemory) {
  struct Case {
    ULONG megabytes;
    ULONG row;
    USHORT stride;
    ULONG memoryPerPlane;
    bool valid;
  };
  const Case cases[] = {
      {1, 40, 1280, 614400, true},     // 640x480x16: exactly 1 MB padded, narrowed
      {1, 44, 1600, 960000, true},     // 800x600x16
      {1, 25, 1280, 614400, false},    // 15 bits: narrowed, still never offered
      {1, 16, 1280, 1310720, false},   // 1280x1024x8: narrowed, still too big
      {1, 49, 2048, 0x180000, false},  // 1024x768x16: 2048 is already tight
      {1, 73, 2560, 0x12C000, false},  // 32 bits are never narrowed
      {1, 2, 1024, 0x80000, true},     // fits padded
      {2, 16, 1280, 1310720, true},   {2, 20, 1600, 1920000, true},
      {4, 58, 3200, 0x400000, true},  // exactly 4 MB fits
      {4, 40, 2048, 0x100000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.megabytes << " MB, row " << c.row);
    SetUp();
    Validate({c.megabytes * 0x100000, 64, 2, 100, 0});
    EXPECT_EQ(ModesVGA[c.row].ScreenStride, c.stride);
    EXPECT_EQ(ModesVGA[c.row].MemoryPerPlane, c.memoryPerPlane);
    EXPECT_EQ(ModesVGA[c.row].ValidMode, c.valid ? 1u : 0u);
  }
}

TEST_F(ModeValidation, ARowWithNoBandwidthEntryIsNotValid) {
  ModesVGA[20].RefreshRate = 61;  // 1600 x 1200 x 8 at a rate the table lacks
  Validate({0x800000, 64, 2, 255, 0});
  EXPECT_EQ(ModesVGA[20].ValidMode, 0u);
  EXPECT_EQ(ModesVGA[21].ValidMode, 1u);
}

TEST_F(ModeValidation, MarksAreNeverCleared) {
  Validate({0x400000, 64, 2, 100, 0});
  ASSERT_EQ(ModesVGA[58].ValidMode, 1u);
  VgaDeviceExtension ext = Validate({0x100000, 32, 2, 100, 0});
  EXPECT_EQ(ModesVGA[58].ValidMode, 1u);
  EXPECT_EQ(ext.NumAvailableModes, 25u);
}

}  // namespace
