// Injected failures of every platform service: which calls fail, with what,
// and that a failing call leaves the machine as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "miniport/videoport.h"
#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/trace.h"

namespace sim {
namespace {

constexpr VP_STATUS kInjected = 0x0BAD;

PHYSICAL_ADDRESS Phys(uint64_t address) {
  PHYSICAL_ADDRESS p;
  p.QuadPart = static_cast<LONGLONG>(address);
  return p;
}

VP_STATUS VPAPI NeverFindAdapter(PVOID, PVOID, PWSTR, PVIDEO_PORT_CONFIG_INFO, PUCHAR) {
  ADD_FAILURE() << "find-adapter was called for a registration that should fail first";
  return ERROR_DEV_NOT_EXIST;
}
BOOLEAN VPAPI NoInitialize(PVOID) {
  return TRUE;
}
BOOLEAN VPAPI NoStartIo(PVOID, PVIDEO_REQUEST_PACKET) {
  return TRUE;
}

// One call of each service, made the way a driver makes it; the physical
// address is where the service has one. Returns the call's status
// (GetDeviceBase: ERROR_INVALID_PARAMETER for a null view, else NO_ERROR).
using ServiceCall = std::function<VP_STATUS(Machine&, uint64_t physical)>;

VP_STATUS CallInitialize(Machine&, uint64_t) {
  VIDEO_HW_INITIALIZATION_DATA init{};
  init.HwInitDataSize = sizeof init;
  init.AdapterInterfaceType = Eisa;  // fails on its own, without find-adapter
  init.HwFindAdapter = NeverFindAdapter;
  init.HwInitialize = NoInitialize;
  init.HwStartIO = NoStartIo;
  const ULONG status = VideoPortInitialize(nullptr, nullptr, &init, nullptr);
  return status == 0xC000000E ? NO_ERROR : static_cast<VP_STATUS>(status);
}

VP_STATUS CallGetDeviceBase(Machine&, uint64_t physical) {
  return VideoPortGetDeviceBase(nullptr, Phys(physical), 0x1000, 0) ? NO_ERROR
                                                                    : ERROR_INVALID_PARAMETER;
}

VP_STATUS CallVerify(Machine&, uint64_t physical) {
  VIDEO_ACCESS_RANGE range{};
  range.RangeStart = Phys(physical);
  range.RangeLength = 0x1000;
  return VideoPortVerifyAccessRanges(nullptr, 1, &range);
}

VP_STATUS CallMap(Machine&, uint64_t physical) {
  ULONG length = 0x1000;
  ULONG inIo = 0;
  PVOID address = nullptr;
  return VideoPortMapMemory(nullptr, Phys(physical), &length, &inIo, &address);
}

// Unmapping needs something mapped: the map is made with faults aside.
VP_STATUS CallUnmap(Machine& m, uint64_t physical) {
  const size_t before = m.Mappings().size();
  ULONG length = 0x1000;
  ULONG inIo = 0;
  PVOID address = nullptr;
  const VP_STATUS mapped = VideoPortMapMemory(nullptr, Phys(physical), &length, &inIo, &address);
  if (mapped != NO_ERROR || m.Mappings().size() != before + 1) return -1;
  return VideoPortUnmapMemory(nullptr, address, nullptr);
}

VP_STATUS CallInt10(Machine&, uint64_t) {
  VIDEO_X86_BIOS_ARGUMENTS args{};
  args.Eax = 0x1500;
  return VideoPortInt10(nullptr, &args);
}

VP_STATUS CallRegistry(Machine&, uint64_t) {
  WCHAR name[] = u"HardwareInformation.DacType";
  ULONG data = 8;
  return VideoPortSetRegistryParameters(nullptr, name, &data, sizeof data);
}

VP_STATUS CallTraps(Machine&, uint64_t) {
  VIDEO_ACCESS_RANGE row{};
  row.RangeStart = Phys(0x3C4);
  row.RangeLength = 2;
  row.RangeInIoSpace = 1;
  return VideoPortSetTrappedEmulatorPorts(nullptr, 1, &row);
}

struct ServiceCase {
  const char* name;
  Service service;
  ServiceCall call;
  VP_STATUS failure;  // what a failing call returns
};

const ServiceCase kServices[] = {
    {"Initialize", Service::Initialize, CallInitialize, kInjected},
    {"GetDeviceBase", Service::GetDeviceBase, CallGetDeviceBase, ERROR_INVALID_PARAMETER},
    {"VerifyAccessRanges", Service::VerifyAccessRanges, CallVerify, kInjected},
    {"MapMemory", Service::MapMemory, CallMap, kInjected},
    {"UnmapMemory", Service::UnmapMemory, CallUnmap, kInjected},
    {"Int10", Service::Int10, CallInt10, kInjected},
    {"SetRegistryParameters", Service::SetRegistryParameters, CallRegistry, kInjected},
    {"SetTrappedEmulatorPorts", Service::SetTrappedEmulatorPorts, CallTraps, kInjected},
};

void PrintTo(const ServiceCase& c, std::ostream* os) {
  *os << c.name;
}

class EveryService : public ::testing::TestWithParam<ServiceCase> {
 protected:
  std::vector<VP_STATUS> Calls(Machine& m, int n, uint64_t physical = 0xA0000) {
    std::vector<VP_STATUS> results;
    for (int i = 0; i < n; ++i)
      results.push_back(GetParam().call(m, physical));
    return results;
  }
};

TEST_P(EveryService, FailsTheNthCallOnly) {
  Machine m;
  m.InjectFault({.service = GetParam().service, .firstCall = 2, .status = kInjected});
  const VP_STATUS f = GetParam().failure;
  EXPECT_EQ(Calls(m, 4), (std::vector<VP_STATUS>{NO_ERROR, NO_ERROR, f, NO_ERROR}));
  EXPECT_EQ(m.CallCount(GetParam().service), 4u);
}

TEST_P(EveryService, FailsARangeOfCalls) {
  Machine m;
  m.InjectFault({.service = GetParam().service, .firstCall = 1, .count = 2, .status = kInjected});
  const VP_STATUS f = GetParam().failure;
  EXPECT_EQ(Calls(m, 5), (std::vector<VP_STATUS>{NO_ERROR, f, f, NO_ERROR, NO_ERROR}));
}

TEST_P(EveryService, FailsEveryCallFromThereOn) {
  Machine m;
  m.InjectFault(
      {.service = GetParam().service, .firstCall = 1, .count = UINT32_MAX, .status = kInjected});
  const VP_STATUS f = GetParam().failure;
  EXPECT_EQ(Calls(m, 4), (std::vector<VP_STATUS>{NO_ERROR, f, f, f}));
  m.ClearFaults();
  EXPECT_EQ(Calls(m, 1), (std::vector<VP_STATUS>{NO_ERROR}));
  EXPECT_EQ(m.CallCount(GetParam().service), 5u);
}

TEST_P(EveryService, CountsCallsFromTheMomentOfInjection) {
  Machine m;
  Calls(m, 3);
  m.InjectFault({.service = GetParam().service, .firstCall = 0, .status = kInjected});
  EXPECT_EQ(Calls(m, 2), (std::vector<VP_STATUS>{GetParam().failure, NO_ERROR}));
}

INSTANTIATE_TEST_SUITE_P(PlatformFaults, EveryService, ::testing::ValuesIn(kServices),
                         [](const auto& info) { return info.param.name; });

// ---- faults limited to a physical range

class RangedFault : public ::testing::TestWithParam<ServiceCase> {};

// Only calls whose address lies in [0x07C00000, 0x08000000) count and fail:
// the 4 MB steps of a linear frame-buffer probe.
TEST_P(RangedFault, CountsOnlyCallsInTheRange) {
  Machine m;
  m.InjectFault({.service = GetParam().service,
                 .firstCall = 1,
                 .count = 1,
                 .status = kInjected,
                 .rangeStart = 0x07C00000,
                 .rangeLength = 0x400000});
  const VP_STATUS f = GetParam().failure;
  const auto& call = GetParam().call;
  EXPECT_EQ(call(m, 0x07C00000), NO_ERROR);  // in range, index 0
  EXPECT_EQ(call(m, 0xA0000), NO_ERROR);     // outside: not counted
  EXPECT_EQ(call(m, 0x07FFF000), f);         // in range, index 1
  EXPECT_EQ(call(m, 0x08000000), NO_ERROR);  // first byte past the range
  EXPECT_EQ(call(m, 0x07C00000), NO_ERROR);  // in range, index 2
}

INSTANTIATE_TEST_SUITE_P(PlatformFaults, RangedFault,
                         ::testing::Values(kServices[1], kServices[2], kServices[3], kServices[4]),
                         [](const auto& info) { return info.param.name; });

TEST(RangedFault, AVerifyCallMatchesWhenAnyOfItsRangesStartsInside) {
  Machine m;
  m.InjectFault({.service = Service::VerifyAccessRanges,
                 .count = UINT32_MAX,
                 .status = kInjected,
                 .rangeStart = 0x07C00000,
                 .rangeLength = 0x800000});
  VIDEO_ACCESS_RANGE ranges[2] = {};
  ranges[0].RangeStart = Phys(0xA0000);
  ranges[0].RangeLength = 0x20000;
  ranges[1].RangeStart = Phys(0x08000000);
  ranges[1].RangeLength = 0x800000;
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, ranges), NO_ERROR);
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, ranges), kInjected);
}

