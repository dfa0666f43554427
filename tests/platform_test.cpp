// The video port services of the simulated machine, called the way a driver
// calls them: ports, views, the register and memory services, claims, caller
// mappings, the BIOS, the registry, trap sets and synchronised execution.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "miniport/port_io.h"
#include "miniport/videoport.h"
#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/trace.h"

namespace sim {
namespace {

PHYSICAL_ADDRESS Phys(uint64_t address) {
  PHYSICAL_ADDRESS p;
  p.QuadPart = static_cast<LONGLONG>(address);
  return p;
}

PUCHAR MemoryView(uint64_t physical, ULONG length) {
  return static_cast<PUCHAR>(VideoPortGetDeviceBase(nullptr, Phys(physical), length, 0));
}

template <typename T>
T* PortAddress(uint16_t port) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(port));
}

// Mode 13h-like planar state, set on the bus side (untraced): chain 4,
// all planes enabled, write mode 0 without set/reset, the window at
// 0xA0000 for 64 KB. A byte written to the window then reads back as written.
void ChainFourWindow(Adapter& a) {
  const uint8_t seq[][2] = {{0x02, 0x0F}, {0x04, 0x0E}};
  const uint8_t gc[][2] = {{0x00, 0x00}, {0x01, 0x00}, {0x03, 0x00},
                           {0x05, 0x40}, {0x06, 0x05}, {0x08, 0xFF}};
  for (const auto& r : seq) {
    a.Out8(0x3C4, r[0]);
    a.Out8(0x3C5, r[1]);
  }
  for (const auto& r : gc) {
    a.Out8(0x3CE, r[0]);
    a.Out8(0x3CF, r[1]);
  }
}

// Places the linear aperture at `base` (SR20 base bits 26-19, SR21 bits
// 31-27) and opens it (SR06 bit 7), on the bus side.
void OpenAperture(Adapter& a, uint32_t base) {
  const uint8_t seq[][2] = {{0x05, 0x86},
                            {0x20, static_cast<uint8_t>(base >> 19)},
                            {0x21, static_cast<uint8_t>(base >> 27)}};
  for (const auto& r : seq) {
    a.Out8(0x3C4, r[0]);
    a.Out8(0x3C5, r[1]);
  }
  a.Out8(0x3C4, 0x06);
  const uint8_t sr06 = a.In8(0x3C5);
  a.Out8(0x3C5, sr06 | 0x80);
}

// ---------------------------------------------------------------------------
// Ports

struct FloatingCase {
  uint16_t port;
  unsigned size;
  TraceEntry traced;
};

void PrintTo(const FloatingCase& c, std::ostream* os) {
  *os << Format(c.traced);
}

class FloatingPorts : public ::testing::TestWithParam<FloatingCase> {};

TEST_P(FloatingPorts, ReadAllOnesAndAreTraced) {
  Machine m;
  m.trace().Start();
  const auto& c = GetParam();
  ULONG value = 0;
  switch (c.size) {
    case 1:
      value = VideoPortReadPortUchar(PortAddress<UCHAR>(c.port));
      break;
    case 2:
      value = VideoPortReadPortUshort(PortAddress<USHORT>(c.port));
      break;
    default:
      value = VideoPortReadPortUlong(PortAddress<ULONG>(c.port));
  }
  EXPECT_EQ(value, c.traced.value);
  EXPECT_EQ(CompareTraces({c.traced}, m.trace().Entries()), "");
}

// Just outside both decoded blocks, and a narrow read of the bridge's
// address register, which only answers 32-bit accesses.
INSTANTIATE_TEST_SUITE_P(PlatformPorts, FloatingPorts,
                         ::testing::Values(FloatingCase{0x3AF, 1, io::In8(0x3AF, 0xFF)},
                                           FloatingCase{0x3E0, 1, io::In8(0x3E0, 0xFF)},
                                           FloatingCase{0x80, 2, io::In16(0x80, 0xFFFF)},
                                           FloatingCase{0xCF7, 4, io::In32(0xCF7, 0xFFFFFFFF)},
                                           FloatingCase{0xD00, 1, io::In8(0xD00, 0xFF)},
                                           FloatingCase{0xCF8, 1, io::In8(0xCF8, 0xFF)}));

