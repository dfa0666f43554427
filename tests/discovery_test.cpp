// Adapter discovery and the VGA presence test, through the simulated
// machine: statuses of every failure, what the presence test writes back on
// each refusal, the placement of the linear frame buffer and the
// configuration record handed to the video port.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "detect/detect.h"
#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/machine.h"
#include "support/linked_only.h"
#include "vdm/vdm.h"

namespace {

using sim::Fault;
using sim::Machine;
using sim::Profile;
using sim::Service;
using sim::TraceEntry;
namespace io = sim::io;

VgaDeviceExtension& Ext(Machine& m) {
  return *static_cast<VgaDeviceExtension*>(m.DeviceExtension());
}

// The find-adapter result of the ISA registration, the only one that reaches
// the adapter.
VP_STATUS IsaStatus(const Machine& m) {
  for (const auto& r : m.Registrations()) {
    if (r.bus == Isa) return r.findAdapterStatus;
  }
  ADD_FAILURE() << "no ISA registration";
  return -1;
}

// A service that fails from its `first` call on, `count` times.
Fault Failing(Service service, VP_STATUS status, uint32_t first = 0, uint32_t count = 1) {
  Fault f;
  f.service = service;
  f.status = status;
  f.firstCall = first;
  f.count = count;
  return f;
}

// A null view for the `first`-th mapping that starts inside [start, start + length).
Fault NullView(uint64_t start, uint64_t length, uint32_t first = 0) {
  Fault f;
  f.service = Service::GetDeviceBase;
  f.firstCall = first;
  f.rangeStart = start;
  f.rangeLength = length;
  return f;
}

constexpr uint32_t kAll = UINT32_MAX;

TEST(Discovery, DefaultAdapterLoadsAndFillsTheConfigRecord) {
  ZEL_LINKED_DRIVER_ONLY();
  Machine m;
  EXPECT_EQ(m.Load(), 0u);
  EXPECT_EQ(IsaStatus(m), NO_ERROR);
  ASSERT_TRUE(m.Started());

  const VIDEO_PORT_CONFIG_INFO& info = m.ConfigInfo();
  EXPECT_EQ(info.NumEmulatorAccessEntries, 6u);
  EXPECT_EQ(info.EmulatorAccessEntries, VgaEmulatorAccessEntries);
  EXPECT_EQ(info.EmulatorAccessEntriesContext, reinterpret_cast<ULONG_PTR>(m.DeviceExtension()));
  EXPECT_EQ(info.VdmPhysicalVideoMemoryAddress.QuadPart, 0xA0000);
  EXPECT_EQ(info.VdmPhysicalVideoMemoryLength, 0x20000u);
  EXPECT_EQ(info.HardwareStateSize, 264359u);

  VgaDeviceExtension& ext = Ext(m);
  EXPECT_EQ(ext.IoBase, reinterpret_cast<PUCHAR>(0x3B0));
  EXPECT_NE(ext.A0000View, nullptr);
  EXPECT_NE(ext.LinearFrameView, nullptr);
  EXPECT_NE(ext.RomView, nullptr);
  EXPECT_EQ(ext.RomPhysical.QuadPart, 0xC0000);
  EXPECT_EQ(ext.RomLength, 4096u);
  // The default BAR (0xE0000008) places the frame buffer; its flag bits go.
  EXPECT_EQ(ext.LinearFramePhysical.QuadPart, 0xE0000000);
  EXPECT_EQ(MemoryMaps[VGA_LINEAR_MEMORY_MAP].Start, 0xE0000000u);
}

TEST(Discovery, ConfigRecordOf71BytesIsRefusedBeforeAnythingIsClaimed) {
  Machine m;
  m.trace().Start();
  m.SetConfigInfoLength(71);
  m.Load();
  EXPECT_EQ(IsaStatus(m), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(m.CallCount(Service::VerifyAccessRanges), 0u);
  EXPECT_EQ(m.CallCount(Service::GetDeviceBase), 0u);
  EXPECT_TRUE(m.trace().Entries().empty());

  Machine accepted;
  accepted.SetConfigInfoLength(72);
  accepted.Load();
  EXPECT_EQ(IsaStatus(accepted), NO_ERROR);
}

struct FaultCase {
  const char* what;
  Fault fault;
  VP_STATUS status;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.what;
}

class DiscoveryFault : public testing::TestWithParam<FaultCase> {};

TEST_P(DiscoveryFault, ReturnsTheExpectedStatus) {
  Machine m;
  m.InjectFault(GetParam().fault);
  m.Load();
  EXPECT_EQ(IsaStatus(m), GetParam().status) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiscoveryFault,
    testing::Values(
        // The claim's own status is passed back unchanged.
        FaultCase{"legacy claim refused", Failing(Service::VerifyAccessRanges, 0x4C7), 0x4C7},
        FaultCase{"port view null", NullView(0x3B0, 0x30), ERROR_INVALID_PARAMETER},
        // The first ROM mapping is identification's: no IDs, no chip.
        FaultCase{"ROM unmappable at identification", NullView(0xC0000, 1), ERROR_DEV_NOT_EXIST},
        FaultCase{"0xA0000 view null", NullView(0xA0000, 1), ERROR_INVALID_PARAMETER},
        FaultCase{"linear view null", NullView(0xE0000000, 1), ERROR_INVALID_PARAMETER},
        FaultCase{"ROM view null at discovery", NullView(0xC0000, 1, 1), ERROR_INVALID_PARAMETER},
        // Without the configuration ports the chip is still identified.
        FaultCase{"configuration ports unmappable", NullView(0xCF0, 16), NO_ERROR},
        FaultCase{"claims past the first refused: a BAR above 512 MB is never verified",
                  Failing(Service::VerifyAccessRanges, 0x4C8, 1, kAll), NO_ERROR}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::to_string(info.index); });

// --- the linear frame buffer probing (bar0 0: the BAR does not override)

TEST(Discovery, LinearRangeClaimableOnly8MBHigherTakesThreeVerifications) {
  ZEL_LINKED_DRIVER_ONLY();
  Profile p;
  p.bar0 = 0;
  Machine m(p);
  m.AddForeignClaim(0x07C00000, 0x800000);
  m.Load();
  EXPECT_EQ(IsaStatus(m), NO_ERROR);
  EXPECT_EQ(m.CallCount(Service::VerifyAccessRanges), 1u + 3u);
  EXPECT_EQ(Ext(m).LinearFramePhysical.QuadPart, 0x08400000);
  EXPECT_EQ(MemoryMaps[VGA_LINEAR_MEMORY_MAP].Start, 0x08400000u);
}

TEST(Discovery, LinearRangeAt512MBThatCannotBeClaimedFailsAfterOneVerification) {
  Profile p;
  p.bar0 = 0;
  p.sr10Bit6 = true;  // start at 0x20000000
  Machine m(p);
  m.InjectFault(Failing(Service::VerifyAccessRanges, 0x4C8, 1, kAll));
  m.Load();
  EXPECT_EQ(IsaStatus(m), 0x4C8);
  EXPECT_EQ(m.CallCount(Service::VerifyAccessRanges), 1u + 1u);
}

TEST(Discovery, LinearRangeAbove512MBIsTakenWithoutVerification) {
  Profile p;
  p.bar0 = 0xE0000000;
  Machine m(p);
  m.Load();
  EXPECT_EQ(IsaStatus(m), NO_ERROR);
  EXPECT_EQ(m.CallCount(Service::VerifyAccessRanges), 1u);
  EXPECT_EQ(Ext(m).LinearFramePhysical.QuadPart, 0xE0000000);
}

// --- a second registration (the Eisa one on an EISA machine) after the Isa one

VP_STATUS RegistrationStatus(const Machine& m, INTERFACE_TYPE bus) {
  for (const auto& r : m.Registrations()) {
    if (r.bus == bus) return r.findAdapterStatus;
  }
  return -1;
}

struct SecondCallCase {
  const char* what;
  uint32_t ramTop;
  uint32_t failingProbes;  // Isa's linear-range verifications refused first
  VP_STATUS isa, eisa;
  uint64_t linear;  // where the started device's aperture is, 0: none started
};

// Each call places the linear range from its own start: never where an
// earlier, failed call's walk ended (0x20400000, which is above 512 MB and
// would not be verified again).
TEST(Discovery, ASecondRegistrationPlacesTheLinearRangeAfresh) {
  const SecondCallCase cases[] = {
      {"Isa's 98 probes refused, Eisa claims the start", 0x04000000, 98, 0x4C8, NO_ERROR,
       0x07C00000},
      {"RAM up to 1 GB: nothing opens inside it", 0x40000000, 0, ERROR_INVALID_PARAMETER,
       ERROR_INVALID_PARAMETER, 0},
      {"Isa found it: the adapter's ranges are that device's", 0x04000000, 0, NO_ERROR,
       ERROR_INVALID_PARAMETER, 0x07C00000},
  };
  for (const SecondCallCase& c : cases) {
    SCOPED_TRACE(c.what);
    Profile p;
    p.bar0 = 0;
    p.eisaBus = true;
    p.ramTop = c.ramTop;
    Machine m(p);
    Fault probes = Failing(Service::VerifyAccessRanges, 0x4C8, 0, c.failingProbes);
    probes.rangeStart = 0x07C00000;
    probes.rangeLength = 0x18800000;
    if (c.failingProbes) m.InjectFault(probes);
    m.Load();
    EXPECT_EQ(RegistrationStatus(m, Isa), c.isa);
    EXPECT_EQ(RegistrationStatus(m, Eisa), c.eisa);
    EXPECT_EQ(m.Started(), c.linear != 0);
    if (c.linear != 0) {
      EXPECT_EQ(Ext(m).LinearFramePhysical.QuadPart, static_cast<LONGLONG>(c.linear));
    }
  }
}

// --- the VGA presence test's refusals, by what they write back

struct PresenceCase {
  const char* what;
  sim::Defects defects;
  std::vector<TraceEntry> writes;  // before the restore of the graphics controller
  bool reachesSequencer;           // the graphics controller is restored first
  std::vector<TraceEntry> sequencerWrites;
};

void PrintTo(const PresenceCase& c, std::ostream* os) {
  *os << c.what;
}

class VgaPresence : public testing::TestWithParam<PresenceCase> {};

const std::vector<TraceEntry> kGcProbe = {
    io::Out8(0x3CE, 0x04), io::Out8(0x3CF, 0x03), io::Out8(0x3CE, 0x08), io::Out8(0x3CF, 0xBB),
    io::Out8(0x3CF, 0x5D), io::Out8(0x3CF, 0x2E), io::Out8(0x3CF, 0x17), io::Out8(0x3CF, 0x0B),
    io::Out8(0x3CF, 0x05), io::Out8(0x3CF, 0x02), io::Out8(0x3CF, 0x01), io::Out8(0x3CE, 0x04)};

std::vector<TraceEntry> Concat(std::vector<TraceEntry> a, const std::vector<TraceEntry>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_P(VgaPresence, RefusalWritesBackExactlyThis) {
  const PresenceCase& c = GetParam();
  Profile p;
  p.defects = c.defects;
  Machine m(p);
  m.trace().Start();
  const sim::VgaState before = m.adapter().WholeState();
  m.Load();
  EXPECT_EQ(IsaStatus(m), ERROR_DEV_NOT_EXIST);

  std::vector<TraceEntry> expected = c.writes;
  if (c.reachesSequencer) {
    expected = Concat(expected, {io::Out8(0x3CF, before.gc[4]), io::Out8(0x3CE, 0x08),
                                 io::Out8(0x3CF, before.gc[8]), io::Out8(0x3CE, before.gcIndex)});
    expected = Concat(expected, c.sequencerWrites);
  }
  const std::string diff = sim::CompareTraces(expected, sim::Writes(m.trace().Entries()));
  EXPECT_TRUE(diff.empty()) << c.what << ": " << diff;
}

INSTANTIATE_TEST_SUITE_P(
    Defects, VgaPresence,
    testing::Values(
        PresenceCase{"graphics index masked: one write, nothing restored",
                     {.graphicsIndexMasked = true},
                     {io::Out8(0x3CE, 0x04)},
                     false,
                     {}},
        PresenceCase{"bit mask bit 0 stuck: stops at 0xBB",
                     {.bitMaskStuckLow = 0x01},
                     {io::Out8(0x3CE, 0x04), io::Out8(0x3CF, 0x03), io::Out8(0x3CE, 0x08),
                      io::Out8(0x3CF, 0xBB), io::Out8(0x3CF, 0xFF), io::Out8(0x3CE, 0x04),
                      io::Out8(0x3CF, 0x00)},
                     false,
                     {}},
        PresenceCase{"bit mask bit 2 stuck: stops at 0x5D",
                     {.bitMaskStuckLow = 0x04},
                     {io::Out8(0x3CE, 0x04), io::Out8(0x3CF, 0x03), io::Out8(0x3CE, 0x08),
                      io::Out8(0x3CF, 0xBB), io::Out8(0x3CF, 0x5D), io::Out8(0x3CF, 0xFF),
                      io::Out8(0x3CE, 0x04), io::Out8(0x3CF, 0x00)},
                     false,
                     {}},
        // GR04 reads the last shifted value, 0x01, not its 3.
        PresenceCase{
            "data port not indexed",
            {.graphicsDataNotIndexed = true},
            Concat(kGcProbe, {io::Out8(0x3CF, 0x00), io::Out8(0x3CE, 0x08), io::Out8(0x3CF, 0xFF)}),
            false,
            {}},
        PresenceCase{"sequencer index masked: one write, nothing restored",
                     {.sequencerIndexMasked = true},
                     kGcProbe,
                     true,
                     {io::Out8(0x3C4, 0x04)}}),
    [](const testing::TestParamInfo<PresenceCase>& info) { return std::to_string(info.index); });

TEST(VgaPresence, Chain4StuckLeavesSr04At0x02AndEndsTheReset) {
  Profile p;
  p.defects.chain4Stuck = true;
  Machine m(p);
  m.trace().Start();
  const sim::VgaState before = m.adapter().WholeState();
  m.Load();
  EXPECT_EQ(IsaStatus(m), ERROR_DEV_NOT_EXIST);

  const std::vector<TraceEntry> expected =
      Concat(kGcProbe,
             {io::Out8(0x3CF, before.gc[4]), io::Out8(0x3CE, 0x08), io::Out8(0x3CF, before.gc[8]),
              io::Out8(0x3CE, before.gcIndex), io::Out8(0x3C4, 0x04), io::Out16(0x3C4, 0x0100),
              io::Out8(0x3C4, 0x04), io::Out8(0x3C5, static_cast<uint8_t>(before.seq[4] ^ 0x08)),
              io::Out8(0x3C5, 0x02), io::Out16(0x3C4, 0x0300)});
  const std::string diff = sim::CompareTraces(expected, sim::Writes(m.trace().Entries()));
  EXPECT_TRUE(diff.empty()) << diff;
  EXPECT_EQ(m.adapter().Seq(4), 0x02);
  EXPECT_EQ(m.adapter().Seq(0), 0x03);
}

TEST(VgaPresence, WorkingVgaIsProvedAndPutBackAsFound) {
  Machine m;
  m.trace().Start();
  const sim::VgaState before = m.adapter().WholeState();
  m.Load();
  ASSERT_EQ(IsaStatus(m), NO_ERROR);

  const UCHAR sr04 = before.seq[4];
  std::vector<TraceEntry> expected =
      Concat(kGcProbe,
             {io::Out8(0x3CF, before.gc[4]), io::Out8(0x3CE, 0x08), io::Out8(0x3CF, before.gc[8]),
              io::Out8(0x3CE, before.gcIndex), io::Out8(0x3C4, 0x04), io::Out16(0x3C4, 0x0100),
              io::Out8(0x3C4, 0x04), io::Out8(0x3C5, static_cast<uint8_t>(sr04 ^ 0x08)),
              io::Out8(0x3C5, sr04), io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, before.seqIndex),
              // identification's unlock comes next
              io::Out16(0x3C4, 0x8605)});
  std::vector<TraceEntry> writes = sim::Writes(m.trace().Entries());
  if (writes.size() > expected.size()) writes.resize(expected.size());
  const std::string diff = sim::CompareTraces(expected, writes);
  EXPECT_TRUE(diff.empty()) << diff;
}

}  // namespace
