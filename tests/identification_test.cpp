// Chip identification and memory configuration through the simulated
// machine: the registry report, the ROM and PCI refusals, the PCI scan's
// reach, and the memory size, bus width, type and clock decoded from the
// extended sequencer registers.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "detect/detect.h"
#include "miniport/device_extension.h"
#include "sim/machine.h"
#include "support/linked_only.h"

namespace {

using sim::Machine;
using sim::Profile;
namespace io = sim::io;

VgaDeviceExtension& Ext(Machine& m) {
  return *static_cast<VgaDeviceExtension*>(m.DeviceExtension());
}

VP_STATUS IsaStatus(const Machine& m) {
  for (const auto& r : m.Registrations()) {
    if (r.bus == Isa) return r.findAdapterStatus;
  }
  ADD_FAILURE() << "no ISA registration";
  return -1;
}

// An ASCII string as the 16-bit little-endian characters the registry holds,
// with the terminating NUL.
std::vector<uint8_t> Wide(const char* text) {
  std::vector<uint8_t> bytes;
  for (const char* c = text;; ++c) {
    bytes.push_back(static_cast<uint8_t>(*c));
    bytes.push_back(0);
    if (*c == 0) break;
  }
  return bytes;
}

TEST(Identification, DefaultAdapterReportsFourRegistryValuesInOrder) {
  Machine m;
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR);
  const auto& reg = m.Registry();
  ASSERT_EQ(reg.size(), 4u);
  EXPECT_EQ(reg[0].name, u"HardwareInformation.ChipType");
  EXPECT_EQ(reg[0].data, Wide("Zel B1"));
  EXPECT_EQ(reg[0].data.size(), 14u);
  EXPECT_EQ(reg[1].name, u"HardwareInformation.DacType");
  EXPECT_EQ(reg[1].data.size(), 8u);
  EXPECT_EQ(reg[1].data, Wide("Zel"));
  EXPECT_EQ(reg[2].name, u"HardwareInformation.MemorySize");
  EXPECT_EQ(reg[2].data, (std::vector<uint8_t>{0x00, 0x00, 0x40, 0x00}));
  EXPECT_EQ(reg[3].name, u"HardwareInformation.AdapterString");
  EXPECT_EQ(reg[3].data.size(), 30u);
  EXPECT_EQ(reg[3].data, Wide("Zel Compatible"));
  // 32 KB ROM: 64 blocks of 512 bytes.
  EXPECT_EQ(Ext(m).BiosRomSizeKb, 32);
}

TEST(Identification, FailedRegistryWritesAreIgnored) {
  Machine m;
  sim::Fault fault;
  fault.service = sim::Service::SetRegistryParameters;
  fault.count = UINT32_MAX;
  m.InjectFault(fault);
  m.Load();
  EXPECT_EQ(IsaStatus(m), NO_ERROR);
}

struct RevisionCase {
  uint8_t revision;
  UCHAR chipType;
  const char* name;
};

class ChipKind : public testing::TestWithParam<RevisionCase> {};