TEST(Ports, AdapterAndBridgeAnswerTheirPortsInOrder) {
  Machine m;
  m.trace().Start();
  VideoPortWritePortUchar(PortAddress<UCHAR>(0x3CE), 0x04);
  EXPECT_EQ(VideoPortReadPortUchar(PortAddress<UCHAR>(0x3CE)), 0x04);
  VideoPortWritePortUshort(PortAddress<USHORT>(0x3C4), 0x0B02);    // SR02 = 0x0B
  VideoPortWritePortUlong(PortAddress<ULONG>(0xCF8), 0x80010000);  // bus 1, device 0, dword 0
  EXPECT_EQ(VideoPortReadPortUlong(PortAddress<ULONG>(0xCFC)), 0x7A521F4Bu);
  VideoPortWritePortUchar(PortAddress<UCHAR>(0x80), 0x12);  // nobody: lost, but seen

  EXPECT_EQ(m.adapter().Seq(0x02), 0x0B);
  EXPECT_EQ(CompareTraces(
                {io::Out8(0x3CE, 0x04), io::In8(0x3CE, 0x04), io::Out16(0x3C4, 0x0B02),
                 io::Out32(0xCF8, 0x80010000), io::In32(0xCFC, 0x7A521F4B), io::Out8(0x80, 0x12)},
                m.trace().Entries()),
            "");
}

TEST(Ports, BufferWritesAreARunOfSingleWritesToOnePort) {
  Machine m;
  m.trace().Start();
  UCHAR rgb[] = {0x3F, 0x20, 0x01};
  USHORT gc[] = {0x0005, 0x7E08};
  VideoPortWritePortUchar(PortAddress<UCHAR>(0x3C8), 0x07);
  VideoPortWritePortBufferUchar(PortAddress<UCHAR>(0x3C9), rgb, 3);
  VideoPortWritePortBufferUshort(PortAddress<USHORT>(0x3CE), gc, 2);

  EXPECT_EQ(m.adapter().Dac(7), (Rgb{0x3F, 0x20, 0x01}));
  EXPECT_EQ(m.adapter().Gc(0x08), 0x7E);
  EXPECT_EQ(
      CompareTraces({io::Out8(0x3C8, 0x07), io::Out8(0x3C9, 0x3F), io::Out8(0x3C9, 0x20),
                     io::Out8(0x3C9, 0x01), io::Out16(0x3CE, 0x0005), io::Out16(0x3CE, 0x7E08)},
                    m.trace().Entries()),
      "");
}

TEST(Ports, TheDirectPortShimSharesTheBusAndTheTrace) {
  Machine m;
  m.trace().Start();
  PortOut8(0x3C4, 0x02);
  PortOut8(0x3C5, 0x05);
  EXPECT_EQ(PortIn8(0x3C5), 0x05);
  EXPECT_EQ(PortIn8(0x3E8), 0xFF);
  EXPECT_EQ(CompareTraces({io::Out8(0x3C4, 0x02), io::Out8(0x3C5, 0x05), io::In8(0x3C5, 0x05),
                           io::In8(0x3E8, 0xFF)},
                          m.trace().Entries()),
            "");
}

TEST(PortsDeathTest, APortServiceGivenAMemoryViewStops) {
  Machine m;
  PUCHAR view = MemoryView(0xA0000, 0x20000);
  EXPECT_DEATH(VideoPortReadPortUchar(view), "no port number");
}

// ---------------------------------------------------------------------------
// Views

TEST(Views, IoSpaceBaseIsThePortNumber) {
  Machine m;
  PVOID base = VideoPortGetDeviceBase(nullptr, Phys(0x3B0), 0x30, 1);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(base), 0x3B0u);
  ASSERT_EQ(m.Views().size(), 1u);
  EXPECT_TRUE(m.Views()[0].inIoSpace);
  VideoPortFreeDeviceBase(nullptr, base);
  EXPECT_TRUE(m.Views().empty());
}

TEST(Views, MemoryViewsArePageAlignedDistinctAndRecorded) {
  Machine m;
  PUCHAR window = MemoryView(0xA0000, 0x20000);
  PUCHAR rom = MemoryView(0xC0000, 0x1000);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(rom, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(window) % 0x1000, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(rom) % 0x1000, 0u);
  // Neither overlaps the other.
  EXPECT_TRUE(rom >= window + 0x20000 || window >= rom + 0x1000);
  ASSERT_EQ(m.Views().size(), 2u);
  EXPECT_EQ(m.Views()[0].physical, 0xA0000u);
  EXPECT_EQ(m.Views()[0].length, 0x20000u);
  EXPECT_EQ(m.Views()[1].physical, 0xC0000u);
  VideoPortFreeDeviceBase(nullptr, window);
  ASSERT_EQ(m.Views().size(), 1u);
  EXPECT_EQ(m.Views()[0].physical, 0xC0000u);
}