// ---- a failing call changes nothing

TEST(FailedCalls, LeaveNoTraceOfTheirWork) {
  Machine m;
  m.trace().Start();
  for (const auto& s : kServices) {
    m.InjectFault({.service = s.service, .count = UINT32_MAX, .status = kInjected});
  }
  const uint32_t biosCalls = m.bios().Calls();
  const VgaState before = m.adapter().WholeState();
  for (const auto& s : kServices) {
    if (s.service != Service::UnmapMemory) s.call(m, 0xA0000);
  }
  EXPECT_TRUE(m.Views().empty());
  EXPECT_TRUE(m.Claims().empty());
  EXPECT_TRUE(m.Mappings().empty());
  EXPECT_TRUE(m.Registry().empty());
  EXPECT_TRUE(m.TrapSet().empty());
  EXPECT_TRUE(m.Registrations()[0].findAdapterStatus == kInjected);
  EXPECT_FALSE(m.Registrations()[0].findAdapterCalled);
  EXPECT_EQ(m.bios().Calls(), biosCalls);
  EXPECT_TRUE(m.adapter().WholeState() == before);
  // The BIOS call is still seen, with the status it got.
  EXPECT_EQ(CompareTraces({io::Bios(0x1500, kInjected)}, m.trace().Entries()), "");
}

TEST(FailedCalls, AFailedMapHandsBackNoAddress) {
  Machine m;
  m.InjectFault({.service = Service::MapMemory, .status = kInjected});
  ULONG length = 0x1000;
  ULONG inIo = 0;
  PVOID address = reinterpret_cast<PVOID>(0x1234);
  EXPECT_EQ(VideoPortMapMemory(nullptr, Phys(0xA0000), &length, &inIo, &address), kInjected);
  EXPECT_EQ(address, nullptr);
  EXPECT_EQ(length, 0x1000u);
}

}  // namespace
}  // namespace sim
