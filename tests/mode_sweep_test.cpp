// Every mode that validation marks, on each adapter of the validation edge
// cases, is set through the dispatcher, described by the current-mode query
// and mapped by the memory-mapping service; every other mode is refused and
// changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "sim/machine.h"
#include "tests/support/bus.h"
#include "tests/support/driver_session.h"

namespace {

TEST(ModeSweep, EveryModeOnEachAdapter) {
  const struct {
    uint32_t megabytes, bus;
    uint8_t memoryType;
    uint32_t clock;
    uint8_t strap;
    ULONG validModes;
  } adapters[] = {{1, 32, 2, 100, 0, 25}, {4, 64, 2, 100, 0, 62}, {8, 64, 2, 100, 0, 66},
                  {8, 64, 2, 100, 1, 63}, {8, 64, 2, 138, 0, 70}, {4, 32, 0, 128, 0, 8}};
  for (const auto& p : adapters) {
    SCOPED_TRACE(testing::Message()
                 << p.megabytes << " MB, " << p.bus << "-bit, type " << int(p.memoryType) << ", "
                 << p.clock << " MHz, strap " << int(p.strap));
    sim::Profile profile;
    profile.memoryMB = p.megabytes;
    profile.busWidth = p.bus;
    profile.memoryType = p.memoryType;
    profile.memoryClockMHz = p.clock;
    profile.strap = p.strap;
    test::DriverSession s(profile);
    ASSERT_EQ(s.LoadStatus(), 0u);
    sim::Adapter& adapter = s.adapter();

    ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, {}, 8).status, NO_ERROR);
    ASSERT_EQ(s.Output()[0], p.validModes);
    std::vector<VIDEO_MODE_INFORMATION> modes(p.validModes);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_AVAIL_MODES, {}, p.validModes * 80).status, NO_ERROR);
    std::memcpy(modes.data(), s.Output().data(), p.validModes * 80);

    std::set<ULONG> marked;
    for (const VIDEO_MODE_INFORMATION& info : modes) {
      SCOPED_TRACE(testing::Message() << "mode " << info.ModeIndex);
      marked.insert(info.ModeIndex);
      ASSERT_EQ(s.SetMode(info.ModeIndex), NO_ERROR);
      ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURRENT_MODE, {}, 80).status, NO_ERROR);
      EXPECT_TRUE(test::BytesAre(s.Output(), test::Bytes(info))) << "current mode";

      ASSERT_EQ(s.Request(IOCTL_VIDEO_MAP_VIDEO_MEMORY, {0, 0, 0, 0}, 16).status, NO_ERROR);
      VIDEO_MEMORY_INFORMATION mapped;
      std::memcpy(&mapped, s.Output().data(), sizeof mapped);
      const bool text = info.BitsPerPlane < 8;
      const uintptr_t frameOffset = reinterpret_cast<uintptr_t>(mapped.FrameBufferBase) -
                                    reinterpret_cast<uintptr_t>(mapped.VideoRamBase);
      EXPECT_EQ(frameOffset, text ? 0x18000u : 0u);
      EXPECT_EQ(mapped.VideoRamLength, text ? 0x20000u : p.megabytes * 0x100000u);
      EXPECT_EQ(mapped.FrameBufferLength, text ? 0x8000u : p.megabytes * 0x100000u);
      if (!text) {
        // The aperture decodes at the linear frame buffer, the pitch
        // registers give the stride, CR01 the width.
        EXPECT_EQ(adapter.ApertureBase().value_or(0), 0xE0000000u);
        const unsigned pitch = adapter.Crtc(0x13) | ((adapter.Seq(0x0A) >> 4) << 8);
        const bool interlaced = (info.AttributeFlags & VIDEO_MODE_INTERLACED) != 0;
        EXPECT_EQ(pitch * (interlaced ? 4u : 8u), info.ScreenStride);
        EXPECT_EQ(adapter.Crtc(0x01), info.VisScreenWidth / 8 - 1);
        static_cast<volatile uint8_t*>(mapped.FrameBufferBase)[1] = 0x5A;
        EXPECT_EQ(adapter.Vram()[1], 0x5A) << "the mapping is the adapter's memory";
      }
      ASSERT_EQ(s.Request(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, test::Bytes(mapped.VideoRamBase)).status,
                NO_ERROR);
    }

    const std::vector<uint8_t> before = s.ExtensionBytes();
    const size_t mark = s.Mark();
    for (ULONG mode = 0; mode < 96; ++mode) {
      if (!marked.count(mode)) {
        EXPECT_EQ(s.SetMode(mode), ERROR_INVALID_PARAMETER) << "mode " << mode;
      }
    }
    EXPECT_TRACE(s.Since(mark), {});
    EXPECT_TRUE(test::BytesAre(s.ExtensionBytes(), before)) << "device extension";
  }
}

}  // namespace
