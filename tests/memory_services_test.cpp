// The memory-mapping services through the loaded driver: video memory, the
// public ranges and shared views. (Short buffers are in the refusal table.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "miniport/miniport.h"
#include "support/driver_session.h"

namespace {

// The platform's mapping at `address`: physical start and length, or {0, 0}.
std::pair<uint64_t, uint32_t> Mapping(sim::Machine& m, const void* address) {
  for (const auto& mapping : m.Mappings()) {
    if (mapping.virtualAddress == address) return {mapping.physical, mapping.length};
  }
  return {0, 0};
}

// Text: the 128 KB window from 0xA0000, the frame at 0xB8000 inside it.
// Linear: window and frame both the whole 4 MB frame buffer. Unmapping
// passes the platform's status through and keeps the mapping on failure.
TEST(MemoryServices, MapsTheWindowAndPlacesTheFrameInIt) {
  test::DriverSession s;
  sim::Machine& m = s.machine();
  const struct {
    ULONG mode;
    uint64_t physical;
    ULONG windowLength, frameOffset, frameLength;
  } cases[] = {{0, 0xA0000, 0x20000, 0x18000, 0x8000}, {2, 0xE0000000, 0x400000, 0, 0x400000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    ASSERT_EQ(s.SetMode(c.mode), NO_ERROR);
    VIDEO_MEMORY request{nullptr};
    VIDEO_MEMORY_INFORMATION info;
    const auto result = m.Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &request, 4, &info, 16);
    ASSERT_EQ(result.status, NO_ERROR);
    EXPECT_EQ(result.information, 16u);
    EXPECT_EQ(Mapping(m, info.VideoRamBase), std::make_pair(c.physical, c.windowLength));
    EXPECT_EQ(info.VideoRamLength, c.windowLength);
    EXPECT_EQ(static_cast<PUCHAR>(info.FrameBufferBase) - static_cast<PUCHAR>(info.VideoRamBase),
              c.frameOffset);
    EXPECT_EQ(info.FrameBufferLength, c.frameLength);

    VIDEO_MEMORY mapped{info.VideoRamBase};
    m.InjectFault({sim::Service::UnmapMemory, 0, 1, 0x4321});
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &mapped, 4, nullptr, 0).status, 0x4321);
    EXPECT_NE(Mapping(m, info.VideoRamBase).second, 0u);
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &mapped, 4, nullptr, 0).status, NO_ERROR);
    EXPECT_EQ(Mapping(m, info.VideoRamBase).second, 0u);
  }
}

// The head of the graphics window and the ROM, freed together; a failed
// first mapping returns its status and leaves the second record alone.
TEST(MemoryServices, PublicRangesAreTheGraphicsWindowHeadAndTheRom) {
  test::DriverSession s;
  sim::Machine& m = s.machine();
  VIDEO_PUBLIC_ACCESS_RANGES ranges[2];
  std::memset(ranges, 0xCD, sizeof(ranges));
  ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, 24).status,
            NO_ERROR);
  EXPECT_EQ(Mapping(m, ranges[0].VirtualAddress), std::make_pair(uint64_t{0xA0000}, 0x9000u));
  EXPECT_EQ(Mapping(m, ranges[1].VirtualAddress), std::make_pair(uint64_t{0xC0000}, 4096u));
  for (const auto& range : ranges)
    EXPECT_EQ(range.InIoSpace | range.MappedInIoSpace, 0u);
  VIDEO_MEMORY both[2] = {{ranges[0].VirtualAddress}, {ranges[1].VirtualAddress}};
  EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, both, 8, nullptr, 0).status, NO_ERROR);
  EXPECT_EQ(
      Mapping(m, ranges[0].VirtualAddress).second + Mapping(m, ranges[1].VirtualAddress).second,
      0u);

  m.InjectFault({sim::Service::MapMemory, 0, 1, 0x77});
  std::memset(ranges, 0xCD, sizeof(ranges));
  const uint32_t before = m.CallCount(sim::Service::MapMemory);
  const auto result = m.Ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, 24);
  EXPECT_EQ(result.status, 0x77);
  EXPECT_EQ(result.information, 24u);
  EXPECT_EQ(m.CallCount(sim::Service::MapMemory) - before, 1u);
  const auto* second = reinterpret_cast<const uint8_t*>(&ranges[1]);
  EXPECT_EQ(std::vector<uint8_t>(second, second + 12), std::vector<uint8_t>(12, 0xCD));
}

// A view inside memory and frame is mapped from the frame's start for its
// size; only the process it was made for gives it up.
TEST(MemoryServices, ShareAcceptsOnlyViewsInsideMemoryAndFrame) {
  test::DriverSession s;
  sim::Machine& m = s.machine();
  const struct {
    const char* what;
    ULONG frameLength, offset, size;
    VP_STATUS status;
  } cases[] = {
      {"ends exactly at the end of memory", 0x400000, 0, 0x400000, NO_ERROR},
      {"offset view ends exactly at the end", 0x400000, 0x100, 0x3FFF00, NO_ERROR},
      {"one byte more", 0x400000, 0x100, 0x3FFF01, ERROR_INVALID_PARAMETER},
      {"offset beyond memory", 0x400000, 0x400001, 0, ERROR_INVALID_PARAMETER},
      {"size wraps around 2^32", 0x400000, 0x100, 0xFFFFFFFF, ERROR_INVALID_PARAMETER},
      {"offset wraps around 2^32", 0x400000, 0xFFFFFFFF, 2, ERROR_INVALID_PARAMETER},
      {"whole text frame", 0x8000, 0, 0x8000, NO_ERROR},
      {"beyond the text frame", 0x8000, 0, 0x8001, ERROR_INVALID_PARAMETER},
      {"offset view beyond the text frame", 0x8000, 0x7000, 0x1001, ERROR_INVALID_PARAMETER},
  };
  ASSERT_EQ(s.SetMode(2), NO_ERROR);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    s.ext().FrameLength = c.frameLength;
    VIDEO_SHARE_MEMORY request{reinterpret_cast<HANDLE>(0x1234), c.offset, c.size, nullptr};
    VIDEO_SHARE_MEMORY_INFORMATION shared;
    const uint32_t maps = m.CallCount(sim::Service::MapMemory);
    const auto result = m.Ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &request, 16, &shared, 12);
    EXPECT_EQ(result.status, c.status);
    if (c.status != NO_ERROR) {
      EXPECT_EQ(m.CallCount(sim::Service::MapMemory), maps);
      continue;
    }
    EXPECT_EQ(result.information, 12u);
    EXPECT_EQ(shared.SharedViewOffset, c.offset);
    EXPECT_EQ(shared.SharedViewSize, c.size);
    EXPECT_EQ(Mapping(m, shared.VirtualAddress), std::make_pair(uint64_t{0xE0000000}, c.size));
    VIDEO_SHARE_MEMORY elsewhere{nullptr, 0, 0, shared.VirtualAddress};
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, &elsewhere, 16, nullptr, 0).status,
              ERROR_INVALID_PARAMETER);
    VIDEO_SHARE_MEMORY unshare{request.ProcessHandle, 0, 0, shared.VirtualAddress};
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, &unshare, 16, nullptr, 0).status, NO_ERROR);
    EXPECT_EQ(Mapping(m, shared.VirtualAddress).second, 0u);
  }
}

}  // namespace
