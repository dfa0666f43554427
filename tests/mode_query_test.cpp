// The mode queries: the records byte for byte, the one BIOS call the mode
// list makes on small ROMs, and every listed mode set, described and mapped
// on each adapter of the validation edge cases. (Short buffers are in the
// refusal table.)
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "sim/machine.h"
#include "tests/support/bus.h"
#include "tests/support/driver_session.h"

// Profiles name only the settings a case changes; GCC would want them all.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// The record of the mode set, byte for byte: length, ModeIndex, width,
// height, stride, planes, bits, Hz, mm x, mm y, red/green/blue bits,
// red/green/blue masks, attributes, bitmap w, bitmap h, driver-specific flags.
TEST(ModeQuery, DescribesTheCurrentRow) {
  const struct {
    const char* what;
    ULONG megabytes, row;
    VIDEO_MODE_INFORMATION expected;
  } cases[] = {
      // clang-format off
      {"text 720x400", 4, 0, {80, 0, 720, 400, 160, 4, 1, 0, 320, 240, 6, 6, 6, 0, 0, 0, 0x0D, 1280, 26214, 0}},
      {"1024x768x8 interlaced", 4, 11, {80, 11, 1024, 768, 1024, 1, 8, 43, 320, 240, 6, 6, 6, 0, 0, 0, 0x1F, 1024, 4096, 0}},
      {"1280x1024x8, 2048 pitch in 4 MB", 4, 17, {80, 17, 1280, 1024, 2048, 1, 8, 60, 320, 240, 6, 6, 6, 0, 0, 0, 0x0F, 2048, 2048, 0}},
      {"640x480x16 narrowed in 1 MB", 1, 40, {80, 40, 640, 480, 1280, 1, 16, 60, 320, 240, 5, 6, 5, 0xF800, 0x07E0, 0x001F, 0x03, 640, 819, 0}},
      {"1280x1024x32 interlaced in 8 MB", 8, 87, {80, 87, 1280, 1024, 5120, 1, 32, 43, 320, 240, 8, 8, 8, 0xFF0000, 0x00FF00, 0x0000FF, 0x13, 1280, 1638, 0}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::DriverSession s({.memoryMB = c.megabytes});
    ASSERT_EQ(s.SetMode(c.row), NO_ERROR);
    EXPECT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURRENT_MODE, {}, 80).information, 80u);
    EXPECT_TRUE(test::BytesAre(s.Output(), test::Bytes(c.expected)));
  }
}

// Only the mode list calls the BIOS (function 0x15), and only when the
// option ROM is under 48 KB; the 1600-wide rows are listed whatever it said.
TEST(ModeQuery, FunctionFifteenIsAskedOnlyBySmallRoms) {
  constexpr ULONG kList = IOCTL_VIDEO_QUERY_AVAIL_MODES;
  const struct {
    uint32_t romKB;
    ULONG code;
    VP_STATUS biosFault;  // 0: the BIOS answers
    std::vector<sim::TraceEntry> expected;
  } cases[] = {
      {32, kList, 0, {sim::io::Bios(0x1500, 0)}},       {47, kList, 0, {sim::io::Bios(0x1500, 0)}},
      {32, kList, 0x1F, {sim::io::Bios(0x1500, 0x1F)}}, {48, kList, 0, {}},
      {32, IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, 0, {}},   {32, IOCTL_VIDEO_QUERY_CURRENT_MODE, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.romKB << " KB ROM, code " << std::hex << c.code);
    test::DriverSession s({.romKB = c.romKB});  // 4 MB: 62 modes
    ASSERT_EQ(s.SetMode(0), NO_ERROR);
    if (c.biosFault != 0) s.machine().InjectFault({sim::Service::Int10, 0, 1, c.biosFault});
    const size_t mark = s.Mark();
    EXPECT_EQ(s.Request(c.code, {}, 62 * 80).status, NO_ERROR);
    EXPECT_TRACE(s.Since(mark), c.expected);
    if (c.code == kList) {  // the 21st row's width: 1600
      EXPECT_EQ(s.Output()[20 * 80 + 8] | s.Output()[20 * 80 + 9] << 8, 1600);
    }
  }
}