TEST(ViewsDeathTest, DereferencingAViewFaults) {
  Machine m;
  volatile UCHAR* view = MemoryView(0xA0000, 0x20000);
  EXPECT_DEATH((void)view[0x100], "");
  EXPECT_DEATH(view[0] = 1, "");
}

TEST(ViewsDeathTest, ServicesRefuseAFreedView) {
  Machine m;
  PUCHAR view = MemoryView(0xC0000, 0x1000);
  VideoPortFreeDeviceBase(nullptr, view);
  EXPECT_DEATH(VideoPortReadRegisterUchar(view), "in no view");
}

TEST(Views, RegisterReadsReachTheOptionRom) {
  Machine m;
  m.trace().Start();
  PUCHAR rom = MemoryView(0xC0000, 0x1000);
  EXPECT_EQ(VideoPortReadRegisterUchar(rom), 0x55);
  EXPECT_EQ(VideoPortReadRegisterUchar(rom + 1), 0xAA);
  EXPECT_EQ(CompareTraces({io::MemRead8(0xC0000, 0, 0x55), io::MemRead8(0xC0000, 1, 0xAA)},
                          m.trace().Entries()),
            "");
}

// A buffer write is one span through the window and one trace entry.
TEST(Views, RegisterWritesReachTheWindow) {
  Machine m;
  m.trace().Start();
  ChainFourWindow(m.adapter());
  PUCHAR window = MemoryView(0xA0000, 0x20000);
  UCHAR bytes[] = {0x11, 0x22, 0x33};
  VideoPortWriteRegisterUchar(window + 0xFFFF, 0x5A);
  VideoPortWriteRegisterBufferUchar(window + 0x10, bytes, 3);

  EXPECT_EQ(m.adapter().MemRead8(0xAFFFF), 0x5A);
  EXPECT_EQ(m.adapter().MemRead8(0xA0011), 0x22);
  EXPECT_EQ(CompareTraces({io::MemWrite8(0xA0000, 0xFFFF, 0x5A),
                           io::MoveFromBuffer(0xA0000, 0x10, {{0x11, 0x22, 0x33}})},
                          m.trace().Entries()),
            "");
}

TEST(Views, MoveMemoryGoesThroughTheAdapterOnEitherSide) {
  Machine m;
  m.trace().Start();
  ChainFourWindow(m.adapter());
  PUCHAR window = MemoryView(0xA0000, 0x20000);
  UCHAR out[2] = {0xC3, 0x3C};
  UCHAR back[2] = {};
  VideoPortMoveMemory(window + 0x200, out, 2);   // plain to view
  VideoPortMoveMemory(back, window + 0x200, 2);  // view to plain

  EXPECT_EQ(back[0], 0xC3);
  EXPECT_EQ(back[1], 0x3C);
  EXPECT_EQ(CompareTraces({io::MoveFromBuffer(0xA0000, 0x200, {{0xC3, 0x3C}}),
                           io::MoveToBuffer(0xA0000, 0x200, {{0xC3, 0x3C}})},
                          m.trace().Entries()),
            "");
}

TEST(Views, MoveBetweenTwoViewsAndZeroingAViewAreTraced) {
  Machine m;
  m.trace().Start();
  ChainFourWindow(m.adapter());
  PUCHAR rom = MemoryView(0xC0000, 0x1000);
  PUCHAR window = MemoryView(0xA0000, 0x20000);
  VideoPortMoveMemory(window + 4, rom, 2);
  VideoPortZeroMemory(window + 5, 1);

  EXPECT_EQ(m.adapter().MemRead8(0xA0004), 0x55);
  EXPECT_EQ(m.adapter().MemRead8(0xA0005), 0x00);
  EXPECT_EQ(CompareTraces({io::MemRead8(0xC0000, 0, 0x55), io::MemWrite8(0xA0000, 4, 0x55),
                           io::MemRead8(0xC0000, 1, 0xAA), io::MemWrite8(0xA0000, 5, 0xAA),
                           io::Fill(0xA0000, 5, 1, 0x00)},
                          m.trace().Entries()),
            "");
}