TEST_P(ChipKind, DecidedByTheRevisionLowNibble) {
  Profile p;
  p.revision = GetParam().revision;
  Machine m(p);
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR);
  EXPECT_EQ(Ext(m).ChipType, GetParam().chipType);
  ASSERT_FALSE(m.Registry().empty());
  EXPECT_EQ(m.Registry()[0].data, Wide(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Revisions, ChipKind,
                         testing::Values(RevisionCase{0x09, 11, "Zel A1"},
                                         RevisionCase{0x1A, 12, "Zel B1"},
                                         RevisionCase{0x19, 11, "Zel A1"},
                                         RevisionCase{0x0A, 12, "Zel B1"}));

// --- the option ROM's IDs

struct RomCase {
  const char* what;
  uint16_t vendor;
  uint16_t device;
  uint16_t pcirOffset;
  VP_STATUS status;
};

void PrintTo(const RomCase& c, std::ostream* os) {
  *os << c.what;
}

class OptionRom : public testing::TestWithParam<RomCase> {};

TEST_P(OptionRom, IdsDecide) {
  const RomCase& c = GetParam();
  Profile p;
  p.romVendor = c.vendor;
  p.romDevice = c.device;
  p.romPcirOffset = c.pcirOffset;
  Machine m(p);
  m.Load();
  EXPECT_EQ(IsaStatus(m), c.status) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Ids, OptionRom,
    testing::Values(RomCase{"supported chip", 0x1F4B, 0x7A52, 0x40, NO_ERROR},
                    RomCase{"another vendor", 0x1F4C, 0x7A52, 0x40, ERROR_DEV_NOT_EXIST},
                    RomCase{"another device", 0x1F4B, 0x7A53, 0x40, ERROR_DEV_NOT_EXIST},
                    // IDs in the last 4 bytes of the window are still read.
                    RomCase{"structure near the window's end", 0x1F4B, 0x7A52, 0xFF8, NO_ERROR},
                    RomCase{"IDs beyond the 4 KB window", 0x1F4B, 0x7A52, 0xFFC,
                            ERROR_DEV_NOT_EXIST}));

TEST(Identification, WrongDeviceFailsAfterTheBaseAndRomSizeAreTaken) {
  ZEL_LINKED_DRIVER_ONLY();
  Profile p;
  p.romDevice = 0x7A53;
  p.sr10Bit6 = true;
  Machine m(p);
  m.Load();
  EXPECT_EQ(IsaStatus(m), ERROR_DEV_NOT_EXIST);
  EXPECT_EQ(Ext(m).BiosRomSizeKb, 32);
  EXPECT_EQ(VgaAccessRange[VGA_LINEAR_ACCESS_RANGE].RangeStart.QuadPart, 0x20000000);
}

// --- the PCI scan: bus 1 devices 0 to 31, then bus 0 devices 1 to 20

struct PciCase {
  bool onBus;
  uint8_t bus;
  uint8_t device;
  uint32_t bar0;
  bool sr10Bit6;
  UCHAR chipType;  // 11 when no revision was read
  int64_t linear;
};

class PciScan : public testing::TestWithParam<PciCase> {};

TEST_P(PciScan, FindsTheChipOnlyWhereItLooks) {
  const PciCase& c = GetParam();
  Profile p;  // revision 0x1A: kind 12 when found
  p.onPciBus = c.onBus;
  p.pciBus = c.bus;
  p.pciDevice = c.device;
  p.bar0 = c.bar0;
  p.sr10Bit6 = c.sr10Bit6;
  Machine m(p);
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR);
  EXPECT_EQ(Ext(m).ChipType, c.chipType);
  EXPECT_EQ(Ext(m).LinearFramePhysical.QuadPart, c.linear);
}

INSTANTIATE_TEST_SUITE_P(Locations, PciScan,
                         testing::Values(PciCase{true, 1, 0, 0xE0000008, false, 12, 0xE0000000},
                                         PciCase{true, 1, 31, 0xE0000008, false, 12, 0xE0000000},
                                         PciCase{true, 0, 1, 0xE0000008, false, 12, 0xE0000000},
                                         PciCase{true, 0, 20, 0xE0000008, false, 12, 0xE0000000},
                                         PciCase{true, 0, 21, 0xE0000008, false, 11, 0x07C00000},
                                         PciCase{false, 1, 0, 0xE0000008, false, 11, 0x07C00000},
                                         // A BAR of flag bits only holds no base.
                                         PciCase{true, 1, 0, 0x00000008, false, 12, 0x07C00000},
                                         PciCase{true, 1, 0, 0x00000000, true, 12, 0x20000000},
                                         // A base from the BAR wins over SR10 bit 6.
                                         PciCase{true, 1, 0, 0xD800000F, true, 12, 0xD8000000},
                                         PciCase{false, 1, 0, 0xE0000008, true, 11, 0x20000000}));

