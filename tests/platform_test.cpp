// The simulated machine's own facts that the driver's suites lean on without
// seeing them (the PCI bridge: the discovery and identification scans): the
// ports nobody answers, the refusals of the services (bad views, claims on
// RAM, mappings of other processes), injected faults that change nothing,
// and a boot copied from another machine.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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

VIDEO_ACCESS_RANGE Range(uint64_t start, ULONG length, UCHAR inIo) {
  VIDEO_ACCESS_RANGE r{};
  r.RangeStart = Phys(start);
  r.RangeLength = length;
  r.RangeInIoSpace = inIo;
  r.RangeVisible = 1;
  return r;
}

struct MapResult {
  VP_STATUS status;
  PVOID address;
  ULONG length;
};

MapResult Map(uint64_t physical, ULONG length, PVOID in = nullptr) {
  MapResult r{0, in, length};
  ULONG inIo = 0;
  r.status = VideoPortMapMemory(nullptr, Phys(physical), &r.length, &inIo, &r.address);
  return r;
}

// Places the linear aperture at `base` and opens it, on the bus side.
void OpenAperture(Adapter& a, uint32_t base) {
  a.Out16(0x3C4, 0x8605);
  a.Out16(0x3C4, static_cast<uint16_t>((base >> 19 & 0xFF) << 8 | 0x20));
  a.Out16(0x3C4, static_cast<uint16_t>((base >> 27) << 8 | 0x21));
  a.Out16(0x3C4, 0x8006);
}

// ---------------------------------------------------------------- ports

// Just outside both decoded blocks, and narrow reads of the bridge's address
// register, which only answers 32-bit accesses: all ones, and traced.
TEST(Ports, NobodyAnswersAllOnesAndTheReadIsTraced) {
  Machine m;
  m.trace().Start();
  const std::vector<TraceEntry> reads = {io::In8(0x3AF, 0xFF), io::In8(0x3E0, 0xFF),
                                         io::In16(0x80, 0xFFFF), io::In32(0xCF7, 0xFFFFFFFF),
                                         io::In8(0xCF8, 0xFF)};
  for (const TraceEntry& e : reads) {
    const auto port = static_cast<uintptr_t>(e.address);
    const ULONG value = e.size == 1   ? VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(port))
                        : e.size == 2 ? VideoPortReadPortUshort(reinterpret_cast<PUSHORT>(port))
                                      : VideoPortReadPortUlong(reinterpret_cast<PULONG>(port));
    EXPECT_EQ(value, e.value) << Format(e);
  }
  EXPECT_EQ(CompareTraces(reads, m.trace().Entries()), "");
}

// Services given what is not theirs stop the process: the fuzzers rely on it.
TEST(PlatformDeathTest, ServicesStopOnWhatIsNotTheirs) {
  Machine m;
  PUCHAR window = MemoryView(0xA0000, 0x20000);
  EXPECT_DEATH(VideoPortReadPortUchar(window), "no port number");
  EXPECT_DEATH((void)*static_cast<volatile UCHAR*>(window), "");
  PUCHAR rom = MemoryView(0xC0000, 0x1000);
  VideoPortFreeDeviceBase(nullptr, rom);
  EXPECT_DEATH(VideoPortReadRegisterUchar(rom), "in no view");
  EXPECT_DEATH((void)*static_cast<volatile UCHAR*>(Map(0xA0000, 0x20000).address), "");
}

// --------------------------------------------------------------- claims

