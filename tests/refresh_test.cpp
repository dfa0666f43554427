// Refresh selection before the BIOS call and the SR3E bit 0 rule after it.
#include <gtest/gtest.h>

#include <vector>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"
#include "sim/machine.h"

namespace {

using sim::io::In8;
using sim::io::Out16;
using sim::io::Out8;

VgaModeEntry Row(USHORT x, USHORT bits, ULONG rate) {
  VgaModeEntry row{};
  row.ModeType = VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS;
  row.XResolution = x;
  row.BitsPerPlane = bits;
  row.RefreshRate = rate;
  return row;
}

class Refresh : public ::testing::Test {
 protected:
  Refresh() {
    ext_.IoBase = reinterpret_cast<PUCHAR>(0x3B0);
    Seq(0x05, 0x86);  // the extended registers open, as the BIOS leaves them
  }
  void Seq(UCHAR index, UCHAR value) {
    machine_.adapter().Out8(0x3C4, index);
    machine_.adapter().Out8(0x3C5, value);
  }
  std::vector<sim::TraceEntry> Since(size_t mark) { return machine_.trace().Since(mark); }

  sim::Machine machine_;
  VgaDeviceExtension ext_{};
};

struct IndexCase {
  USHORT x;
  ULONG rate;
  UCHAR before;
  UCHAR after;
};

TEST_F(Refresh, RefreshIndexLandsInSr37BitsSixToTwo) {
  const IndexCase cases[] = {
      {1280, 85, 0xFF, 0x93},  // index 4: (0xFF & 0x83) | 0x10
      {640, 60, 0x80, 0x84},   // index 1
      {640, 200, 0x80, 0xA0},  // index 8
      {1600, 85, 0x81, 0x95},  // index 5
      {1024, 43, 0xFC, 0x84},  // index 1 clears the old index
  };
  for (const IndexCase& c : cases) {
    Seq(0x37, c.before);
    const VgaModeEntry row = Row(c.x, 8, c.rate);
    ZelSetRefreshIndex(&ext_, &row);
    EXPECT_EQ(machine_.adapter().Seq(0x37), c.after) << c.x << " at " << c.rate << " Hz";
  }
}

TEST_F(Refresh, RefreshIndexOutsideTheTableLeavesSr37Alone) {
  const VgaModeEntry rows[] = {Row(1280, 8, 100), Row(720, 8, 60), Row(1600, 8, 48)};
  for (const VgaModeEntry& row : rows) {
    Seq(0x37, 0xA5);
    const size_t mark = machine_.trace().Start();
    ZelSetRefreshIndex(&ext_, &row);
    EXPECT_EQ(machine_.adapter().Seq(0x37), 0xA5);
    EXPECT_TRUE(Since(mark).empty()) << row.XResolution << " at " << row.RefreshRate;
  }
}

TEST_F(Refresh, FrameRate1024At85UsesSr25AndLeavesSr0FAlone) {
  Seq(0x25, 0xFF);
  Seq(0x0F, 0x5E);
  const size_t mark = machine_.trace().Start();
  const VgaModeEntry row = Row(1024, 8, 85);
  ZelSetFrameRate(&ext_, &row);
  const std::vector<sim::TraceEntry> expected = {
      Out16(0x3C4, 0x8605),                                       // open the extensions
      Out8(0x3C4, 0x25),    In8(0x3C5, 0xFF), Out8(0x3C5, 0xF3),  // clear the 85 Hz field
      Out8(0x3C4, 0x25),    In8(0x3C5, 0xF3), Out8(0x3C5, 0xF7),  // and set it
  };
  const std::string mismatch = sim::CompareTraces(expected, Since(mark));
  EXPECT_TRUE(mismatch.empty()) << mismatch;
  EXPECT_EQ(machine_.adapter().Seq(0x0F), 0x5E);
}

struct FieldCase {
  USHORT x;
  ULONG rate;
  UCHAR reg;
  UCHAR before;
  UCHAR after;
};

TEST_F(Refresh, FrameRateFieldsByWidthAndRate) {
  const FieldCase cases[] = {
      {640, 72, 0x0F, 0xFF, 0x43},  {640, 75, 0x0F, 0x02, 0x82},  {640, 85, 0x0F, 0x00, 0xC0},
      {640, 60, 0x0F, 0xFE, 0x02},  {800, 60, 0x0F, 0x01, 0x11},  {800, 72, 0x0F, 0xCD, 0x21},
      {800, 75, 0x0F, 0x00, 0x30},  {800, 56, 0x0F, 0xF3, 0x03},  {800, 85, 0x25, 0xFF, 0xFD},
      {1024, 60, 0x0F, 0x00, 0x04}, {1024, 70, 0x0F, 0x00, 0x08}, {1024, 75, 0x0F, 0x00, 0x0C},
      {1024, 43, 0x0F, 0xFF, 0x03}, {1280, 60, 0x10, 0xFF, 0xFB}, {1280, 75, 0x10, 0x00, 0x04},
      {1280, 43, 0x10, 0xFF, 0xF3}, {1280, 85, 0x10, 0xFF, 0xF3}, {1600, 65, 0x36, 0xFF, 0x7F},
      {1600, 60, 0x36, 0xFF, 0x3F}, {1600, 85, 0x36, 0xC0, 0x00}, {720, 70, 0x0F, 0xFF, 0x03},
  };
  for (const FieldCase& c : cases) {
    Seq(c.reg, c.before);
    const VgaModeEntry row = Row(c.x, 8, c.rate);
    ZelSetFrameRate(&ext_, &row);
    EXPECT_EQ(machine_.adapter().Seq(c.reg), c.after)
        << c.x << " at " << c.rate << " Hz, SR" << std::hex << int(c.reg);
  }
}

TEST_F(Refresh, FrameRate800ClearsTheSr25FieldWhateverTheRate) {
  Seq(0x25, 0xFF);
  const VgaModeEntry row = Row(800, 8, 72);
  ZelSetFrameRate(&ext_, &row);
  EXPECT_EQ(machine_.adapter().Seq(0x25), 0xFC);
  Seq(0x25, 0xFF);
  const VgaModeEntry wide = Row(1024, 8, 60);
  ZelSetFrameRate(&ext_, &wide);
  EXPECT_EQ(machine_.adapter().Seq(0x25), 0xF3);
}

struct MartenCase {
  USHORT x;
  USHORT bits;
  ULONG rate;
  UCHAR memoryType;
  ULONG bus;
  bool set;
};

TEST_F(Refresh, Sr3eBitZeroRule) {
  const MartenCase cases[] = {
      {640, 32, 60, 0, 32, true},   {1600, 32, 85, 2, 64, true},  {1600, 16, 60, 3, 64, true},
      {1600, 16, 60, 2, 64, false}, {1600, 16, 60, 3, 32, false}, {720, 1, 0, 3, 64, false},
      {1280, 8, 75, 3, 32, true},   {1280, 8, 85, 3, 32, true},   {1280, 8, 43, 3, 32, false},
      {1280, 8, 60, 3, 32, false},  {1600, 8, 65, 3, 32, true},   {1600, 8, 60, 3, 32, false},
      {800, 16, 160, 3, 64, true},  {800, 16, 120, 3, 64, false}, {1024, 8, 120, 3, 64, true},
      {1024, 8, 100, 3, 64, false}, {1024, 16, 85, 3, 64, true},  {1024, 16, 75, 3, 64, false},
      {1280, 16, 60, 3, 64, true},  {1280, 16, 43, 3, 64, false}, {1280, 8, 75, 3, 64, true},
      {1600, 8, 60, 3, 64, true},
  };
  for (const MartenCase& c : cases) {
    Seq(0x3E, c.set ? 0xF0 : 0xF1);
    MartenSetSr3eD0(c.x, 0, c.bits, c.rate, c.memoryType, c.bus);
    EXPECT_EQ(machine_.adapter().Seq(0x3E), c.set ? 0xF1 : 0xF0)
        << c.x << "x" << c.bits << " at " << c.rate << " Hz, type " << int(c.memoryType) << ", "
        << c.bus << "-bit bus";
  }
}

TEST_F(Refresh, Sr3eIsReachedByFixedPortNumber) {
  const size_t mark = machine_.trace().Start();
  MartenSetSr3eD0(640, 480, 32, 60, 0, 64);
  const std::vector<sim::TraceEntry> expected = {Out8(0x3C4, 0x3E), In8(0x3C5, 0x00),
                                                 Out8(0x3C5, 0x01)};
  const std::string mismatch = sim::CompareTraces(expected, Since(mark));
  EXPECT_TRUE(mismatch.empty()) << mismatch;
}

}  // namespace
