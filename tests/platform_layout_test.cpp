// The platform records and the device extension keep their i386 NT layout.
// Most sizes are pinned by static_assert where the records are declared; this
// suite checks the offsets a wrong alignment rule would move.
#include <gtest/gtest.h>

#include <cstddef>

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

namespace {

struct OffsetCase {
  const char* field;
  size_t actual;
  size_t expected;
};

TEST(PlatformLayout, PhysicalAddressMembersSitOnEightByteBoundaries) {
  const OffsetCase cases[] = {
      {"VIDEO_ACCESS_RANGE.RangeStart", offsetof(VIDEO_ACCESS_RANGE, RangeStart), 0},
      {"VIDEO_ACCESS_RANGE.RangeLength", offsetof(VIDEO_ACCESS_RANGE, RangeLength), 8},
      {"VIDEO_ACCESS_RANGE.RangeShareable", offsetof(VIDEO_ACCESS_RANGE, RangeShareable), 14},
      {"VIDEO_PORT_CONFIG_INFO.VdmPhysicalVideoMemoryAddress",
       offsetof(VIDEO_PORT_CONFIG_INFO, VdmPhysicalVideoMemoryAddress), 40},
      {"VIDEO_PORT_CONFIG_INFO.VdmPhysicalVideoMemoryLength",
       offsetof(VIDEO_PORT_CONFIG_INFO, VdmPhysicalVideoMemoryLength), 48},
      {"VIDEO_PORT_CONFIG_INFO.HardwareStateSize",
       offsetof(VIDEO_PORT_CONFIG_INFO, HardwareStateSize), 52},
      {"EMULATOR_ACCESS_ENTRY.AccessMode", offsetof(EMULATOR_ACCESS_ENTRY, AccessMode), 12},
      {"EMULATOR_ACCESS_ENTRY.Routine", offsetof(EMULATOR_ACCESS_ENTRY, Routine), 16},
      {"VIDEO_HW_INITIALIZATION_DATA.HwStartIO", offsetof(VIDEO_HW_INITIALIZATION_DATA, HwStartIO),
       20},
      {"VIDEO_HARDWARE_STATE_HEADER.PortValue", offsetof(VIDEO_HARDWARE_STATE_HEADER, PortValue),
       4},
      {"VIDEO_HARDWARE_STATE_HEADER.Plane4Offset",
       offsetof(VIDEO_HARDWARE_STATE_HEADER, Plane4Offset), 124},
      {"VIDEO_HARDWARE_STATE_HEADER.DIBXlatLength",
       offsetof(VIDEO_HARDWARE_STATE_HEADER, DIBXlatLength), 152},
      {"VIDEO_CURSOR_ATTRIBUTES.Enable", offsetof(VIDEO_CURSOR_ATTRIBUTES, Enable), 9},
      {"VIDEO_CLUT.LookupTable", offsetof(VIDEO_CLUT, LookupTable), 4},
      {"VIDEO_BANK_SELECT.CodeOffset", offsetof(VIDEO_BANK_SELECT, CodeOffset), 36},
      {"VIDEO_SHARE_MEMORY.ViewSize", offsetof(VIDEO_SHARE_MEMORY, ViewSize), 8},
      {"VIDEO_MEMORY_INFORMATION.FrameBufferBase",
       offsetof(VIDEO_MEMORY_INFORMATION, FrameBufferBase), 8},
  };
  for (const OffsetCase& c : cases) {
    EXPECT_EQ(c.actual, c.expected) << c.field;
  }
}

TEST(PlatformLayout, ValidatorStateIsOneContiguousBlockOf1216Bytes) {
  const size_t start = offsetof(VgaDeviceExtension, TrappedValidatorCount);
  EXPECT_EQ(offsetof(VgaDeviceExtension, TrappedValidatorData) - start, 4u);
  EXPECT_EQ(offsetof(VgaDeviceExtension, SequencerAddressValue) - start, 1204u);
  EXPECT_EQ(offsetof(VgaDeviceExtension, NumTrappedAccessRanges) - start, 1208u);
  EXPECT_EQ(offsetof(VgaDeviceExtension, TrappedAccessRanges) - start, 1212u);
  EXPECT_EQ(offsetof(TrappedValidatorEntry, Data), 8u);
}

TEST(PlatformLayout, RegistryStringsAreSixteenBitCharacters) {
  EXPECT_EQ(sizeof(WCHAR), 2u);
  EXPECT_EQ(sizeof(u"Zel A1"), 14u);
}

}  // namespace