TEST(Identification, ScanProbesBus1ThenBus0AndReadsBarAndRevisionAtTheMatch) {
  Profile p;
  p.pciBus = 0;
  p.pciDevice = 2;
  Machine m(p);
  m.trace().Start();
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR);
  std::vector<sim::TraceEntry> addresses;
  for (const auto& e : m.trace().Entries()) {
    if (e.kind == sim::AccessKind::Out && e.address == 0xCF8) addresses.push_back(e);
  }
  std::vector<sim::TraceEntry> expected;
  for (uint32_t a = 0x80010000; a <= 0x8001F800; a += 0x800)
    expected.push_back(io::Out32(0xCF8, a));
  expected.push_back(io::Out32(0xCF8, 0x80000800));
  expected.push_back(io::Out32(0xCF8, 0x80001000));
  expected.push_back(io::Out32(0xCF8, 0x80001010));
  expected.push_back(io::Out32(0xCF8, 0x80001008));
  const std::string diff = sim::CompareTraces(expected, addresses);
  EXPECT_TRUE(diff.empty()) << diff;
}

// --- memory configuration from raw extended sequencer registers

struct MemoryCase {
  const char* what;
  uint8_t strap;
  std::map<uint8_t, uint8_t> seq;
  ULONG size;
  ULONG busWidth;
  UCHAR type;
  USHORT clockMHz;
};

void PrintTo(const MemoryCase& c, std::ostream* os) {
  *os << c.what;
}

class MemoryConfig : public testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryConfig, DecodedFromTheSequencer) {
  const MemoryCase& c = GetParam();
  Profile p;
  p.strap = c.strap;
  p.seqOverrides = c.seq;
  Machine m(p);
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR) << c.what;
  const VgaDeviceExtension& ext = Ext(m);
  EXPECT_EQ(ext.VideoMemorySize, c.size) << c.what;
  EXPECT_EQ(ext.MemoryBusWidth, c.busWidth) << c.what;
  EXPECT_EQ(ext.MemoryType, c.type) << c.what;
  EXPECT_EQ(ext.MemoryClockMHz, c.clockMHz) << c.what;
  EXPECT_EQ(ext.MemoryStrapFlag, c.strap) << c.what;
}

// Every case names SR0C, SR0F, SR10, SR13, SR23, SR28, SR29, SR2F and SR33 so
// that nothing comes from the profile's own encoding.
std::map<uint8_t, uint8_t> Seq(uint8_t sr0c, uint8_t sr0f, uint8_t sr10, uint8_t sr2f, uint8_t sr23,
                               uint8_t sr33, uint8_t sr13, uint8_t sr28, uint8_t sr29) {
  return {{0x0C, sr0c}, {0x0F, sr0f}, {0x10, sr10}, {0x13, sr13}, {0x23, sr23},
          {0x28, sr28}, {0x29, sr29}, {0x2F, sr2f}, {0x33, sr33}};
}

