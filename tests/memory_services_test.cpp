// The memory-mapping services through the loaded driver: video memory, the
// public ranges and shared views, in the modes a mode set leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "miniport/miniport.h"
#include "sim/machine.h"

namespace {

constexpr uint8_t kUnwritten = 0xCD;

ULONG Address(const void* p) {
  return static_cast<ULONG>(reinterpret_cast<uintptr_t>(p));
}

class MemoryServices : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(m.Load(), 0u);
    ext = static_cast<VgaDeviceExtension*>(m.DeviceExtension());
    ASSERT_EQ(ext->VideoMemorySize, 0x400000u);
  }

  // 80 x 25 text: the 128 KB window from 0xA0000, the frame at 0xB8000.
  void TextMode() { SetMode(0); }

  // A linear mode: window and frame both the whole linear frame buffer.
  void LinearMode() { SetMode(2); }

  void SetMode(ULONG mode) {
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0).status, NO_ERROR);
  }

  void FailNext(sim::Service service, VP_STATUS status) {
    sim::Fault fault;
    fault.service = service;
    fault.status = status;
    m.InjectFault(fault);
  }

  const sim::Machine::Mapping* Find(const void* address) {
    for (const auto& mapping : m.Mappings()) {
      if (mapping.virtualAddress == address) return &mapping;
    }
    return nullptr;
  }

  sim::Machine m;
  VgaDeviceExtension* ext = nullptr;
};

TEST_F(MemoryServices, MapsTheWindowAndPlacesTheFrameInIt) {
  struct Case {
    const char* what;
    void (MemoryServices::*mode)();
    ULONG windowLength, frameOffset, frameLength;
  };
  const Case cases[] = {
      {"text", &MemoryServices::TextMode, 0x20000, 0x18000, 0x8000},
      {"linear", &MemoryServices::LinearMode, 0x400000, 0, 0x400000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    (this->*c.mode)();
    VIDEO_MEMORY request{nullptr};
    VIDEO_MEMORY_INFORMATION info;
    std::memset(&info, kUnwritten, sizeof(info));

    const auto result = m.Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &request, 4, &info, 16);
    ASSERT_EQ(result.status, NO_ERROR);
    EXPECT_EQ(result.information, 16u);
    const auto* mapping = Find(info.VideoRamBase);
    ASSERT_NE(mapping, nullptr) << "VideoRamBase is no mapping of the platform";
    EXPECT_EQ(mapping->physical, ext->VideoMemoryPhysical.QuadPart);
    EXPECT_EQ(mapping->length, c.windowLength);
    EXPECT_EQ(info.VideoRamLength, c.windowLength);
    EXPECT_EQ(Address(info.FrameBufferBase) - Address(info.VideoRamBase), c.frameOffset);
    EXPECT_EQ(info.FrameBufferLength, c.frameLength);
  }
}

TEST_F(MemoryServices, ShortBuffersAreRefusedBeforeAnyPlatformCall) {
  struct Case {
    const char* what;
    ULONG code, inLength, outLength;
  };
  const Case cases[] = {
      {"map, 3-byte input", IOCTL_VIDEO_MAP_VIDEO_MEMORY, 3, 16},
      {"map, 15-byte output", IOCTL_VIDEO_MAP_VIDEO_MEMORY, 4, 15},
      {"unmap, 3-byte input", IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, 3, 0},
      {"public ranges, 23-byte output", IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, 0, 23},
      {"free public ranges, 7-byte input", IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, 7, 0},
      {"share, 12-byte output, 15-byte input", IOCTL_VIDEO_SHARE_VIDEO_MEMORY, 15, 12},
      {"share, 11-byte output, 16-byte input", IOCTL_VIDEO_SHARE_VIDEO_MEMORY, 16, 11},
      {"unshare, 15-byte input", IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, 15, 0},
  };
  LinearMode();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> in(32, 0), out(32, kUnwritten);
    const uint32_t maps = m.CallCount(sim::Service::MapMemory);
    const uint32_t unmaps = m.CallCount(sim::Service::UnmapMemory);
    const auto result = m.Ioctl(c.code, in.data(), c.inLength, out.data(), c.outLength);
    EXPECT_EQ(result.status, ERROR_INSUFFICIENT_BUFFER);
    // Only the public-range query announces its size.
    EXPECT_EQ(result.information, c.code == IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES ? 24u : 0u);
    EXPECT_EQ(m.CallCount(sim::Service::MapMemory), maps);
    EXPECT_EQ(m.CallCount(sim::Service::UnmapMemory), unmaps);
    EXPECT_EQ(out, std::vector<uint8_t>(32, kUnwritten));
  }
}

TEST_F(MemoryServices, UnmapPassesThePlatformStatusThrough) {
  TextMode();
  VIDEO_MEMORY request{nullptr};
  VIDEO_MEMORY_INFORMATION info{};
  ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &request, 4, &info, 16).status, NO_ERROR);

  VIDEO_MEMORY unknown{reinterpret_cast<PVOID>(0x1000)};
  EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &unknown, 4, nullptr, 0).status,
            ERROR_INVALID_PARAMETER);
  VIDEO_MEMORY mapped{info.VideoRamBase};
  FailNext(sim::Service::UnmapMemory, 0x4321);
  EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &mapped, 4, nullptr, 0).status, 0x4321);
  EXPECT_NE(Find(info.VideoRamBase), nullptr);
  EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &mapped, 4, nullptr, 0).status, NO_ERROR);
  EXPECT_EQ(Find(info.VideoRamBase), nullptr);
}

