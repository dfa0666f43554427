// Adapter discovery, the VGA presence test and chip identification through
// the simulated machine: the status of every failure, what the presence test
// writes back, where the linear frame buffer goes, the PCI scan's reach, the
// registry report, and the memory configuration decoded from the extended
// sequencer registers.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "detect/detect.h"
#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/machine.h"
#include "support/bus.h"
#include "support/linked_only.h"
#include "vdm/vdm.h"

namespace {

using sim::Fault;
using sim::Machine;
using sim::Profile;
using sim::Service;
using sim::TraceEntry;
using namespace sim::io;

constexpr uint32_t kAll = UINT32_MAX;

VgaDeviceExtension& Ext(Machine& m) {
  return *static_cast<VgaDeviceExtension*>(m.DeviceExtension());
}

// The find-adapter result of one registration; Isa's is the only one that
// reaches the adapter on a machine without an EISA bus.
VP_STATUS Status(const Machine& m, INTERFACE_TYPE bus = Isa) {
  for (const auto& r : m.Registrations()) {
    if (r.bus == bus) return r.findAdapterStatus;
  }
  return -1;
}

// A null view for the `first`-th mapping that starts inside [start, start + length).
Fault NullView(uint64_t start, uint64_t length, uint32_t first = 0) {
  return {Service::GetDeviceBase, first, 1, ERROR_INVALID_PARAMETER, start, length};
}

// An ASCII string as the registry holds it: 16-bit characters and the NUL.
std::vector<uint8_t> Wide(const char* text) {
  std::vector<uint8_t> bytes;
  for (const char* c = text;; ++c) {
    bytes.insert(bytes.end(), {static_cast<uint8_t>(*c), 0});
    if (*c == 0) return bytes;
  }
}

TEST(Discovery, DefaultAdapterLoadsAndFillsTheConfigRecord) {
  ZEL_LINKED_DRIVER_ONLY();
  Machine m;
  EXPECT_EQ(m.Load(), 0u);
  EXPECT_EQ(Status(m), NO_ERROR);
  ASSERT_TRUE(m.Started());

  const VIDEO_PORT_CONFIG_INFO& info = m.ConfigInfo();
  EXPECT_EQ(info.NumEmulatorAccessEntries, 6u);
  EXPECT_EQ(info.EmulatorAccessEntries, VgaEmulatorAccessEntries);
  EXPECT_EQ(info.EmulatorAccessEntriesContext, reinterpret_cast<ULONG_PTR>(m.DeviceExtension()));
  EXPECT_EQ(info.VdmPhysicalVideoMemoryAddress.QuadPart, 0xA0000);
  EXPECT_EQ(info.VdmPhysicalVideoMemoryLength, 0x20000u);
  EXPECT_EQ(info.HardwareStateSize, 264359u);

  // The ROM's size byte counts 512-byte blocks: 64 of them. (Views, chip and
  // linear base are the find-adapter table's; the ROM range the public ranges'.)
  EXPECT_EQ(Ext(m).BiosRomSizeKb, 32);

  // Chip, DAC, memory size and adapter string, in that order.
  std::vector<std::pair<std::u16string, std::vector<uint8_t>>> registry;
  for (const auto& value : m.Registry())
    registry.emplace_back(value.name, value.data);
  EXPECT_EQ(registry,
            (decltype(registry){{u"HardwareInformation.ChipType", Wide("Zel B1")},
                                {u"HardwareInformation.DacType", Wide("Zel")},
                                {u"HardwareInformation.MemorySize", {0x00, 0x00, 0x40, 0x00}},
                                {u"HardwareInformation.AdapterString", Wide("Zel Compatible")}}));
}

TEST(Discovery, ConfigRecordOf71BytesIsRefusedBeforeAnythingIsClaimed) {
  Machine m;
  m.trace().Start();
  m.SetConfigInfoLength(71);
  m.Load();
  EXPECT_EQ(Status(m), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(m.CallCount(Service::VerifyAccessRanges), 0u);
  EXPECT_EQ(m.CallCount(Service::GetDeviceBase), 0u);
  EXPECT_TRUE(m.trace().Entries().empty());
  // 72 bytes, the platform's own length, is the default adapter's load above.
}

// One adapter and platform each: the Isa find-adapter status, the chip kind
// (12 B1, 11 A1: also the kind when no PCI revision was read), where the
// linear range went and how many claims it took (0: not checked).
TEST(Discovery, FindAdapterOnEachAdapter) {
  const struct {
    const char* what;
    void (*setup)(Profile&);
    std::vector<Fault> faults;
    VP_STATUS status;
    UCHAR chip;
    int64_t linear;
    uint32_t verifications;
  } cases[] = {
      // clang-format off
      // Platform services failing: the claim's own status is passed back unchanged.
      {"legacy claim refused", nullptr, {{Service::VerifyAccessRanges, 0, 1, 0x4C7}}, 0x4C7, 0, 0, 0},
      {"port view null", nullptr, {NullView(0x3B0, 0x30)}, ERROR_INVALID_PARAMETER, 0, 0, 0},
      // The first ROM mapping is identification's: no IDs, no chip.
      {"ROM unmappable at identification", nullptr, {NullView(0xC0000, 1)}, ERROR_DEV_NOT_EXIST, 0, 0, 0},
      {"0xA0000 view null", nullptr, {NullView(0xA0000, 1)}, ERROR_INVALID_PARAMETER, 0, 0, 0},
      {"linear view null", nullptr, {NullView(0xE0000000, 1)}, ERROR_INVALID_PARAMETER, 0, 0, 0},
      {"ROM view null at discovery", nullptr, {NullView(0xC0000, 1, 1)}, ERROR_INVALID_PARAMETER, 0, 0, 0},
      // Without the configuration ports the chip is still found, as an A1.
      {"configuration ports unmappable", nullptr, {NullView(0xCF0, 16)}, NO_ERROR, 11, 0, 0},
      // A BAR above 512 MB is claimed where it is, once; a refusal (another
      // device's range, system RAM) ends discovery there.
      {"a BAR above 512 MB is claimed once", nullptr, {{Service::VerifyAccessRanges, 1, kAll, 0x4C8}}, 0x4C8, 0, 0, 1 + 1},
      {"a BAR over system RAM", [](Profile& p) { p.ramTop = 0xE0800000; }, {}, ERROR_INVALID_PARAMETER, 0, 0, 1 + 1},
      {"registry writes refused: ignored", nullptr, {{Service::SetRegistryParameters, 0, kAll, ERROR_INVALID_PARAMETER}}, NO_ERROR, 12, 0, 0},
      // The linear range probed from the bottom without a BAR: 8 MB higher
      // after a foreign claim; at 512 MB (SR10 bit 6) one refusal ends it.
      {"claimable only 8 MB higher", [](Profile& p) { p.bar0 = 0; }, {}, NO_ERROR, 12, 0x08400000, 1 + 3},
      {"unclaimable at 512 MB", [](Profile& p) { p.bar0 = 0; p.sr10Bit6 = true; }, {{Service::VerifyAccessRanges, 1, kAll, 0x4C8}}, 0x4C8, 0, 0, 1 + 1},
      // The option ROM's IDs; those in the last 4 bytes of the window are still read.
      {"another vendor", [](Profile& p) { p.romVendor = 0x1F4C; }, {}, ERROR_DEV_NOT_EXIST, 0, 0, 0},
      // A VGA whose SR05 does not answer the key with 0xA1, whatever its ROM says.
      {"no Zel register bank", [](Profile& p) { p.defects.zelBankAbsent = true; }, {}, ERROR_DEV_NOT_EXIST, 0, 0, 0},
      {"another device", [](Profile& p) { p.romDevice = 0x7A53; }, {}, ERROR_DEV_NOT_EXIST, 0, 0, 0},
      {"IDs near the window's end", [](Profile& p) { p.romPcirOffset = 0xFF8; }, {}, NO_ERROR, 12, 0, 0},
      {"IDs beyond the 4 KB window", [](Profile& p) { p.romPcirOffset = 0xFFC; }, {}, ERROR_DEV_NOT_EXIST, 0, 0, 0},
      // The kind by the revision's low nibble.
      {"revision 0x09", [](Profile& p) { p.revision = 0x09; }, {}, NO_ERROR, 11, 0, 0},
      {"revision 0x19", [](Profile& p) { p.revision = 0x19; }, {}, NO_ERROR, 11, 0, 0},
      {"revision 0x0A", [](Profile& p) { p.revision = 0x0A; }, {}, NO_ERROR, 12, 0, 0},
      // The PCI scan: bus 1 devices 0 to 31, then bus 0 devices 1 to 20.
      {"bus 1 device 31", [](Profile& p) { p.pciDevice = 31; }, {}, NO_ERROR, 12, 0xE0000000, 0},
      {"bus 0 device 1", [](Profile& p) { p.pciBus = 0; p.pciDevice = 1; }, {}, NO_ERROR, 12, 0xE0000000, 0},
      {"bus 0 device 20", [](Profile& p) { p.pciBus = 0; p.pciDevice = 20; }, {}, NO_ERROR, 12, 0xE0000000, 0},
      {"bus 0 device 21: not found", [](Profile& p) { p.pciBus = 0; p.pciDevice = 21; }, {}, NO_ERROR, 11, 0x07C00000, 0},
      {"no PCI bus", [](Profile& p) { p.onPciBus = false; }, {}, NO_ERROR, 11, 0x07C00000, 0},
      {"no PCI bus, SR10 bit 6", [](Profile& p) { p.onPciBus = false; p.sr10Bit6 = true; }, {}, NO_ERROR, 11, 0x20000000, 0},
      // A BAR of flag bits holds no base; a base from the BAR wins over SR10 bit 6.
      {"BAR of flag bits only", [](Profile& p) { p.bar0 = 0x08; }, {}, NO_ERROR, 12, 0x07C00000, 0},
      {"BAR 0, SR10 bit 6", [](Profile& p) { p.bar0 = 0; p.sr10Bit6 = true; }, {}, NO_ERROR, 12, 0x20000000, 0},
      {"BAR over SR10 bit 6", [](Profile& p) { p.bar0 = 0xD800000F; p.sr10Bit6 = true; }, {}, NO_ERROR, 12, 0xD8000000, 1 + 1},
      // The 8 MB aperture's base is in the bits above 8 MB, as a memory BAR of
      // that size decodes it.
      {"BAR bits below 8 MB, high", [](Profile& p) { p.bar0 = 0xE0012348; }, {}, NO_ERROR, 12, 0xE0000000, 1 + 1},
      {"BAR bits below 8 MB, low", [](Profile& p) { p.bar0 = 0x04400028; }, {}, NO_ERROR, 12, 0x04000000, 1 + 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Profile p;
    if (c.setup) c.setup(p);
    Machine m(p);
    // The one case of four verifications finds the first 8 MB claimed.
    if (c.verifications == 1 + 3) m.AddForeignClaim(0x07C00000, 0x800000);
    for (const Fault& f : c.faults)
      m.InjectFault(f);
    m.Load();
    EXPECT_EQ(Status(m), c.status);
    if (c.chip != 0) {
      EXPECT_EQ(Ext(m).ChipType, c.chip);
    }
    if (c.linear != 0) {
      EXPECT_EQ(Ext(m).LinearFramePhysical.QuadPart, c.linear);
    }
    if (c.linear != 0 && sim::DefaultDriverImagePath().empty()) {
      EXPECT_EQ(MemoryMaps[VGA_LINEAR_MEMORY_MAP].Start, c.linear);
    }
    if (c.verifications != 0) {
      EXPECT_EQ(m.CallCount(Service::VerifyAccessRanges), c.verifications);
    }
    if (c.chip != 0 && !m.Registry().empty()) {
      EXPECT_EQ(m.Registry()[0].data, Wide(c.chip == 12 ? "Zel B1" : "Zel A1"));
    }
  }
}

// The ROM's window, the view discovery keeps and the public range a caller
// gets, is no longer than the ROM's header says (in whole KB): past a short
// ROM lies whatever follows it. Less than a KB: no view, and the public
// range cannot be made.
TEST(Discovery, TheRomWindowIsNoLongerThanTheRom) {
  const struct {
    uint32_t romKB;
    uint8_t blocks;  // header byte 2 as patched, 0: as built
    ULONG length;
    VP_STATUS ranges;
  } cases[] = {{32, 0, 4096, NO_ERROR},
               {4, 0, 4096, NO_ERROR},
               {1, 0, 1024, NO_ERROR},
               {1, 5, 2048, NO_ERROR},
               {1, 1, 0, ERROR_INVALID_PARAMETER}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.romKB << " KB, byte 2 " << int{c.blocks});
    Profile p;
    p.romKB = c.romKB;
    if (c.blocks) {
      p.romImage = sim::DerivePowerOn(p).optionRom;
      (*p.romImage)[2] = c.blocks;
    }
    Machine m(p);
    m.Load();
    ASSERT_EQ(Status(m), NO_ERROR);
    EXPECT_EQ(Ext(m).RomLength, c.length);
    EXPECT_EQ(Ext(m).RomView != nullptr, c.length != 0);
    VIDEO_PUBLIC_ACCESS_RANGES ranges[2]{};
    EXPECT_EQ(
        m.Ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, sizeof ranges).status,
        c.ranges);
    uint64_t romMapped = 0, romViewed = 0;
    for (const auto& mapping : m.Mappings())
      if (mapping.physical == 0xC0000) romMapped = mapping.length;
    for (const auto& view : m.Views())
      if (view.physical == 0xC0000) romViewed = view.length;
    EXPECT_EQ(romMapped, c.ranges == NO_ERROR ? c.length : 0);
    EXPECT_EQ(romViewed, c.length);
  }
}

// Each registration places the linear range from its own start: never where
// an earlier, failed call's walk ended (0x20400000, which is above 512 MB and
// would not be verified again).
TEST(Discovery, ASecondRegistrationPlacesTheLinearRangeAfresh) {
  const struct {
    const char* what;
    uint32_t ramTop;
    uint32_t failingProbes;  // Isa's linear-range verifications refused first
    VP_STATUS isa, eisa;
    int64_t linear;  // where the started device's aperture is, 0: none started
  } cases[] = {
      // clang-format off
      {"Isa's 98 probes refused, Eisa claims the start", 0x04000000, 98, 0x4C8, NO_ERROR, 0x07C00000},
      {"RAM up to 1 GB: nothing opens inside it", 0x40000000, 0, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER, 0},
      {"Isa found it: the adapter's ranges are that device's", 0x04000000, 0, NO_ERROR, ERROR_INVALID_PARAMETER, 0x07C00000},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Profile p;
    p.bar0 = 0;
    p.eisaBus = true;
    p.ramTop = c.ramTop;
    Machine m(p);
    if (c.failingProbes) {
      m.InjectFault(
          {Service::VerifyAccessRanges, 0, c.failingProbes, 0x4C8, 0x07C00000, 0x18800000});
    }
    m.Load();
    EXPECT_EQ(Status(m, Isa), c.isa);
    EXPECT_EQ(Status(m, Eisa), c.eisa);
    EXPECT_EQ(m.Started(), c.linear != 0);
    if (c.linear != 0) {
      EXPECT_EQ(Ext(m).LinearFramePhysical.QuadPart, c.linear);
    }
  }
}

// The configuration address of every device probed up to the match on bus
// 0 device 2, then the BAR and the revision read there.
TEST(Identification, ScanProbesBus1ThenBus0AndReadsBarAndRevisionAtTheMatch) {
  Profile p;
  p.pciBus = 0;
  p.pciDevice = 2;
  Machine m(p);
  m.trace().Start();
  m.Load();
  ASSERT_EQ(Status(m), NO_ERROR);
  std::vector<TraceEntry> addresses;
  for (const auto& e : m.trace().Entries()) {
    if (e.kind == sim::AccessKind::Out && e.address == 0xCF8) addresses.push_back(e);
  }
  std::vector<TraceEntry> expected;
  for (uint32_t a = 0x80010000; a <= 0x8001F800; a += 0x800)
    expected.push_back(Out32(0xCF8, a));
  for (const uint32_t a : {0x80000800u, 0x80001000u, 0x80001010u, 0x80001008u})
    expected.push_back(Out32(0xCF8, a));
  EXPECT_TRACE(addresses, expected);
}

// Every case names SR0C, SR0F, SR10, SR2F, SR23, SR33, SR13, SR28 and SR29
// so that nothing comes from the profile's own encoding.
TEST(Identification, MemoryConfigurationFromTheSequencer) {
  const struct {
    const char* what;
    uint8_t strap;
    uint8_t sr0c, sr0f, sr10, sr2f, sr23, sr33, sr13, sr28, sr29;
    ULONG size, busWidth;
    UCHAR type;
    USHORT clockMHz;
  } cases[] = {
      // clang-format off
      // clock: N 35, D 5, P 1
      {"100 MHz", 0, 0x02, 2, 0, 0, 0, 0, 0x00, 0x22, 0x04, 0x400000, 64, 0, 100},
      // 14 * 14318 / 3 = 66817 kHz rounds up; P 2 gives 33408 kHz, down
      {"67 MHz", 0, 0x02, 2, 0, 0, 0, 0, 0x00, 0x0D, 0x02, 0x400000, 64, 0, 67},
      {"33 MHz", 0, 0x02, 2, 0, 0, 0, 0, 0x80, 0x0D, 0x02, 0x400000, 64, 0, 33},
      // SR28 bit 7 doubles N (28), SR29 bits 6-5 = 1 give P 2: 14 * 14318 * 2 / 6
      {"N doubled, P 2", 0, 0x02, 2, 0, 0, 0, 0, 0x00, 0x8D, 0x22, 0x400000, 64, 0, 67},
      {"strap, SR10 nibble 2", 1, 0x02, 2, 0x02, 0, 0, 0, 0, 0, 0, 0x400000, 64, 0, 83},
      {"strap, nibble 1", 1, 0x02, 2, 0x01, 0, 0, 0, 0, 0, 0, 0x400000, 64, 0, 75},
      {"strap, nibble 3", 1, 0x02, 2, 0x03, 0, 0, 0, 0, 0, 0, 0x400000, 64, 0, 100},
      {"strap, nibble 15", 1, 0x02, 2, 0x0F, 0, 0, 0, 0, 0, 0, 0x400000, 64, 0, 66},
      {"SR0F 0", 0, 0x02, 0, 0, 0, 0, 0, 0, 0x22, 0x04, 0x100000, 64, 0, 100},
      {"SR0F 1", 0, 0x02, 1, 0, 0, 0, 0, 0, 0x22, 0x04, 0x200000, 64, 0, 100},
      {"SR10 bit 7 over SR0F", 0, 0x02, 1, 0x80, 0, 0, 0, 0, 0x22, 0x04, 0x800000, 64, 0, 100},
      {"8 banks, 64-bit", 0, 0x02, 3, 0, 7, 0, 0, 0, 0x22, 0x04, 0x400000, 64, 0, 100},
      {"8 banks, 32-bit", 0, 0x10, 3, 0, 7, 0, 0, 0, 0x22, 0x04, 0x200000, 32, 0, 100},
      {"1 bank, 32-bit", 0, 0x00, 3, 0, 0xF8, 0, 0, 0, 0x22, 0x04, 0x40000, 32, 0, 100},
      {"SR0C 0x12", 0, 0x12, 2, 0, 0, 0, 0, 0, 0x22, 0x04, 0x400000, 32, 0, 100},
      {"SR0C 0x04", 0, 0x04, 2, 0, 0, 0, 0, 0, 0x22, 0x04, 0x400000, 64, 0, 100},
      {"SR0C 0x16", 0, 0x16, 2, 0, 0, 0, 0, 0, 0x22, 0x04, 0x400000, 64, 0, 100},
      {"SR33 bit 0", 0, 0x02, 2, 0, 0, 0x20, 0x01, 0, 0x22, 0x04, 0x400000, 64, 3, 100},
      {"SR33 bit 3", 0, 0x02, 2, 0, 0, 0x20, 0x08, 0, 0x22, 0x04, 0x400000, 64, 2, 100},
      {"SR23 bit 5", 0, 0x02, 2, 0, 0, 0x20, 0x06, 0, 0x22, 0x04, 0x400000, 64, 1, 100},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Profile p;
    p.strap = c.strap;
    p.seqOverrides = {{0x0C, c.sr0c}, {0x0F, c.sr0f}, {0x10, c.sr10},
                      {0x13, c.sr13}, {0x23, c.sr23}, {0x28, c.sr28},
                      {0x29, c.sr29}, {0x2F, c.sr2f}, {0x33, c.sr33}};
    Machine m(p);
    m.Load();
    ASSERT_EQ(Status(m), NO_ERROR);
    const VgaDeviceExtension& ext = Ext(m);
    EXPECT_EQ(ext.VideoMemorySize, c.size);
    EXPECT_EQ(ext.MemoryBusWidth, c.busWidth);
    EXPECT_EQ(ext.MemoryType, c.type);
    EXPECT_EQ(ext.MemoryClockMHz, c.clockMHz);
    EXPECT_EQ(ext.MemoryStrapFlag, c.strap);
  }
}

// The key ports as restore uses them: the mode key at 0x3D8 or 0x3B8 by
// the addressing misc output bit 0 selects.
TEST(Identification, KeyPortsFollowTheAddressingMode) {
  ZEL_LINKED_DRIVER_ONLY();
  for (const auto& [misc, port] : {std::pair<uint8_t, uint16_t>{0x67, 0x3D8}, {0x66, 0x3B8}}) {
    SCOPED_TRACE(testing::Message() << "misc " << int(misc));
    Machine m;
    m.Load();
    ASSERT_EQ(Status(m), NO_ERROR);
    m.adapter().Out8(0x3C2, misc);
    const size_t mark = m.trace().Start();
    ZelUnlockKeyRegs(&Ext(m));
    ZelLockKeyRegs(&Ext(m));
    EXPECT_TRACE(m.trace().Since(mark), {Out8(0x3BF, 0x03), In8(0x3CC, misc), Out8(port, 0xA0),
                                         Out8(0x3BF, 0x00), In8(0x3CC, misc), Out8(port, 0x00)});
  }
}

// --- the VGA presence test, from a known state: GR04 2, GR08 0x7E, the
// graphics index at 5, SR04 6, the sequencer index at 1. GR04 takes 3, then
// GR08 a walking bit, GR04 is read back; then SR04's chain-4 bit toggles in
// a synchronous reset. A refusal writes back only what it changed.

const std::vector<TraceEntry> kGcProbe = {Out8(0x3CE, 0x04), Out8(0x3CF, 0x03), Out8(0x3CE, 0x08),
                                          Out8(0x3CF, 0xBB), Out8(0x3CF, 0x5D), Out8(0x3CF, 0x2E),
                                          Out8(0x3CF, 0x17), Out8(0x3CF, 0x0B), Out8(0x3CF, 0x05),
                                          Out8(0x3CF, 0x02), Out8(0x3CF, 0x01), Out8(0x3CE, 0x04)};
// GR04, GR08 and the graphics index as found.
const std::vector<TraceEntry> kGcRestore = {Out8(0x3CF, 0x02), Out8(0x3CE, 0x08), Out8(0x3CF, 0x7E),
                                            Out8(0x3CE, 0x05)};
// SR04 toggled to 0x0E in a synchronous reset.
const std::vector<TraceEntry> kSr04Toggle = {Out8(0x3C4, 0x04), Out16(0x3C4, 0x0100),
                                             Out8(0x3C4, 0x04), Out8(0x3C5, 0x0E)};

TEST(VgaPresence, WritesBackWhatItChanged) {
  const struct {
    const char* what;
    sim::Defects defects;
    bool found;
    std::vector<test::Op> writes;  // every write up to the end (a found VGA: its first ones)
  } cases[] = {
      // clang-format off
      {"working: proved and put back as found", {}, true,  // identification's unlock comes next
       {kGcProbe, kGcRestore, kSr04Toggle, Out8(0x3C5, 0x06), Out16(0x3C4, 0x0300), Out8(0x3C4, 0x01), Out16(0x3C4, 0x8605)}},
      {"graphics index masked: one write, nothing restored", {.graphicsIndexMasked = true}, false, {Out8(0x3CE, 0x04)}},
      // Index 8 reads back as 0: GR04 is back at plane 0, GR08 was never written.
      {"graphics index of three bits", {.graphicsIndexThreeBits = true}, false,
       {Out8(0x3CE, 0x04), Out8(0x3CF, 0x03), Out8(0x3CE, 0x08), Out8(0x3CE, 0x04), Out8(0x3CF, 0x00)}},
      {"bit mask bit 0 stuck: stops at 0xBB", {.bitMaskStuckLow = 0x01}, false,
       {Out8(0x3CE, 0x04), Out8(0x3CF, 0x03), Out8(0x3CE, 0x08), Out8(0x3CF, 0xBB), Out8(0x3CF, 0xFF), Out8(0x3CE, 0x04), Out8(0x3CF, 0x00)}},
      {"bit mask bit 2 stuck: stops at 0x5D", {.bitMaskStuckLow = 0x04}, false,
       {Out8(0x3CE, 0x04), Out8(0x3CF, 0x03), Out8(0x3CE, 0x08), Out8(0x3CF, 0xBB), Out8(0x3CF, 0x5D), Out8(0x3CF, 0xFF), Out8(0x3CE, 0x04), Out8(0x3CF, 0x00)}},
      // One data register with bit 0 stuck: GR04 reads 2 and goes back to plane 0.
      {"read map does not hold its probe", {.bitMaskStuckLow = 0x01, .graphicsDataNotIndexed = true}, false,
       {Out8(0x3CE, 0x04), Out8(0x3CF, 0x03), Out8(0x3CF, 0x00)}},
      // GR04 reads the last shifted value, 0x01, not its 3.
      {"data port not indexed", {.graphicsDataNotIndexed = true}, false, {kGcProbe, Out8(0x3CF, 0x00), Out8(0x3CE, 0x08), Out8(0x3CF, 0xFF)}},
      {"sequencer index masked: one write, nothing restored", {.sequencerIndexMasked = true}, false, {kGcProbe, kGcRestore, Out8(0x3C4, 0x04)}},
      // SR04 is left at 0x02 and the reset ends; the sequencer index stays.
      {"chain 4 stuck", {.chain4Stuck = true}, false, {kGcProbe, kGcRestore, kSr04Toggle, Out8(0x3C5, 0x02), Out16(0x3C4, 0x0300)}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Profile p;
    p.defects = c.defects;
    Machine m(p);
    m.adapter().Out16(0x3CE, 0x0204);
    m.adapter().Out16(0x3CE, 0x7E08);
    m.adapter().Out8(0x3CE, 0x05);
    m.adapter().Out16(0x3C4, 0x0604);
    m.adapter().Out8(0x3C4, 0x01);
    m.trace().Start();
    m.Load();
    EXPECT_EQ(Status(m), c.found ? NO_ERROR : ERROR_DEV_NOT_EXIST);
    std::vector<TraceEntry> expected;
    for (const test::Op& op : c.writes)
      expected.insert(expected.end(), op.entries.begin(), op.entries.end());
    std::vector<TraceEntry> writes = sim::Writes(m.trace().Entries());
    if (c.found && writes.size() > expected.size()) writes.resize(expected.size());
    EXPECT_TRACE(writes, expected);
  }
}

}  // namespace
