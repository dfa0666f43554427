// VgaFindAdapter: claims the legacy VGA ranges, maps the ports, proves the
// chip, places the 8 MB linear frame buffer and tells the video port how to
// support full-screen sessions.
#include "detect/detect.h"
#include "miniport/address_map.h"
#include "miniport/statics.h"
#include "modes/modes.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

// Row 3 is rewritten at identification (PCI base, SR10 bit 6) and by the
// probing below; the other rows never change.
ZEL_WRITABLE_STATIC VIDEO_ACCESS_RANGE VgaAccessRange[VGA_NUM_ACCESS_RANGES] = {
    // clang-format off
    // RangeStart                 Length              InIo Visible Shareable
    {{{0x000003B0, 0}},          0x0000000C,         1,   1,      0, 0},  // ports 0x3B0 to 0x3BB
    {{{0x000003C0, 0}},          0x00000020,         1,   1,      0, 0},  // ports 0x3C0 to 0x3DF
    {{{kVgaWindowPhysical, 0}},  kVgaWindowLength,   0,   1,      0, 0},  // VGA memory window
    {{{kLinearFrameDefault, 0}}, kLinearFrameLength, 0,   1,      0, 0},  // linear frame buffer
    // clang-format on
};

namespace {

constexpr ULONG kMinConfigInfoLength = 72;
constexpr ULONG kNumLegacyRanges = 3;

// The linear frame buffer is placed on a 4 MB step no higher than 512 MB.
constexpr ULONG kLinearProbeLimit = 0x20000000;
constexpr ULONG kLinearProbeStep = 0x00400000;

}  // namespace

VP_STATUS VPAPI VgaFindAdapter(PVOID HwDeviceExtension, PVOID /*HwContext*/,
                               PWSTR /*ArgumentString*/, PVIDEO_PORT_CONFIG_INFO ConfigInfo,
                               PUCHAR Again) {
  VgaDeviceExtension* ext = static_cast<VgaDeviceExtension*>(HwDeviceExtension);

  if (ConfigInfo->Length < kMinConfigInfoLength) return ERROR_INVALID_PARAMETER;

  // The legacy ports and window first; the linear range is placed below.
  VP_STATUS status = VideoPortVerifyAccessRanges(ext, kNumLegacyRanges, VgaAccessRange);
  if (status != NO_ERROR) return status;

  ext->IoBase = static_cast<PUCHAR>(
      VideoPortGetDeviceBase(ext, VgaAccessRange[0].RangeStart, VGA_IO_PORT_COUNT, 1));
  if (ext->IoBase == nullptr) return ERROR_INVALID_PARAMETER;

  if (!VgaIsPresent(ext)) return ERROR_DEV_NOT_EXIST;
  // Each call places the linear range afresh: a start an earlier, failed
  // call walked to was never claimed, and above 512 MB it would not be
  // checked again. Identification then moves it to the BAR or to 512 MB.
  VgaAccessRange[VGA_LINEAR_ACCESS_RANGE].RangeStart = PhysicalAddress(kLinearFrameDefault);
  if (!ZelIsPresent(ext)) return ERROR_DEV_NOT_EXIST;

  // Walk the linear range up in 4 MB steps until all four ranges can be
  // claimed together. A start already above 512 MB (a PCI base) is claimed
  // where it is, once: mapped unclaimed, it could be system RAM or another
  // device's, and the display driver would get it as the frame buffer.
  VIDEO_ACCESS_RANGE& linear = VgaAccessRange[VGA_LINEAR_ACCESS_RANGE];
  const BOOLEAN placedByPci = linear.RangeStart.LowPart > kLinearProbeLimit;
  do {
    status = VideoPortVerifyAccessRanges(ext, VGA_NUM_ACCESS_RANGES, VgaAccessRange);
    if (status == NO_ERROR || placedByPci) break;
    linear.RangeStart.LowPart += kLinearProbeStep;
  } while (linear.RangeStart.LowPart <= kLinearProbeLimit);
  if (status != NO_ERROR) return status;

  // Mode set programs this address into the aperture registers.
  ext->LinearFramePhysical = PhysicalAddress(linear.RangeStart.LowPart);
  MemoryMaps[VGA_LINEAR_MEMORY_MAP].Start = linear.RangeStart.LowPart;

  ext->A0000View = static_cast<PUCHAR>(
      VideoPortGetDeviceBase(ext, PhysicalAddress(kVgaWindowPhysical), kVgaWindowLength, 0));
  if (ext->A0000View == nullptr) return ERROR_INVALID_PARAMETER;

  ext->LinearFrameView = static_cast<PUCHAR>(
      VideoPortGetDeviceBase(ext, ext->LinearFramePhysical, kLinearFrameLength, 0));
  if (ext->LinearFrameView == nullptr) return ERROR_INVALID_PARAMETER;

  // The ROM window, no longer than the ROM's header says the ROM is (in
  // whole KB): past a short ROM lies the next ROM or device, which neither
  // this view nor a caller's public range may reach. A ROM of less than a
  // KB gets no view.
  ext->RomPhysical = PhysicalAddress(kOptionRomPhysical);
  const ULONG romBytes = static_cast<ULONG>(ext->BiosRomSizeKb) * 1024;
  ext->RomLength = romBytes < kOptionRomWindow ? romBytes : kOptionRomWindow;
  if (romBytes != 0) {
    ext->RomView =
        static_cast<PUCHAR>(VideoPortGetDeviceBase(ext, ext->RomPhysical, ext->RomLength, 0));
    if (ext->RomView == nullptr) return ERROR_INVALID_PARAMETER;
  }

  ConfigInfo->NumEmulatorAccessEntries = VGA_NUM_EMULATOR_ACCESS_ENTRIES;
  ConfigInfo->EmulatorAccessEntries = VgaEmulatorAccessEntries;
  ConfigInfo->EmulatorAccessEntriesContext = reinterpret_cast<ULONG_PTR>(ext);
  ConfigInfo->VdmPhysicalVideoMemoryAddress = PhysicalAddress(kVgaWindowPhysical);
  ConfigInfo->VdmPhysicalVideoMemoryLength = kVgaWindowLength;
  ConfigInfo->HardwareStateSize = kVgaHardwareStateSize;

  // One adapter only: no further call for this bus.
  *Again = FALSE;
  return NO_ERROR;
}
