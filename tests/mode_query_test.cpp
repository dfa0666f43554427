// The mode queries: the records byte for byte, the sizes reported on short
// buffers, and the one BIOS call the mode list makes on small ROMs.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "miniport/miniport.h"
#include "modes/modes.h"
#include "sim/machine.h"

namespace {

constexpr uint8_t kUnwritten = 0xCD;
using Record = std::array<ULONG, 20>;  // VIDEO_MODE_INFORMATION, field by field

Record AsRecord(const VIDEO_MODE_INFORMATION& info) {
  Record r;
  std::memcpy(r.data(), &info, sizeof(r));
  return r;
}

bool Untouched(const void* buffer, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (size_t i = 0; i < length; i++) {
    if (bytes[i] != kUnwritten) return false;
  }
  return true;
}

class ModeQuery : public ::testing::Test {
 protected:
  void SetUp() override { sim::LinkedDriver().resetStatics(); }

  // 64-bit bus, type 2 memory at 100 MHz; a 64 KB ROM, so no BIOS call.
  VgaDeviceExtension Validated(ULONG megabytes) {
    VgaDeviceExtension ext{};
    ext.VideoMemorySize = megabytes * 0x100000;
    ext.MemoryBusWidth = 64;
    ext.MemoryType = 2;
    ext.MemoryClockMHz = 100;
    ext.BiosRomSizeKb = 64;
    VgaValidateModes(&ext);
    return ext;
  }
};

TEST_F(ModeQuery, DescribesARowFieldByField) {
  struct Case {
    const char* what;
    ULONG megabytes;
    ULONG row;
    Record expected;
  };
  // Length, ModeIndex, width, height, stride, planes, bits, Hz, mm x, mm y,
  // red/green/blue bits, red/green/blue masks, attributes, bitmap w, bitmap h,
  // driver-specific flags.
  const Case cases[] = {
      {"text 720x400", 4, 0, {80, 0, 720, 400, 160, 4, 1,    0,    320,   240,
                              6,  6, 6,   0,   0,   0, 0x0D, 1280, 26214, 0}},
      {"1024x768x8 interlaced", 4, 11, {80, 11, 1024, 768, 1024, 1, 8,    43,   320,  240,
                                        6,  6,  6,    0,   0,    0, 0x1F, 1024, 4096, 0}},
      {"1024x768x8 60 Hz", 4, 12, {80, 12, 1024, 768, 1024, 1, 8,    60,   320,  240,
                                   6,  6,  6,    0,   0,    0, 0x0F, 1024, 4096, 0}},
      {"1280x1024x8, 2048 pitch in 4 MB", 4, 17, {80, 17,  1280, 1024, 2048, 1, 8,
                                                  60, 320, 240,  6,    6,    6, 0,
                                                  0,  0,   0x0F, 2048, 2048, 0}},
      {"640x480x16 narrowed in 1 MB", 1, 40, {80,     40,     640,  480, 1280, 1, 16,
                                              60,     320,    240,  5,   6,    5, 0xF800,
                                              0x07E0, 0x001F, 0x03, 640, 819,  0}},
      {"1280x1024x32 interlaced in 8 MB", 8, 87, {80,       87,       1280, 1024, 5120, 1, 32,
                                                  43,       320,      240,  8,    8,    8, 0xFF0000,
                                                  0x00FF00, 0x0000FF, 0x13, 1280, 1638, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    VgaDeviceExtension ext = Validated(c.megabytes);
    ext.CurrentMode = &ModesVGA[c.row];
    ext.ModeIndex = c.row;
    VIDEO_MODE_INFORMATION info;
    std::memset(&info, kUnwritten, sizeof(info));
    ULONG information = 0;
    ASSERT_EQ(VgaQueryCurrentMode(&ext, &info, sizeof(info), &information), NO_ERROR);
    EXPECT_EQ(information, 80u);
    EXPECT_EQ(AsRecord(info), c.expected);
  }
}

TEST_F(ModeQuery, ListsTheMarkedRowsPackedInTableOrder) {
  VgaDeviceExtension ext = Validated(1);
  ASSERT_EQ(ext.NumAvailableModes, 25u);
  std::vector<VIDEO_MODE_INFORMATION> buffer(26);
  std::memset(buffer.data(), kUnwritten, 26 * 80);

  ULONG information = 0;
  ASSERT_EQ(VgaQueryAvailableModes(&ext, buffer.data(), 25 * 80, &information), NO_ERROR);
  EXPECT_EQ(information, 2000u);
  std::vector<ULONG> indices;
  for (int i = 0; i < 25; i++)
    indices.push_back(buffer[i].ModeIndex);
  EXPECT_EQ(indices, (std::vector<ULONG>{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                         13, 14, 15, 40, 41, 42, 43, 44, 45, 46, 47, 48}));
  EXPECT_EQ(AsRecord(buffer[16]), (Record{80, 40, 640, 480,    1280,   1,      16,   60,  320, 240,
                                          5,  6,  5,   0xF800, 0x07E0, 0x001F, 0x03, 640, 819, 0}));
  EXPECT_TRUE(Untouched(&buffer[25], 80)) << "a 26th record was written";
}

TEST_F(ModeQuery, ShortBuffersLearnTheSizeTheyNeed) {
  VgaDeviceExtension ext = Validated(1);
  ext.CurrentMode = &ModesVGA[0];
  struct Case {
    const char* what;
    VP_STATUS (*query)(VgaDeviceExtension*, PVOID, ULONG, PULONG) __attribute__((stdcall));
    ULONG length;
    VP_STATUS status;
    ULONG information;
  };
  const Case cases[] = {
      {"list, one byte short", VgaQueryAvailableModes, 1999, ERROR_INSUFFICIENT_BUFFER, 2000},
      {"list, empty buffer", VgaQueryAvailableModes, 0, ERROR_INSUFFICIENT_BUFFER, 2000},
      {"count, 7 bytes", VgaQueryNumberOfAvailableModes, 7, ERROR_INSUFFICIENT_BUFFER, 8},
      {"count, 8 bytes", VgaQueryNumberOfAvailableModes, 8, NO_ERROR, 8},
      {"current, 79 bytes", VgaQueryCurrentMode, 79, ERROR_INSUFFICIENT_BUFFER, 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> buffer(2048, kUnwritten);
    ULONG information = 0;
    EXPECT_EQ(c.query(&ext, buffer.data(), c.length, &information), c.status);
    EXPECT_EQ(information, c.information);
    if (c.status != NO_ERROR) {
      EXPECT_TRUE(Untouched(buffer.data(), buffer.size()));
    }
  }
}

TEST_F(ModeQuery, CurrentModeIsRefusedBeforeAnyModeIsSet) {
  VgaDeviceExtension ext = Validated(4);
  std::vector<uint8_t> buffer(80, kUnwritten);
  ULONG information = 0;
  EXPECT_EQ(VgaQueryCurrentMode(&ext, buffer.data(), 80, &information), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(information, 0u);
  EXPECT_TRUE(Untouched(buffer.data(), buffer.size()));
}

// Through the loaded driver: only the mode list calls the BIOS, and only when
// the option ROM is under 48 KB.
TEST(ModeQueryBios, FunctionFifteenIsAskedOnlyBySmallRoms) {
  constexpr ULONG kList = IOCTL_VIDEO_QUERY_AVAIL_MODES;
  struct Case {
    const char* what;
    uint32_t romKB;
    ULONG code;
    VP_STATUS biosFault;  // 0: the BIOS answers
    std::vector<sim::TraceEntry> expected;
  };
  const Case cases[] = {
      {"list, 32 KB ROM", 32, kList, 0, {sim::io::Bios(0x1500, 0)}},
      {"list, 47 KB ROM", 47, kList, 0, {sim::io::Bios(0x1500, 0)}},
      {"list, 32 KB ROM, BIOS fails", 32, kList, 0x1F, {sim::io::Bios(0x1500, 0x1F)}},
      {"list, 48 KB ROM", 48, kList, 0, {}},
      {"list, 64 KB ROM", 64, kList, 0, {}},
      {"count, 32 KB ROM", 32, IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, 0, {}},
      {"current, 32 KB ROM", 32, IOCTL_VIDEO_QUERY_CURRENT_MODE, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Profile profile;  // 4 MB: 62 modes
    profile.romKB = c.romKB;
    sim::Machine m(profile);
    ASSERT_EQ(m.Load(), 0u);
    static_cast<VgaDeviceExtension*>(m.DeviceExtension())->CurrentMode = &ModesVGA[0];
    if (c.biosFault != 0) {
      sim::Fault fault;
      fault.service = sim::Service::Int10;
      fault.status = c.biosFault;
      m.InjectFault(fault);
    }

    std::vector<VIDEO_MODE_INFORMATION> buffer(62);
    const size_t mark = m.trace().Start();
    const auto result = m.Ioctl(c.code, nullptr, 0, buffer.data(), 62 * 80);
    EXPECT_EQ(result.status, NO_ERROR);
    EXPECT_EQ(sim::CompareTraces(c.expected, m.trace().Since(mark)), "");
    if (c.code == kList) {  // the 1600-wide rows are listed whatever the BIOS said
      EXPECT_EQ(buffer[20].ModeIndex, 20u);
      EXPECT_EQ(buffer[20].VisScreenWidth, 1600u);
    }
  }
}

}  // namespace