INSTANTIATE_TEST_SUITE_P(
    Registers, MemoryConfig,
    testing::Values(
        // clock: N 35, D 5, P 1
        MemoryCase{"100 MHz", 0, Seq(0x02, 2, 0, 0, 0, 0, 0x00, 0x22, 0x04), 0x400000, 64, 0, 100},
        // 14 * 14318 / 3 = 66817 kHz rounds up; P 2 gives 33408 kHz, down
        MemoryCase{"67 MHz", 0, Seq(0x02, 2, 0, 0, 0, 0, 0x00, 0x0D, 0x02), 0x400000, 64, 0, 67},
        MemoryCase{"33 MHz", 0, Seq(0x02, 2, 0, 0, 0, 0, 0x80, 0x0D, 0x02), 0x400000, 64, 0, 33},
        // SR28 bit 7 doubles N (28), SR29 bits 6-5 = 1 give P 2: 14 * 14318 * 2 / 6
        MemoryCase{"N doubled, P 2", 0, Seq(0x02, 2, 0, 0, 0, 0, 0x00, 0x8D, 0x22), 0x400000, 64, 0,
                   67},
        MemoryCase{"strap, SR10 nibble 0", 1, Seq(0x02, 2, 0x00, 0, 0, 0, 0, 0, 0), 0x400000, 64, 0,
                   66},
        MemoryCase{"strap, nibble 1", 1, Seq(0x02, 2, 0x01, 0, 0, 0, 0, 0, 0), 0x400000, 64, 0, 75},
        MemoryCase{"strap, nibble 3", 1, Seq(0x02, 2, 0x03, 0, 0, 0, 0, 0, 0), 0x400000, 64, 0,
                   100},
        MemoryCase{"strap, nibble 15", 1, Seq(0x02, 2, 0x0F, 0, 0, 0, 0, 0, 0), 0x400000, 64, 0,
                   66},
        // sizes
        MemoryCase{"SR0F 0", 0, Seq(0x02, 0, 0, 0, 0, 0, 0, 0x22, 0x04), 0x100000, 64, 0, 100},
        MemoryCase{"SR0F 1", 0, Seq(0x02, 1, 0, 0, 0, 0, 0, 0x22, 0x04), 0x200000, 64, 0, 100},
        MemoryCase{"SR10 bit 7 over SR0F", 0, Seq(0x02, 1, 0x80, 0, 0, 0, 0, 0x22, 0x04), 0x800000,
                   64, 0, 100},
        MemoryCase{"8 banks, 64-bit", 0, Seq(0x02, 3, 0, 7, 0, 0, 0, 0x22, 0x04), 0x400000, 64, 0,
                   100},
        MemoryCase{"8 banks, 32-bit", 0, Seq(0x10, 3, 0, 7, 0, 0, 0, 0x22, 0x04), 0x200000, 32, 0,
                   100},
        MemoryCase{"1 bank, 32-bit", 0, Seq(0x00, 3, 0, 0xF8, 0, 0, 0, 0x22, 0x04), 0x40000, 32, 0,
                   100},
        // bus width
        MemoryCase{"SR0C 0x12", 0, Seq(0x12, 2, 0, 0, 0, 0, 0, 0x22, 0x04), 0x400000, 32, 0, 100},
        MemoryCase{"SR0C 0x04", 0, Seq(0x04, 2, 0, 0, 0, 0, 0, 0x22, 0x04), 0x400000, 64, 0, 100},
        // memory type
        MemoryCase{"SR33 bit 0", 0, Seq(0x02, 2, 0, 0, 0x20, 0x01, 0, 0x22, 0x04), 0x400000, 64, 3,
                   100},
        MemoryCase{"SR33 bit 3", 0, Seq(0x02, 2, 0, 0, 0x20, 0x08, 0, 0x22, 0x04), 0x400000, 64, 2,
                   100},
        MemoryCase{"SR23 bit 5", 0, Seq(0x02, 2, 0, 0, 0x20, 0x06, 0, 0x22, 0x04), 0x400000, 64, 1,
                   100}),
    [](const testing::TestParamInfo<MemoryCase>& info) { return std::to_string(info.index); });

// --- the key ports, as restore uses them

struct KeyCase {
  bool colour;
  uint16_t modePort;
};

class KeyPorts : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyPorts, FollowTheAddressingMode) {
  ZEL_LINKED_DRIVER_ONLY();
  Machine m;
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR);
  const uint8_t misc = GetParam().colour ? 0x67 : 0x66;
  m.adapter().Out8(0x3C2, misc);
  VgaDeviceExtension& ext = Ext(m);

  const size_t mark = m.trace().Start();
  ZelUnlockKeyRegs(&ext);
  ZelLockKeyRegs(&ext);
  const uint16_t port = GetParam().modePort;
  const std::string diff =
      sim::CompareTraces({io::Out8(0x3BF, 0x03), io::In8(0x3CC, misc), io::Out8(port, 0xA0),
                          io::Out8(0x3BF, 0x00), io::In8(0x3CC, misc), io::Out8(port, 0x00)},
                         m.trace().Since(mark));
  EXPECT_TRUE(diff.empty()) << diff;
}

INSTANTIATE_TEST_SUITE_P(Addressing, KeyPorts,
                         testing::Values(KeyCase{true, 0x3D8}, KeyCase{false, 0x3B8}));

}  // namespace
