// Every mode that validation marks, on each adapter of the validation edge
// cases, is set through the dispatcher, described by the current-mode query
// and mapped by the memory-mapping service; every other mode is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "miniport/device_extension.h"
#include "sim/machine.h"

namespace {

struct SweepProfile {
  const char* name;
  uint32_t megabytes, bus;
  uint8_t memoryType;
  uint32_t clock;
  uint8_t strap;
  ULONG validModes;
};

class ModeSweep : public ::testing::TestWithParam<SweepProfile> {
 protected:
  void SetUp() override {
    const SweepProfile& p = GetParam();
    sim::Profile profile;
    profile.memoryMB = p.megabytes;
    profile.busWidth = p.bus;
    profile.memoryType = p.memoryType;
    profile.memoryClockMHz = p.clock;
    profile.strap = p.strap;
    machine_ = std::make_unique<sim::Machine>(profile);
    ASSERT_EQ(machine_->Load(), 0u);
  }

  std::vector<VIDEO_MODE_INFORMATION> AvailableModes() {
    VIDEO_NUM_MODES count{};
    EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &count, sizeof(count))
                  .status,
              NO_ERROR);
    std::vector<VIDEO_MODE_INFORMATION> modes(count.NumModes);
    const ULONG length = static_cast<ULONG>(modes.size() * sizeof(VIDEO_MODE_INFORMATION));
    EXPECT_EQ(
        machine_->Ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, modes.data(), length).status,
        NO_ERROR);
    return modes;
  }

  VgaDeviceExtension& Ext() {
    return *static_cast<VgaDeviceExtension*>(machine_->DeviceExtension());
  }

  std::unique_ptr<sim::Machine> machine_;
};

TEST_P(ModeSweep, EveryMarkedModeSetsDescribesAndMaps) {
  const std::vector<VIDEO_MODE_INFORMATION> modes = AvailableModes();
  ASSERT_EQ(modes.size(), GetParam().validModes);
  sim::Adapter& adapter = machine_->adapter();

  for (const VIDEO_MODE_INFORMATION& info : modes) {
    SCOPED_TRACE(::testing::Message() << "mode " << info.ModeIndex << ": " << info.VisScreenWidth
                                      << "x" << info.VisScreenHeight << "x" << info.BitsPerPlane
                                      << " at " << info.Frequency << " Hz");
    VIDEO_MODE request{info.ModeIndex};
    ASSERT_EQ(machine_->Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &request, 4, nullptr, 0).status,
              NO_ERROR);

    VIDEO_MODE_INFORMATION current{};
    ASSERT_EQ(machine_->Ioctl(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &current, sizeof(current))
                  .status,
              NO_ERROR);
    EXPECT_EQ(std::memcmp(&current, &info, sizeof(info)), 0) << "current mode differs";

    VIDEO_MEMORY memory{nullptr};
    VIDEO_MEMORY_INFORMATION mapped{};
    const sim::Machine::Result result = machine_->Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &memory,
                                                        sizeof(memory), &mapped, sizeof(mapped));
    ASSERT_EQ(result.status, NO_ERROR);
    EXPECT_EQ(result.information, 16u);
    const bool text = info.BitsPerPlane < 8;
    const uintptr_t frameOffset = reinterpret_cast<uintptr_t>(mapped.FrameBufferBase) -
                                  reinterpret_cast<uintptr_t>(mapped.VideoRamBase);
    EXPECT_EQ(frameOffset, text ? 0x18000u : 0u);
    EXPECT_EQ(mapped.VideoRamLength, text ? 0x20000u : GetParam().megabytes * 0x100000u);
    EXPECT_EQ(mapped.FrameBufferLength, text ? 0x8000u : GetParam().megabytes * 0x100000u);

    if (!text) {
      // The adapter shows the mode the driver meant: the aperture decodes at
      // the linear frame buffer and the pitch registers give the stride.
      ASSERT_TRUE(adapter.ApertureBase().has_value());
      EXPECT_EQ(*adapter.ApertureBase(), Ext().LinearFramePhysical.LowPart);
      const unsigned pitch = adapter.Crtc(0x13) | ((adapter.Seq(0x0A) >> 4) << 8);
      const bool interlaced = (info.AttributeFlags & VIDEO_MODE_INTERLACED) != 0;
      EXPECT_EQ(pitch * (interlaced ? 4u : 8u), info.ScreenStride);
      EXPECT_EQ(adapter.Crtc(0x01), info.VisScreenWidth / 8 - 1);
      // A linear mapping is plain memory shared with the adapter's video memory.
      auto* frame = static_cast<volatile uint8_t*>(mapped.FrameBufferBase);
      frame[1] = 0x5A;
      EXPECT_EQ(adapter.Vram()[1], 0x5A);
    }
    VIDEO_MEMORY unmap{mapped.VideoRamBase};
    EXPECT_EQ(
        machine_->Ioctl(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &unmap, sizeof(unmap), nullptr, 0).status,
        NO_ERROR);
  }
}

TEST_P(ModeSweep, EveryUnmarkedModeIsRefusedAndChangesNothing) {
  std::set<ULONG> marked;
  for (const VIDEO_MODE_INFORMATION& info : AvailableModes())
    marked.insert(info.ModeIndex);
  std::vector<uint8_t> before(sizeof(VgaDeviceExtension));
  std::memcpy(before.data(), &Ext(), before.size());
  const size_t mark = machine_->trace().Start();
  for (ULONG mode = 0; mode < 96; ++mode) {
    if (marked.count(mode)) continue;
    VIDEO_MODE request{mode};
    EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &request, 4, nullptr, 0).status,
              ERROR_INVALID_PARAMETER)
        << "mode " << mode;
  }
  EXPECT_EQ(machine_->trace().Size(), mark);
  EXPECT_EQ(std::memcmp(before.data(), &Ext(), before.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, ModeSweep,
    ::testing::Values(SweepProfile{"OneMegabyte32Bit", 1, 32, 2, 100, 0, 25},
                      SweepProfile{"FourMegabytes64Bit", 4, 64, 2, 100, 0, 62},
                      SweepProfile{"EightMegabytes", 8, 64, 2, 100, 0, 66},
                      SweepProfile{"EightMegabytesStrapOne", 8, 64, 2, 100, 1, 63},
                      SweepProfile{"EightMegabytesAt138MHz", 8, 64, 2, 138, 0, 70},
                      SweepProfile{"Type0On32BitAt128MHz", 4, 32, 0, 128, 0, 8}),
    [](const ::testing::TestParamInfo<SweepProfile>& info) {
      return std::string(info.param.name);
    });

}  // namespace