TEST(Views, PlainMemoryStaysPlainAndUntraced) {
  Machine m;
  m.trace().Start();
  UCHAR a[4] = {1, 2, 3, 4};
  UCHAR b[4] = {9, 9, 9, 9};
  VideoPortMoveMemory(b, a, 4);
  VideoPortZeroMemory(a + 1, 2);
  VideoPortWriteRegisterUchar(a, 7);
  EXPECT_EQ(VideoPortReadRegisterUchar(b + 3), 4);
  EXPECT_EQ(std::vector<UCHAR>(a, a + 4), (std::vector<UCHAR>{7, 0, 0, 4}));
  EXPECT_EQ(std::vector<UCHAR>(b, b + 4), (std::vector<UCHAR>{1, 2, 3, 4}));
  EXPECT_EQ(m.trace().Size(), 0u);
}

// ---------------------------------------------------------------------------
// Claims

VIDEO_ACCESS_RANGE Range(uint64_t start, ULONG length, UCHAR inIo) {
  VIDEO_ACCESS_RANGE r{};
  r.RangeStart = Phys(start);
  r.RangeLength = length;
  r.RangeInIoSpace = inIo;
  r.RangeVisible = 1;
  return r;
}

struct ClaimCase {
  const char* name;
  uint64_t start;
  ULONG length;
  UCHAR inIo;
  VP_STATUS status;
};

class Claim : public ::testing::TestWithParam<ClaimCase> {};

// RAM below 0xA0000 and from 1 MB to the top (64 MB by default); a foreign
// device at 0xE0000000 for 16 MB.
TEST_P(Claim, RefusesRamAndForeignDevices) {
  Machine m;
  m.AddForeignClaim(0xE0000000, 0x1000000);
  VIDEO_ACCESS_RANGE range = Range(GetParam().start, GetParam().length, GetParam().inIo);
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, &range), GetParam().status);
  EXPECT_EQ(m.Claims().size(), GetParam().status == NO_ERROR ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    PlatformClaims, Claim,
    ::testing::Values(ClaimCase{"VgaPorts", 0x3B0, 0x0C, 1, NO_ERROR},
                      ClaimCase{"PortsNumericallyInRam", 0x100, 0x10, 1, NO_ERROR},
                      ClaimCase{"VgaWindow", 0xA0000, 0x20000, 0, NO_ERROR},
                      ClaimCase{"LastLowRamByte", 0x9FFFF, 1, 0, ERROR_INVALID_PARAMETER},
                      ClaimCase{"StraddlesLowRamEnd", 0x9F000, 0x2000, 0, ERROR_INVALID_PARAMETER},
                      ClaimCase{"TopOfTheHole", 0xFFFFF, 1, 0, NO_ERROR},
                      ClaimCase{"FirstHighRamByte", 0x100000, 1, 0, ERROR_INVALID_PARAMETER},
                      ClaimCase{"LastHighRamByte", 0x03FFFFFF, 1, 0, ERROR_INVALID_PARAMETER},
                      ClaimCase{"JustAboveRam", 0x04000000, 0x800000, 0, NO_ERROR},
                      ClaimCase{"InsideForeign", 0xE0800000, 0x800000, 0, ERROR_INVALID_PARAMETER},
                      ClaimCase{"TouchesForeignEnd", 0xDFFFF000, 0x1000, 0, NO_ERROR},
                      ClaimCase{"AfterForeign", 0xE1000000, 0x800000, 0, NO_ERROR},
                      ClaimCase{"PortsAtForeignAddress", 0xE0000000, 0x10, 1, NO_ERROR},
                      ClaimCase{"EmptyRangeInRam", 0x1000, 0, 0, NO_ERROR}),
    [](const auto& info) { return info.param.name; });

TEST(Claims, OwnClaimIsReplacedNotConflicted) {
  Machine m;
  VIDEO_ACCESS_RANGE first[] = {Range(0x3B0, 0x0C, 1), Range(0x3C0, 0x20, 1),
                                Range(0xA0000, 0x20000, 0)};
  VIDEO_ACCESS_RANGE superset[] = {Range(0x3B0, 0x0C, 1), Range(0x3C0, 0x20, 1),
                                   Range(0xA0000, 0x20000, 0), Range(0x07C00000, 0x800000, 0)};
  VIDEO_ACCESS_RANGE inRam[] = {Range(0x3B0, 0x0C, 1), Range(0x00800000, 0x800000, 0)};
  ASSERT_EQ(VideoPortVerifyAccessRanges(nullptr, 3, first), NO_ERROR);
  ASSERT_EQ(VideoPortVerifyAccessRanges(nullptr, 4, superset), NO_ERROR);
  ASSERT_EQ(m.Claims().size(), 4u);
  EXPECT_EQ(m.Claims()[3].RangeStart.QuadPart, 0x07C00000);
  // A refused set leaves the previous claim in place.
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, inRam), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(m.Claims().size(), 4u);
  ASSERT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, first), NO_ERROR);
  EXPECT_EQ(m.Claims().size(), 1u);
}