TEST_F(MemoryServices, PublicRangesAreTheGraphicsWindowHeadAndTheRom) {
  VIDEO_PUBLIC_ACCESS_RANGES ranges[2];
  std::memset(ranges, kUnwritten, sizeof(ranges));
  const auto result = m.Ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, 24);
  ASSERT_EQ(result.status, NO_ERROR);
  EXPECT_EQ(result.information, 24u);
  EXPECT_EQ(ext->PublicRangePhysical.QuadPart, 0xA0000);
  EXPECT_EQ(ext->PublicRangeLength, 0x9000u);
  EXPECT_EQ(ext->PublicRangeInIoSpace, 0);

  struct Expected {
    uint64_t physical;
    uint32_t length;
  };
  const Expected expected[] = {{0xA0000, 0x9000}, {0xC0000, 4096}};
  for (int i = 0; i < 2; i++) {
    SCOPED_TRACE(testing::Message() << "range " << i);
    EXPECT_EQ(ranges[i].InIoSpace, 0u);
    EXPECT_EQ(ranges[i].MappedInIoSpace, 0u);
    const auto* mapping = Find(ranges[i].VirtualAddress);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(mapping->physical, expected[i].physical);
    EXPECT_EQ(mapping->length, expected[i].length);
  }

  // Freeing both releases both.
  VIDEO_MEMORY both[2] = {{ranges[0].VirtualAddress}, {ranges[1].VirtualAddress}};
  EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, both, 8, nullptr, 0).status, NO_ERROR);
  EXPECT_EQ(Find(ranges[0].VirtualAddress), nullptr);
  EXPECT_EQ(Find(ranges[1].VirtualAddress), nullptr);
}

TEST_F(MemoryServices, AFailedFirstPublicRangeLeavesTheSecondAlone) {
  FailNext(sim::Service::MapMemory, 0x77);
  VIDEO_PUBLIC_ACCESS_RANGES ranges[2];
  std::memset(ranges, kUnwritten, sizeof(ranges));
  const uint32_t before = m.CallCount(sim::Service::MapMemory);
  const auto result = m.Ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, 24);
  EXPECT_EQ(result.status, 0x77);
  EXPECT_EQ(result.information, 24u);
  EXPECT_EQ(m.CallCount(sim::Service::MapMemory) - before, 1u);
  const auto* second = reinterpret_cast<const uint8_t*>(&ranges[1]);
  EXPECT_EQ(std::vector<uint8_t>(second, second + 12), std::vector<uint8_t>(12, kUnwritten));
}

struct ShareCase {
  const char* what;
  ULONG frameLength;
  ULONG offset, size;
  VP_STATUS status;
};

TEST_F(MemoryServices, ShareAcceptsOnlyViewsInsideMemoryAndFrame) {
  const ShareCase cases[] = {
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
  LinearMode();
  for (const ShareCase& c : cases) {
    SCOPED_TRACE(c.what);
    ext->FrameLength = c.frameLength;
    VIDEO_SHARE_MEMORY request{reinterpret_cast<HANDLE>(0x1234), c.offset, c.size, nullptr};
    VIDEO_SHARE_MEMORY_INFORMATION shared;
    std::memset(&shared, kUnwritten, sizeof(shared));
    const uint32_t maps = m.CallCount(sim::Service::MapMemory);

    const auto result = m.Ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &request, 16, &shared, 12);
    EXPECT_EQ(result.status, c.status);
    if (c.status != NO_ERROR) {
      EXPECT_EQ(result.information, 0u);
      EXPECT_EQ(m.CallCount(sim::Service::MapMemory), maps);
      continue;
    }
    EXPECT_EQ(result.information, 12u);
    EXPECT_EQ(shared.SharedViewOffset, c.offset);
    EXPECT_EQ(shared.SharedViewSize, c.size);
    const auto* mapping = Find(shared.VirtualAddress);
    ASSERT_NE(mapping, nullptr);
    // The whole view is mapped from the frame's start; the offset is the caller's.
    EXPECT_EQ(mapping->physical, ext->LinearFramePhysical.QuadPart);
    EXPECT_EQ(mapping->length, c.size);

    // Only the process the view was made for gives it up.
    VIDEO_SHARE_MEMORY elsewhere{nullptr, 0, 0, shared.VirtualAddress};
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, &elsewhere, 16, nullptr, 0).status,
              ERROR_INVALID_PARAMETER);
    VIDEO_SHARE_MEMORY unshare{request.ProcessHandle, 0, 0, shared.VirtualAddress};
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, &unshare, 16, nullptr, 0).status, NO_ERROR);
    EXPECT_EQ(Find(shared.VirtualAddress), nullptr);
  }
}

TEST_F(MemoryServices, ShareReadsItsRequestBeforeAnsweringInTheSameBuffer) {
  LinearMode();
  union {
    VIDEO_SHARE_MEMORY request;
    VIDEO_SHARE_MEMORY_INFORMATION shared;
  } buffer;
  buffer.request = {reinterpret_cast<HANDLE>(0x1234), 0x100, 0x1000, nullptr};
  const auto result = m.Ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &buffer, 16, &buffer, 12);
  ASSERT_EQ(result.status, NO_ERROR);
  EXPECT_EQ(buffer.shared.SharedViewOffset, 0x100u);
  EXPECT_EQ(buffer.shared.SharedViewSize, 0x1000u);
  EXPECT_NE(Find(buffer.shared.VirtualAddress), nullptr);
}

}  // namespace