// Every listed mode sets, the current-mode query describes it as the list
// did, its pitch registers and CR01 agree with the record, and the mapping
// is the adapter's memory; every other number is refused without a trace.
TEST(ModeQuery, EveryListedModeSetsAndIsDescribedAsListed) {
  const struct {
    sim::Profile profile;
    ULONG validModes;
  } adapters[] = {
      // clang-format off
      {{.memoryMB = 1, .busWidth = 32}, 25}, {{}, 62}, {{.memoryMB = 8}, 66},
      {{.memoryMB = 8, .strap = 1}, 63}, {{.memoryMB = 8, .memoryClockMHz = 138}, 70},
      {{.busWidth = 32, .memoryType = 0, .memoryClockMHz = 128}, 8},
      // clang-format on
  };
  for (const auto& p : adapters) {
    SCOPED_TRACE(testing::Message() << p.profile.memoryMB << " MB, " << p.validModes << " modes");
    test::DriverSession s(p.profile);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, {}, 8).status, NO_ERROR);
    ASSERT_EQ(s.Output()[0], p.validModes);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_AVAIL_MODES, {}, p.validModes * 80).status, NO_ERROR);
    std::vector<VIDEO_MODE_INFORMATION> modes(p.validModes);
    std::memcpy(modes.data(), s.Output().data(), p.validModes * 80);

    std::set<ULONG> listed;
    for (const VIDEO_MODE_INFORMATION& info : modes) {
      SCOPED_TRACE(testing::Message() << "mode " << info.ModeIndex);
      listed.insert(info.ModeIndex);
      ASSERT_EQ(s.SetMode(info.ModeIndex), NO_ERROR);
      ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURRENT_MODE, {}, 80).status, NO_ERROR);
      EXPECT_TRUE(test::BytesAre(s.Output(), test::Bytes(info))) << "current mode";
      ASSERT_EQ(s.Request(IOCTL_VIDEO_MAP_VIDEO_MEMORY, {0, 0, 0, 0}, 16).status, NO_ERROR);
      VIDEO_MEMORY_INFORMATION mapped;
      std::memcpy(&mapped, s.Output().data(), sizeof mapped);
      if (info.BitsPerPlane >= 8) {
        sim::Adapter& a = s.adapter();
        EXPECT_EQ(mapped.FrameBufferLength, p.profile.memoryMB * 0x100000u);
        const unsigned pitch = a.Crtc(0x13) | ((a.Seq(0x0A) >> 4) << 8);
        const bool interlaced = (info.AttributeFlags & VIDEO_MODE_INTERLACED) != 0;
        EXPECT_EQ(pitch * (interlaced ? 4u : 8u), info.ScreenStride);
        EXPECT_EQ(a.Crtc(0x01), info.VisScreenWidth / 8 - 1);
        static_cast<volatile uint8_t*>(mapped.FrameBufferBase)[1] = 0x5A;
        EXPECT_EQ(a.Vram()[1], 0x5A) << "the mapping is the adapter's memory";
      }
      ASSERT_EQ(s.Request(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, test::Bytes(mapped.VideoRamBase)).status,
                NO_ERROR);
    }

    const std::vector<uint8_t> before = s.ExtensionBytes();
    const size_t mark = s.Mark();
    for (ULONG mode = 0; mode < 96; ++mode)
      if (!listed.count(mode)) {
        EXPECT_EQ(s.SetMode(mode), ERROR_INVALID_PARAMETER) << mode;
      }
    EXPECT_TRACE(s.Since(mark), {});
    EXPECT_TRUE(test::BytesAre(s.ExtensionBytes(), before)) << "device extension";
  }
}

}  // namespace