// ---------------------------------------------------------------------------
// Caller mappings

struct MapResult {
  VP_STATUS status;
  PVOID address;
  ULONG length;
  ULONG inIo;
};

MapResult Map(uint64_t physical, ULONG length, ULONG inIo = 0, PVOID in = nullptr) {
  MapResult r{0, in, length, inIo};
  r.status = VideoPortMapMemory(nullptr, Phys(physical), &r.length, &r.inIo, &r.address);
  return r;
}

TEST(Mappings, ApertureIsPlainMemorySharedWithVideoMemory) {
  Machine m;
  m.trace().Start();
  OpenAperture(m.adapter(), 0x07C00000);
  const MapResult r = Map(0x07C01000, 0x2000, 0, reinterpret_cast<PVOID>(0x1234));
  ASSERT_EQ(r.status, NO_ERROR);
  EXPECT_EQ(r.address, m.adapter().Vram().data() + 0x1000);
  EXPECT_EQ(r.length, 0x2000u);
  EXPECT_EQ(r.inIo, 0u);
  ASSERT_EQ(m.Mappings().size(), 1u);
  EXPECT_TRUE(m.Mappings()[0].plainMemory);

  static_cast<UCHAR*>(r.address)[0x10] = 0x9C;  // a display driver's plain store
  EXPECT_EQ(m.adapter().Vram()[0x1010], 0x9C);
  m.adapter().Vram()[0x1011] = 0x4D;
  EXPECT_EQ(m.ReadMapped(static_cast<UCHAR*>(r.address) + 0x11), 0x4D);
  EXPECT_EQ(m.trace().Size(), 0u);
}

struct NotPlainCase {
  const char* name;
  bool openAperture;
  uint64_t physical;
  ULONG length;
};

class NotPlainMapping : public ::testing::TestWithParam<NotPlainCase> {};

TEST_P(NotPlainMapping, LivesInTheInaccessibleRegion) {
  Machine m;
  if (GetParam().openAperture) OpenAperture(m.adapter(), 0x07C00000);
  const MapResult r = Map(GetParam().physical, GetParam().length);
  ASSERT_EQ(r.status, NO_ERROR);
  ASSERT_EQ(m.Mappings().size(), 1u);
  EXPECT_FALSE(m.Mappings()[0].plainMemory);
  const auto* vram = m.adapter().Vram().data();
  EXPECT_TRUE(r.address < vram || r.address >= vram + m.adapter().Vram().size());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.address) % 0x1000, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    PlatformMappings, NotPlainMapping,
    ::testing::Values(NotPlainCase{"VgaWindow", true, 0xA0000, 0x20000},
                      NotPlainCase{"ApertureClosed", false, 0x07C00000, 0x1000},
                      NotPlainCase{"RunsPastApertureEnd", true, 0x083FF000, 0x2000},
                      NotPlainCase{"BeyondInstalledMemory", true, 0x08000000, 0x1000},
                      NotPlainCase{"StartsBelowAperture", true, 0x07BFF000, 0x2000}),
    [](const auto& info) { return info.param.name; });

TEST(Mappings, WindowMappingReachesTheAdapterThroughTheMachine) {
  Machine m;
  m.trace().Start();
  ChainFourWindow(m.adapter());
  const MapResult r = Map(0xA0000, 0x20000);
  ASSERT_EQ(r.status, NO_ERROR);
  auto* p = static_cast<UCHAR*>(r.address);
  m.WriteMapped(p + 0x40, 0xE1);
  EXPECT_EQ(m.ReadMapped(p + 0x40), 0xE1);
  EXPECT_EQ(m.adapter().MemRead8(0xA0040), 0xE1);
  EXPECT_EQ(CompareTraces({io::MemWrite8(0xA0000, 0x40, 0xE1), io::MemRead8(0xA0000, 0x40, 0xE1)},
                          m.trace().Entries()),
            "");
  EXPECT_THROW(m.ReadMapped(p + 0x20000), std::out_of_range);
}