// RAM below 0xA0000 and from 1 MB to the top (64 MB by default) and a foreign
// device are refused; ports are never RAM. A refused set keeps the last claim.
TEST(Claims, RefuseRamAndForeignDevices) {
  struct Case {
    uint64_t start;
    ULONG length;
    UCHAR inIo;
    VP_STATUS status;
  };
  const Case cases[] = {
      {0x3B0, 0x0C, 1, NO_ERROR},
      {0xA0000, 0x20000, 0, NO_ERROR},
      {0x9FFFF, 1, 0, ERROR_INVALID_PARAMETER},
      {0x9F000, 0x2000, 0, ERROR_INVALID_PARAMETER},
      {0xFFFFF, 1, 0, NO_ERROR},
      {0x100000, 1, 0, ERROR_INVALID_PARAMETER},
      {0x03FFFFFF, 1, 0, ERROR_INVALID_PARAMETER},
      {0x04000000, 0x800000, 0, NO_ERROR},
      {0xE0800000, 0x800000, 0, ERROR_INVALID_PARAMETER},  // inside the foreign device
      {0xE0000000, 0x10, 1, NO_ERROR},
      {0x1000, 0, 0, NO_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.start << " length " << c.length);
    Machine m;
    m.AddForeignClaim(0xE0000000, 0x1000000);
    VIDEO_ACCESS_RANGE range = Range(c.start, c.length, c.inIo);
    EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, &range), c.status);
    EXPECT_EQ(m.Claims().size(), c.status == NO_ERROR ? 1u : 0u);
  }
  Machine m;
  VIDEO_ACCESS_RANGE first[] = {Range(0x3B0, 0x0C, 1), Range(0xA0000, 0x20000, 0)};
  VIDEO_ACCESS_RANGE inRam[] = {Range(0x3B0, 0x0C, 1), Range(0x00800000, 0x800000, 0)};
  ASSERT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, first), NO_ERROR);
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, inRam), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(m.Claims().size(), 2u);
  EXPECT_EQ(m.Claims()[1].RangeStart.QuadPart, 0xA0000);
}

// ------------------------------------------------------------- mappings

// Only the open aperture, within the installed memory, maps as plain memory
// shared with video memory; everything else lives where a store faults.
TEST(Mappings, OnlyTheOpenApertureIsPlainMemory) {
  struct Case {
    const char* what;
    bool open;
    uint64_t physical;
    ULONG length;
    bool plain;
  };
  const Case cases[] = {
      {"aperture", true, 0x07C01000, 0x2000, true},
      {"VGA window", true, 0xA0000, 0x20000, false},
      {"aperture closed", false, 0x07C00000, 0x1000, false},
      {"runs past the aperture", true, 0x083FF000, 0x2000, false},
      {"beyond the installed memory", true, 0x08000000, 0x1000, false},
      {"starts below the aperture", true, 0x07BFF000, 0x2000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Machine m;
    if (c.open) OpenAperture(m.adapter(), 0x07C00000);
    const MapResult r = Map(c.physical, c.length);
    ASSERT_EQ(r.status, NO_ERROR);
    ASSERT_EQ(m.Mappings().size(), 1u);
    EXPECT_EQ(m.Mappings()[0].plainMemory, c.plain);
    const auto* vram = m.adapter().Vram().data();
    if (c.plain) {
      EXPECT_EQ(r.address, vram + 0x1000);
    } else {
      EXPECT_TRUE(r.address < vram || r.address >= vram + m.adapter().Vram().size());
      EXPECT_EQ(reinterpret_cast<uintptr_t>(r.address) % 0x1000, 0u);
    }
  }
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
  const MapResult c = Map(0xA0000, 0x1000, other);
  const MapResult d = Map(0xA0000, 0x1000, current);
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

// --------------------------------------------------------- injected faults

constexpr VP_STATUS kInjected = 0x0BAD;

// Calls are counted per service from the moment of injection; the fault
// takes `count` calls from `firstCall` on, or only calls whose address lies
// in the range (the 4 MB steps of a linear frame-buffer probe); a
// verification matches when any of its ranges starts inside.
TEST(Faults, FailTheChosenCalls) {
  Machine m;
  auto map = [](uint64_t physical) { return Map(physical, 0x1000).status; };
  map(0xA0000);  // before the injection: not counted
  m.InjectFault({.service = Service::MapMemory, .firstCall = 1, .count = 2, .status = kInjected});
  std::vector<VP_STATUS> got;
  for (uint64_t physical : {0xA0000, 0xA0000, 0xA0000, 0xA0000})
    got.push_back(map(physical));
  EXPECT_EQ(got, (std::vector<VP_STATUS>{NO_ERROR, kInjected, kInjected, NO_ERROR}));
  EXPECT_EQ(m.CallCount(Service::MapMemory), 5u);

  m.InjectFault({.service = Service::GetDeviceBase,
                 .firstCall = 1,
                 .count = UINT32_MAX,
                 .rangeStart = 0x07C00000,
                 .rangeLength = 0x400000});
  std::vector<bool> views;
  for (uint64_t physical : {0x07C00000, 0xA0000, 0x07FFF000, 0x08000000})
    views.push_back(MemoryView(physical, 0x1000) != nullptr);
  EXPECT_EQ(views, (std::vector<bool>{true, true, false, true}));
  m.ClearFaults();
  EXPECT_NE(MemoryView(0x07FFF000, 0x1000), nullptr);

  m.InjectFault({.service = Service::VerifyAccessRanges,
                 .count = UINT32_MAX,
                 .status = kInjected,
                 .rangeStart = 0x07C00000,
                 .rangeLength = 0x800000});
  VIDEO_ACCESS_RANGE ranges[2] = {Range(0xA0000, 0x20000, 0), Range(0x08000000, 0x800000, 0)};
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, ranges), NO_ERROR);
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, ranges), kInjected);
}

