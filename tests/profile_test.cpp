// How a profile becomes the chip's power-on registers (the driver's suites
// name these registers themselves; the mode sweep runs whole profiles).
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>

#include "sim/profile.h"

namespace sim {
namespace {

// Memory size in SR0F bits 1-0 (SR10 bit 7 for 8 MB), bus width in SR0C, type
// in SR23 bit 5 or SR33 bits 3 and 0; the clock by strap: SR10's low nibble,
// or the synthesizer's simplest exact N/D/P in SR28, SR29 and SR13 (N * 14318
// kHz / (P * D) rounds to the MHz asked for).
TEST(Profile, DerivesTheStrappedRegisters) {
  struct Case {
    const char* what;
    uint32_t mb, bus;
    uint8_t type, strap;
    uint32_t mhz;
    std::map<uint8_t, uint8_t> seq;
  };
  const Case cases[] = {
      {"1 MB", 1, 64, 0, 0, 100, {{0x0F, 0x00}, {0x10, 0x00}, {0x0C, 0x02}}},
      {"2 MB, 32-bit", 2, 32, 0, 0, 100, {{0x0F, 0x01}, {0x0C, 0x00}}},
      {"8 MB", 8, 64, 0, 0, 100, {{0x0F, 0x02}, {0x10, 0x80}}},
      {"type 1", 4, 64, 1, 0, 100, {{0x0F, 0x02}, {0x23, 0x20}, {0x33, 0x00}}},
      {"type 2", 4, 64, 2, 0, 100, {{0x23, 0x00}, {0x33, 0x08}}},
      {"type 3", 4, 64, 3, 0, 100, {{0x23, 0x00}, {0x33, 0x01}}},
      {"strap 1, 66 MHz", 4, 64, 0, 1, 66, {{0x0D, 0x01}, {0x10, 0x00}}},
      {"strap 1, 83 MHz", 4, 64, 0, 1, 83, {{0x0D, 0x01}, {0x10, 0x02}}},
      {"strap 1, 100 MHz", 8, 64, 0, 1, 100, {{0x0D, 0x01}, {0x10, 0x83}}},
      {"100 MHz: N 35, D 5", 4, 64, 0, 0, 100, {{0x0D, 0x00}, {0x28, 0x22}, {0x29, 0x04}}},
      {"67 MHz: N 28, D 6", 4, 64, 0, 0, 67, {{0x28, 0x1B}, {0x29, 0x05}, {0x13, 0x00}}},
      {"1 MHz: N 1, D 10", 4, 64, 0, 0, 1, {{0x28, 0x00}, {0x29, 0x09}}},
      {"200 MHz: N 70, D 5", 4, 64, 0, 0, 200, {{0x28, 0x45}, {0x29, 0x04}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Profile p;
    p.memoryMB = c.mb;
    p.busWidth = c.bus;
    p.memoryType = c.type;
    p.strap = c.strap;
    p.memoryClockMHz = c.mhz;
    const PowerOnState s = DerivePowerOn(p);
    EXPECT_EQ(s.videoMemoryBytes, c.mb * 0x100000);
    for (const auto& [sr, value] : c.seq)
      EXPECT_EQ(s.extendedSeq[sr] & (sr == 0x0F ? 0x03 : 0xFF), value)
          << "SR" << std::hex << int(sr);
  }
  // Overrides win over everything derived; the memory itself stays.
  Profile p;
  p.memoryMB = 8;
  p.seqOverrides = {{0x0F, 0x03}, {0x10, 0x00}, {0x28, 0x0D}, {0x0C, 0x16}};
  const PowerOnState s = DerivePowerOn(p);
  for (const auto& [sr, value] : p.seqOverrides)
    EXPECT_EQ(s.extendedSeq[sr], value) << "SR" << std::hex << int(sr);
  EXPECT_EQ(s.videoMemoryBytes, 0x800000u);
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
      {[](Profile& p) { p.strap = 0, p.memoryClockMHz = 171; }, "memoryClockMHz"},
      {[](Profile& p) { p.strap = 0, p.memoryClockMHz = 0; }, "memoryClockMHz"},
      {[](Profile& p) { p.strap = 1, p.memoryClockMHz = 90; }, "memoryClockMHz"},
  };
  for (const Case& c : cases) {
    Profile p;
    c.edit(p);
    try {
      DerivePowerOn(p);
      ADD_FAILURE() << c.setting << ": accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.setting), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace sim