TEST(MappingsDeathTest, DereferencingAWindowMappingFaults) {
  Machine m;
  const MapResult r = Map(0xA0000, 0x20000);
  EXPECT_DEATH((void)*static_cast<volatile UCHAR*>(r.address), "");
}

TEST(Mappings, IoSpaceMappingIsThePortNumber) {
  Machine m;
  const MapResult r = Map(0x3C0, 0x20, 1);
  ASSERT_EQ(r.status, NO_ERROR);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r.address), 0x3C0u);
  EXPECT_EQ(r.inIo, 1u);
  EXPECT_EQ(r.length, 0x20u);
}

// The address passed in names the process: null and NtCurrentProcess are
// the requester, anything else another process, and a mapping goes only
// from the process it was made for. A view of no bytes is not made.
TEST(Mappings, UnmappingOnlyWhatWasHandedOutToThatProcess) {
  Machine m;
  const MapResult none = Map(0xA0000, 0);
  EXPECT_EQ(none.status, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(none.address, nullptr);
  EXPECT_TRUE(m.Mappings().empty());

  const HANDLE other = reinterpret_cast<HANDLE>(0x1234);
  const HANDLE current = reinterpret_cast<HANDLE>(-1);
  const MapResult c = Map(0xA0000, 0x1000, 0, other);
  const MapResult d = Map(0xA0000, 0x1000, 0, current);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, c.address, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, c.address, current), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, d.address, other), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(m.Mappings().size(), 2u);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, c.address, other), NO_ERROR);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, d.address, nullptr), NO_ERROR);

  const MapResult a = Map(0xA0000, 0x20000);
  const MapResult b = Map(0xC0000, 0x1000);
  UCHAR plain = 0;
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, &plain, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, static_cast<UCHAR*>(a.address) + 1, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, a.address, nullptr), NO_ERROR);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, a.address, nullptr), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(m.Mappings().size(), 1u);
  EXPECT_EQ(m.Mappings()[0].physical, 0xC0000u);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, b.address, nullptr), NO_ERROR);
  EXPECT_TRUE(m.Mappings().empty());
}

// ---------------------------------------------------------------------------
// BIOS, registry, trap sets, synchronised execution

TEST(Int10, RunsTheBiosAndTracesTheCall) {
  Machine m;
  m.trace().Start();
  const uint32_t postCalls = m.bios().Calls();  // the boot's own mode set
  VIDEO_X86_BIOS_ARGUMENTS args{};
  args.Eax = 0x1500;
  EXPECT_EQ(VideoPortInt10(nullptr, &args), NO_ERROR);
  EXPECT_EQ(args.Eax & 0xFFFF, 0x004Fu);
  EXPECT_EQ(m.bios().Calls(), postCalls + 1);
  EXPECT_EQ(CompareTraces({io::Bios(0x1500, 0)}, m.trace().Entries()), "");
}

// A machine started from a copy of a booted adapter (another machine's,
// straight after its POST) is the machine a POST makes: the whole adapter
// and all of video memory alike, and a driver load and a hardware state
// save (registers, colours, latches, the four planes) give the same
// accesses, the same buffer and the same adapter on both.
TEST(Boot, ACopyOfABootedAdapterIsAFreshBoot) {
  Profile a1;
  a1.revision = 0x0B;
  a1.memoryMB = 1;
  a1.busWidth = 32;
  Profile large;
  large.memoryMB = 8;
  large.strap = 1;
  large.memoryClockMHz = 75;
  Profile elsewhere;
  elsewhere.romKB = 64;
  elsewhere.pciBus = 0;
  elsewhere.pciDevice = 3;
  elsewhere.seqOverrides[0x37] = 0x00;
  const Profile profiles[] = {Profile::Default(), a1, large, elsewhere};
  for (const Profile& profile : profiles) {
    const std::string what = "profile #" + std::to_string(&profile - profiles);
    const Adapter booted = Machine(profile).adapter();
    Machine fresh(profile);
    Machine copied(profile, booted);
    ASSERT_TRUE(copied.adapter() == fresh.adapter()) << what;

    std::vector<std::vector<uint8_t>> states;
    for (Machine* m : {&fresh, &copied}) {
      m->trace().Start();
      ASSERT_EQ(m->Load(), 0u) << what;
      std::vector<uint8_t> state(264359);
      VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state.data()),
                                  static_cast<ULONG>(state.size())};
      EXPECT_EQ(
          m->Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, sizeof(record)).status,
          NO_ERROR)
          << what;
      states.push_back(std::move(state));
    }
    EXPECT_EQ(CompareTraces(fresh.trace().Entries(), copied.trace().Entries()), "") << what;
    EXPECT_TRUE(states[0] == states[1]) << what;
    EXPECT_TRUE(copied.adapter() == fresh.adapter()) << what;
  }
}