// A failing call changes nothing: no view, claim, mapping or registry value,
// no BIOS work, no address handed back, no mapping taken away; the BIOS call
// is still seen, with the status it got.
TEST(Faults, AFailedCallLeavesNoTraceOfItsWork) {
  Machine m;
  const MapResult kept = Map(0xA0000, 0x1000);
  m.trace().Start();
  for (Service s : {Service::GetDeviceBase, Service::VerifyAccessRanges, Service::MapMemory,
                    Service::UnmapMemory, Service::Int10, Service::SetRegistryParameters})
    m.InjectFault({.service = s, .count = UINT32_MAX, .status = kInjected});
  const uint32_t biosCalls = m.bios().Calls();
  const VgaState before = m.adapter().WholeState();
  EXPECT_EQ(MemoryView(0xA0000, 0x1000), nullptr);
  VIDEO_ACCESS_RANGE range = Range(0xA0000, 0x1000, 0);
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, &range), kInjected);
  const MapResult r = Map(0xA0000, 0x1000, reinterpret_cast<PVOID>(0x1234));
  EXPECT_EQ(r.status, kInjected);
  EXPECT_EQ(r.address, nullptr);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, kept.address, nullptr), kInjected);
  VIDEO_X86_BIOS_ARGUMENTS args{};
  args.Eax = 0x1500;
  EXPECT_EQ(VideoPortInt10(nullptr, &args), kInjected);
  WCHAR name[] = u"HardwareInformation.DacType";
  ULONG data = 8;
  EXPECT_EQ(VideoPortSetRegistryParameters(nullptr, name, &data, sizeof data), kInjected);
  EXPECT_TRUE(m.Views().empty());
  EXPECT_TRUE(m.Claims().empty());
  EXPECT_EQ(m.Mappings().size(), 1u);
  EXPECT_TRUE(m.Registry().empty());
  EXPECT_EQ(m.bios().Calls(), biosCalls);
  EXPECT_TRUE(m.adapter().WholeState() == before);
  EXPECT_EQ(CompareTraces({io::Bios(0x1500, kInjected)}, m.trace().Entries()), "");
}

// --------------------------------------------------------------- machines

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
    SCOPED_TRACE("profile #" + std::to_string(&profile - profiles));
    const Adapter booted = Machine(profile).adapter();
    Machine fresh(profile);
    Machine copied(profile, booted);
    ASSERT_TRUE(copied.adapter() == fresh.adapter());

    std::vector<std::vector<uint8_t>> states;
    for (Machine* m : {&fresh, &copied}) {
      m->trace().Start();
      ASSERT_EQ(m->Load(), 0u);
      std::vector<uint8_t> state(264359);
      VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state.data()),
                                  static_cast<ULONG>(state.size())};
      EXPECT_EQ(
          m->Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, sizeof(record)).status,
          NO_ERROR);
      states.push_back(std::move(state));
    }
    EXPECT_EQ(CompareTraces(fresh.trace().Entries(), copied.trace().Entries()), "");
    EXPECT_TRUE(states[0] == states[1]);
    EXPECT_TRUE(copied.adapter() == fresh.adapter());
  }
}

}  // namespace
}  // namespace sim
