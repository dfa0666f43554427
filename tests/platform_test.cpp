// The platform's refusals that the driver's suites lean on without seeing
// them: claims on RAM and foreign devices, mappings of other processes. (A
// boot copied from another machine is the snapshot suite's.)
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "miniport/videoport.h"
#include "sim/machine.h"

namespace sim {
namespace {

VIDEO_ACCESS_RANGE Range(uint64_t start, ULONG length, UCHAR inIo) {
  VIDEO_ACCESS_RANGE r{};
  r.RangeStart.QuadPart = static_cast<LONGLONG>(start);
  r.RangeLength = length;
  r.RangeInIoSpace = inIo;
  r.RangeVisible = 1;
  return r;
}

// The address a mapping got, or null if refused; `process` names the
// process: null and NtCurrentProcess the requester.
UCHAR* Map(uint64_t physical, ULONG length, PVOID process = nullptr) {
  ULONG inIo = 0;
  const VP_STATUS status =
      VideoPortMapMemory(nullptr, Range(physical, 0, 0).RangeStart, &length, &inIo, &process);
  return status == NO_ERROR ? static_cast<UCHAR*>(process) : nullptr;
}

// RAM below 0xA0000 and from 1 MB to the top (64 MB by default) and a foreign
// device are refused; ports are never RAM. A refused set keeps the last claim.
TEST(Claims, RefuseRamAndForeignDevices) {
  constexpr VP_STATUS kOk = NO_ERROR, kBad = ERROR_INVALID_PARAMETER;
  const std::tuple<uint64_t, ULONG, UCHAR, VP_STATUS> cases[] = {
      {0xA0000, 0x20000, 0, kOk},     {0x9FFFF, 1, 0, kBad},
      {0x9F000, 0x2000, 0, kBad},     {0xFFFFF, 1, 0, kOk},
      {0x100000, 1, 0, kBad},         {0x03FFFFFF, 1, 0, kBad},
      {0x04000000, 0x800000, 0, kOk}, {0xE0800000, 0x800000, 0, kBad},
      {0xE0000000, 0x10, 1, kOk},     {0x1000, 0, 0, kOk},
  };
  for (const auto& [start, length, inIo, status] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << start << " length " << length);
    Machine m;
    m.AddForeignClaim(0xE0000000, 0x1000000);
    VIDEO_ACCESS_RANGE range = Range(start, length, inIo);
    EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 1, &range), status);
    EXPECT_EQ(m.Claims().size(), status == NO_ERROR ? 1u : 0u);
  }
  Machine m;
  VIDEO_ACCESS_RANGE first[] = {Range(0x3B0, 0x0C, 1), Range(0xA0000, 0x20000, 0)};
  VIDEO_ACCESS_RANGE inRam[] = {Range(0x3B0, 0x0C, 1), Range(0x00800000, 0x800000, 0)};
  ASSERT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, first), NO_ERROR);
  EXPECT_EQ(VideoPortVerifyAccessRanges(nullptr, 2, inRam), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(m.Claims().size(), 2u);
  EXPECT_EQ(m.Claims()[1].RangeStart.QuadPart, 0xA0000);
}

// A mapping goes only from the process it was made for, once; an address
// that is not one handed out, or a view of no bytes, is refused.
TEST(Mappings, UnmappingOnlyWhatWasHandedOutToThatProcess) {
  Machine m;
  EXPECT_EQ(Map(0xA0000, 0), nullptr);
  EXPECT_TRUE(m.Mappings().empty());
  const HANDLE other = reinterpret_cast<HANDLE>(0x1234);
  const HANDLE current = reinterpret_cast<HANDLE>(-1);
  UCHAR *c = Map(0xA0000, 0x1000, other), *d = Map(0xA0000, 0x1000, current);
  UCHAR *a = Map(0xC0000, 0x1000), plain = 0;
  const std::pair<PVOID, HANDLE> refused[] = {
      {c, nullptr}, {c, current}, {d, other}, {&plain, nullptr}, {a + 1, nullptr}};
  for (const auto& [address, process] : refused)
    EXPECT_EQ(VideoPortUnmapMemory(nullptr, address, process), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(m.Mappings().size(), 3u);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, c, other), NO_ERROR);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, d, nullptr), NO_ERROR);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, a, nullptr), NO_ERROR);
  EXPECT_EQ(VideoPortUnmapMemory(nullptr, a, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(m.Mappings().empty());
}

}  // namespace
}  // namespace sim