TEST(Registry, KeepsNamesAndBytesInOrder) {
  Machine m;
  WCHAR chip[] = u"HardwareInformation.ChipType";
  WCHAR size[] = u"HardwareInformation.MemorySize";
  WCHAR chipName[] = u"Zel B1";
  ULONG memory = 0x400000;
  ASSERT_EQ(VideoPortSetRegistryParameters(nullptr, chip, chipName, sizeof chipName), NO_ERROR);
  ASSERT_EQ(VideoPortSetRegistryParameters(nullptr, size, &memory, sizeof memory), NO_ERROR);
  chipName[0] = u'X';  // the platform kept its own copy

  ASSERT_EQ(m.Registry().size(), 2u);
  EXPECT_EQ(m.Registry()[0].name, u"HardwareInformation.ChipType");
  EXPECT_EQ(m.Registry()[0].data,
            (std::vector<uint8_t>{'Z', 0, 'e', 0, 'l', 0, ' ', 0, 'B', 0, '1', 0, 0, 0}));
  EXPECT_EQ(m.Registry()[1].name, u"HardwareInformation.MemorySize");
  EXPECT_EQ(m.Registry()[1].data, (std::vector<uint8_t>{0x00, 0x00, 0x40, 0x00}));
}

TEST(TrapSets, InstallsACopyAndTracesTheRowCount) {
  Machine m;
  m.trace().Start();
  VIDEO_ACCESS_RANGE rows[] = {Range(0x3B0, 12, 1), Range(0x3C0, 32, 1)};
  rows[0].RangeVisible = 0;
  ASSERT_EQ(VideoPortSetTrappedEmulatorPorts(nullptr, 2, rows), NO_ERROR);
  rows[0].RangeLength = 1;
  ASSERT_EQ(m.TrapSet().size(), 2u);
  EXPECT_EQ(m.TrapSet()[0].RangeLength, 12u);
  EXPECT_EQ(CompareTraces({io::Traps(2)}, m.trace().Entries()), "");
}

struct SyncContext {
  int calls = 0;
  BOOLEAN result = FALSE;
};

BOOLEAN VPAPI SyncRoutine(PVOID context) {
  auto* c = static_cast<SyncContext*>(context);
  ++c->calls;
  return c->result;
}

TEST(Synchronize, RunsTheRoutineAtOnceAndReturnsItsResult) {
  Machine m;
  SyncContext yes{0, TRUE};
  SyncContext no{0, FALSE};
  EXPECT_EQ(VideoPortSynchronizeExecution(nullptr, VpHighPriority, SyncRoutine, &yes), TRUE);
  EXPECT_EQ(VideoPortSynchronizeExecution(nullptr, VpHighPriority, SyncRoutine, &no), FALSE);
  EXPECT_EQ(yes.calls, 1);
  EXPECT_EQ(no.calls, 1);
}

// ---------------------------------------------------------------------------
// Which machine the services reach

TEST(CurrentMachine, IsTheNewestLiveOne) {
  Machine outer;
  outer.trace().Start();
  EXPECT_EQ(&Machine::Current(), &outer);
  {
    auto inner = std::make_unique<Machine>();
    inner->trace().Start();
    EXPECT_EQ(&Machine::Current(), inner.get());
    VideoPortWritePortUchar(PortAddress<UCHAR>(0x3C4), 0x01);
    EXPECT_EQ(inner->trace().Size(), 1u);
    EXPECT_EQ(outer.trace().Size(), 0u);
  }
  EXPECT_EQ(&Machine::Current(), &outer);
}

TEST(CurrentMachine, DestroyingAnOlderMachineKeepsTheNewest) {
  auto older = std::make_unique<Machine>();
  Machine newer;
  older.reset();
  EXPECT_EQ(&Machine::Current(), &newer);
}

}  // namespace
}  // namespace sim
