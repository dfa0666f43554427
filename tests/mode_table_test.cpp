// The mode catalogue as loaded: row order, the interlaced rows, the rows that
// name the 1K-wide stream, and the frame-buffer windows.
#include <gtest/gtest.h>

#include <vector>

#include "modes/modes.h"
#include "sim/machine.h"

namespace {

class ModeTable : public ::testing::Test {
 protected:
  void SetUp() override { sim::LinkedDriver().resetStatics(); }

  static std::vector<ULONG> RowsWhere(bool (*pick)(const VgaModeEntry&)) {
    std::vector<ULONG> rows;
    for (ULONG i = 0; i < NumVideoModes; i++) {
      if (pick(ModesVGA[i])) rows.push_back(i);
    }
    return rows;
  }
};

struct RowCase {
  ULONG row;
  USHORT modeType, numPlanes, bitsPerPlane, xResolution, yResolution, screenStride;
  ULONG memoryPerPlane, refreshRate, interlaced, bankingKind, memoryMapIndex, int10Mode;
};

TEST_F(ModeTable, RowsHoldTheirPlaces) {
  EXPECT_EQ(NumVideoModes, 96u);
  const RowCase cases[] = {
      {0, 0x1, 4, 1, 720, 400, 160, 0x10000, 0, 0, 0, 1, 0x03},
      {1, 0x1, 4, 1, 640, 350, 160, 0x10000, 0, 0, 0, 1, 0x03},
      {31, 0x3, 1, 15, 800, 600, 2048, 0x140000, 72, 0, 1, 3, 0x46},
      {95, 0x3, 1, 32, 1600, 1200, 6400, 0x753000, 85, 0, 0, 3, 0x66},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << c.row);
    const VgaModeEntry& m = ModesVGA[c.row];
    EXPECT_EQ(m.ModeType, c.modeType);
    EXPECT_EQ(m.NumPlanes, c.numPlanes);
    EXPECT_EQ(m.BitsPerPlane, c.bitsPerPlane);
    EXPECT_EQ(m.XResolution, c.xResolution);
    EXPECT_EQ(m.YResolution, c.yResolution);
    EXPECT_EQ(m.ScreenStride, c.screenStride);
    EXPECT_EQ(m.MemoryPerPlane, c.memoryPerPlane);
    EXPECT_EQ(m.RefreshRate, c.refreshRate);
    EXPECT_EQ(m.Interlaced, c.interlaced);
    EXPECT_EQ(m.BankingKind, c.bankingKind);
    EXPECT_EQ(m.MemoryMapIndex, c.memoryMapIndex);
    EXPECT_EQ(m.Int10ModeNumber, c.int10Mode);
    EXPECT_EQ(m.ValidMode, 0u);
  }
}

TEST_F(ModeTable, OnlyThe43HzRowsAreInterlaced) {
  // 1024 x 768 at 8, 15, 16, 24, 32 bits; 1280 x 1024 at 8, 15, 16, 32 bits.
  EXPECT_EQ(RowsWhere([](const VgaModeEntry& m) { return m.Interlaced != 0; }),
            (std::vector<ULONG>{11, 16, 34, 39, 49, 54, 72, 82, 87}));
}

TEST_F(ModeTable, OnlyThe640And800WideEightBitRowsNameAStream) {
  EXPECT_EQ(RowsWhere([](const VgaModeEntry& m) { return m.CmdStream != nullptr; }),
            (std::vector<ULONG>{2, 3, 4, 5, 6, 7, 8, 9, 10}));
  // One 16-bit write of 0x8013 to 0x3D4, then the end.
  const USHORT words[] = {0x0014, 0x0024, 0x8013, 0x0000};
  for (int i = 0; i < 4; i++)
    EXPECT_EQ(ZEL_1K_WIDE[i], words[i]) << "word " << i;
}

TEST_F(ModeTable, TheOnlyRowsBelowEightBitsAreTheTwoTextRowsOnTheB8000Window) {
  EXPECT_EQ(RowsWhere([](const VgaModeEntry& m) { return m.BitsPerPlane < 8; }),
            (std::vector<ULONG>{0, 1}));
  EXPECT_EQ(RowsWhere([](const VgaModeEntry& m) { return m.MemoryMapIndex != 3; }),
            (std::vector<ULONG>{0, 1}));
}

TEST_F(ModeTable, MemoryMapsStartWithTheirPowerOnWindows) {
  const VgaMemoryMap expected[] = {
      {0x8000, 0xB0000}, {0x8000, 0xB8000}, {0x10000, 0xA0000}, {0x800000, 0x7C00000}};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(MemoryMaps[i].Length, expected[i].Length) << "map " << i;
    EXPECT_EQ(MemoryMaps[i].Start, expected[i].Start) << "map " << i;
  }
}

}  // namespace
