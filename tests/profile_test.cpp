// How a profile becomes the chip's power-on registers, option ROM and PCI
// configuration space.
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <string>

#include "sim/profile.h"

namespace sim {
namespace {

PowerOnState Derive(void (*edit)(Profile&)) {
  Profile p = Profile::Default();
  edit(p);
  return DerivePowerOn(p);
}

// ---- memory size, bus width, memory type

TEST(Profile, MemorySizeIsStrappedInSr0fOrSr10) {
  struct Case {
    uint32_t megabytes, bytes;
    uint8_t sr0fLow2, sr10Bit7;
  };
  for (const Case c : {Case{1, 0x100000, 0, 0}, Case{2, 0x200000, 1, 0}, Case{4, 0x400000, 2, 0},
                       Case{8, 0x800000, 2, 0x80}}) {
    Profile p;
    p.memoryMB = c.megabytes;
    const PowerOnState s = DerivePowerOn(p);
    EXPECT_EQ(s.videoMemoryBytes, c.bytes) << c.megabytes << " MB";
    EXPECT_EQ(s.extendedSeq[0x10] & 0x80, c.sr10Bit7) << c.megabytes << " MB";
    EXPECT_EQ(s.extendedSeq[0x0F] & 0x03, c.sr0fLow2) << c.megabytes << " MB";
  }
}

TEST(Profile, BusWidthIsSr0c) {
  EXPECT_EQ(Derive([](Profile& p) { p.busWidth = 64; }).extendedSeq[0x0C], 0x02);
  EXPECT_EQ(Derive([](Profile& p) { p.busWidth = 32; }).extendedSeq[0x0C], 0x00);
}

TEST(Profile, MemoryTypeIsOneBitOfSr23OrSr33) {
  struct Case {
    uint8_t type, sr23, sr33;
  };
  for (const Case c :
       {Case{0, 0x00, 0x00}, Case{1, 0x20, 0x00}, Case{2, 0x00, 0x08}, Case{3, 0x00, 0x01}}) {
    Profile p;
    p.memoryType = c.type;
    const PowerOnState s = DerivePowerOn(p);
    EXPECT_EQ(s.extendedSeq[0x23], c.sr23) << "memory type " << int(c.type);
    EXPECT_EQ(s.extendedSeq[0x33], c.sr33) << "memory type " << int(c.type);
  }
}

// ---- memory clock

TEST(Profile, StrapOneClockIsCodedInSr10) {
  struct Case {
    uint32_t mhz;
    uint8_t sr10Low4;
  };
  for (const Case c : {Case{66, 0}, Case{75, 1}, Case{83, 2}, Case{100, 3}}) {
    Profile p;
    p.strap = 1;
    p.memoryClockMHz = c.mhz;
    const PowerOnState s = DerivePowerOn(p);
    EXPECT_EQ(s.extendedSeq[0x0D] & 0x01, 1);
    EXPECT_EQ(s.extendedSeq[0x10] & 0x0F, c.sr10Low4) << c.mhz << " MHz";
  }
}

// Each row: the synthesizer setting expected for a clock, the N, D and P the
// driver decodes from it, and N * 14318 / (P * D) in kHz.
struct SynthCase {
  uint32_t mhz;
  uint8_t sr28, sr29, sr13;
  uint32_t n, d, p;
  uint32_t kHz;
};

class StrapZeroClock : public testing::TestWithParam<SynthCase> {};

TEST_P(StrapZeroClock, FindsTheSimplestExactSynthesizerSetting) {
  const SynthCase c = GetParam();
  Profile p;
  p.strap = 0;
  p.memoryClockMHz = c.mhz;
  const PowerOnState s = DerivePowerOn(p);
  EXPECT_EQ(s.extendedSeq[0x0D] & 0x01, 0);
  EXPECT_EQ(s.extendedSeq[0x28], c.sr28) << c.mhz << " MHz";
  EXPECT_EQ(s.extendedSeq[0x29], c.sr29) << c.mhz << " MHz";
  EXPECT_EQ(s.extendedSeq[0x13], c.sr13) << c.mhz << " MHz";

  // The driver's reading of the setting.
  const uint32_t n = ((c.sr28 & 0x7F) + 1) * ((c.sr28 & 0x80) ? 2 : 1);
  const uint32_t d = (c.sr29 & 0x1F) + 1;
  const uint32_t post = (((c.sr29 >> 5) & 3) + 1) * ((c.sr13 & 0x80) ? 2 : 1);
  EXPECT_EQ(n, c.n);
  EXPECT_EQ(d, c.d);
  EXPECT_EQ(post, c.p);
  EXPECT_EQ(n * 14318 / (post * d), c.kHz);
  EXPECT_EQ((c.kHz + 500) / 1000, c.mhz);
}

INSTANTIATE_TEST_SUITE_P(Clocks, StrapZeroClock,
                         testing::Values(SynthCase{100, 0x22, 0x04, 0x00, 35, 5, 1,
                                                   100226},  // the classic setting
                                         SynthCase{66, 0x16, 0x04, 0x00, 23, 5, 1, 65862},
                                         SynthCase{67, 0x1B, 0x05, 0x00, 28, 6, 1, 66817},
                                         SynthCase{75, 0x29, 0x07, 0x00, 42, 8, 1, 75169},
                                         SynthCase{83, 0x1C, 0x04, 0x00, 29, 5, 1, 83044},
                                         SynthCase{33, 0x0D, 0x05, 0x00, 14, 6, 1, 33408},
                                         SynthCase{1, 0x00, 0x09, 0x00, 1, 10, 1, 1431},
                                         SynthCase{200, 0x45, 0x04, 0x00, 70, 5, 1, 200452}));

TEST(Profile, ClocksThatNoSettingGivesAreRefused) {
  struct Case {
    uint8_t strap;
    uint32_t mhz;
  };
  for (const Case c : {Case{0, 0}, Case{0, 171}, Case{0, 5000}, Case{1, 90}, Case{1, 0}}) {
    Profile p;
    p.strap = c.strap;
    p.memoryClockMHz = c.mhz;
    try {
      DerivePowerOn(p);
      ADD_FAILURE() << "strap " << int(c.strap) << ", " << c.mhz << " MHz was accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("memoryClockMHz"), std::string::npos) << e.what();
    }
  }
}

TEST(Profile, SettingsOutsideTheChipAreRefusedByName) {
  struct Case {
    void (*edit)(Profile&);
    const char* setting;
  };
  const Case cases[] = {
      {[](Profile& p) { p.memoryMB = 3; }, "memoryMB"},
      {[](Profile& p) { p.memoryMB = 16; }, "memoryMB"},
      {[](Profile& p) { p.busWidth = 16; }, "busWidth"},
      {[](Profile& p) { p.memoryType = 4; }, "memoryType"},
      {[](Profile& p) { p.strap = 2; }, "strap"},
      {[](Profile& p) { p.romKB = 128; }, "romKB"},
      {[](Profile& p) { p.seqOverrides[0x04] = 0; }, "seqOverrides"},
  };
  for (const Case& c : cases) {
    try {
      Derive(c.edit);
      ADD_FAILURE() << c.setting << ": accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.setting), std::string::npos) << e.what();
    }
  }
}

// ---- the rest of the extended registers

TEST(Profile, UnstrappedExtendedRegistersComeUpZeroAndRefreshByIndex) {
  const PowerOnState s = DerivePowerOn(Profile::Default());
  for (uint8_t sr :
       {0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0E, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,
        0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x25, 0x27, 0x2F, 0x35, 0x36, 0x38, 0x3E, 0x3F}) {
    EXPECT_EQ(s.extendedSeq[sr], 0x00) << "SR" << std::hex << int(sr);
  }
  EXPECT_EQ(s.extendedSeq[0x37], 0x80);
  EXPECT_EQ(s.extendedSeq[0x10] & 0x40, 0x00);
  EXPECT_EQ(Derive([](Profile& p) { p.sr10Bit6 = true; }).extendedSeq[0x10] & 0x40, 0x40);
}

TEST(Profile, OverridesWinOverEverythingDerived) {
  Profile p;
  p.memoryMB = 8;
  p.seqOverrides = {{0x0F, 0x03}, {0x10, 0x00}, {0x2F, 0x07}, {0x37, 0x00},
                    {0x28, 0x0D}, {0x29, 0x02}, {0x0C, 0x16}};
  const PowerOnState s = DerivePowerOn(p);
  EXPECT_EQ(s.extendedSeq[0x0F], 0x03);
  EXPECT_EQ(s.extendedSeq[0x10], 0x00);
  EXPECT_EQ(s.extendedSeq[0x2F], 0x07);
  EXPECT_EQ(s.extendedSeq[0x37], 0x00);
  EXPECT_EQ(s.extendedSeq[0x28], 0x0D);
  EXPECT_EQ(s.extendedSeq[0x29], 0x02);
  EXPECT_EQ(s.extendedSeq[0x0C], 0x16);
  EXPECT_EQ(s.videoMemoryBytes, 0x800000u);  // the memory itself stays
}

// ---- option ROM

uint8_t Sum(const std::vector<uint8_t>& image) {
  return std::accumulate(image.begin(), image.end(), uint8_t{0},
                         [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + b); });
}

TEST(OptionRom, HeaderAndPciDataStructure) {
  const PowerOnState s = DerivePowerOn(Profile::Default());
  const std::vector<uint8_t>& rom = s.optionRom;
  ASSERT_EQ(rom.size(), 32768u);
  EXPECT_EQ(rom[0x00], 0x55);
  EXPECT_EQ(rom[0x01], 0xAA);
  EXPECT_EQ(rom[0x02], 0x40);  // 64 blocks of 512 bytes
  EXPECT_EQ(rom[0x03], 0xEB);  // jmp short
  EXPECT_EQ(rom[0x18], 0x40);
  EXPECT_EQ(rom[0x19], 0x00);
  const uint8_t pcir[0x18] = {'P',  'C',  'I',  'R',  0x4B, 0x1F, 0x52, 0x7A,
                              0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x03,
                              0x40, 0x00, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00};
  for (unsigned i = 0; i < sizeof pcir; ++i) {
    EXPECT_EQ(rom[0x40 + i], pcir[i]) << "PCIR byte +0x" << std::hex << i;
  }
  EXPECT_EQ(Sum(rom), 0);
}

TEST(OptionRom, SizeIdsAndStructureOffsetFollowTheProfile) {
  Profile p;
  p.romKB = 64;
  p.romVendor = 0x1234;
  p.romDevice = 0x5678;
  p.romPcirOffset = 0x0FFC;  // vendor ID just past a 4 KB window
  const std::vector<uint8_t> rom = DerivePowerOn(p).optionRom;
  ASSERT_EQ(rom.size(), 65536u);
  EXPECT_EQ(rom[0x02], 0x80);
  EXPECT_EQ(rom[0x18], 0xFC);
  EXPECT_EQ(rom[0x19], 0x0F);
  EXPECT_EQ(rom[0x0FFC], 'P');
  EXPECT_EQ(rom[0x1000], 0x34);
  EXPECT_EQ(rom[0x1001], 0x12);
  EXPECT_EQ(rom[0x1002], 0x78);
  EXPECT_EQ(rom[0x1003], 0x56);
  EXPECT_EQ(rom[0x0FFC + 0x10], 0x80);  // image length in blocks
  EXPECT_EQ(rom[0x0FFC + 0x11], 0x00);
  EXPECT_EQ(Sum(rom), 0);
}

TEST(OptionRom, AStructureBeyondTheImageIsSimplyNotThere) {
  Profile p;
  p.romKB = 4;
  p.romPcirOffset = 0x2000;
  const std::vector<uint8_t> rom = DerivePowerOn(p).optionRom;
  ASSERT_EQ(rom.size(), 4096u);
  EXPECT_EQ(rom[0x18], 0x00);
  EXPECT_EQ(rom[0x19], 0x20);
  EXPECT_EQ(rom[0x02], 0x08);
  for (unsigned i = 0x1A; i + 3 < rom.size(); ++i) {
    ASSERT_FALSE(rom[i] == 'P' && rom[i + 1] == 'C' && rom[i + 2] == 'I' && rom[i + 3] == 'R')
        << "PCIR found at 0x" << std::hex << i;
  }
  EXPECT_EQ(Sum(rom), 0);
}

TEST(OptionRom, NoRomGivesAnEmptyImage) {
  EXPECT_TRUE(Derive([](Profile& p) { p.romKB = 0; }).optionRom.empty());
}

// ---- PCI configuration space

TEST(PciConfig, IdentifiesAVgaDeviceWithTheProfilesRevisionAndBar) {
  Profile p;
  p.revision = 0x09;
  p.bar0 = 0xF8000008;
  const PowerOnState s = DerivePowerOn(p);
  const uint8_t expected[][2] = {
      {0x00, 0x4B}, {0x01, 0x1F}, {0x02, 0x52}, {0x03, 0x7A}, {0x08, 0x09},
      {0x09, 0x00}, {0x0A, 0x00}, {0x0B, 0x03}, {0x0E, 0x00}, {0x10, 0x08},
      {0x11, 0x00}, {0x12, 0x00}, {0x13, 0xF8},
  };
  for (const auto& [reg, value] : expected) {
    EXPECT_EQ(s.pciConfig[reg], value) << "config byte 0x" << std::hex << int(reg);
  }
}

}  // namespace
}  // namespace sim
