// The mode queries: the list of valid modes, their number, and the current
// mode, each described as the display driver's mode information record.
#include "modes/modes.h"

#define MODE_INFO_SIZE sizeof(VIDEO_MODE_INFORMATION)  // 80
#define BIOS_ROM_KB_WITHOUT_1500 48

// The monitor's size is unknown; a common 4:3 monitor is reported.
#define SCREEN_WIDTH_MM 320
#define SCREEN_HEIGHT_MM 240

namespace {

VOID DescribeMode(const VgaModeEntry& mode, ULONG modeIndex, VIDEO_MODE_INFORMATION* info) {
  info->Length = MODE_INFO_SIZE;
  info->ModeIndex = modeIndex;
  info->VisScreenWidth = mode.XResolution;
  info->VisScreenHeight = mode.YResolution;
  info->ScreenStride = mode.ScreenStride;
  info->NumberOfPlanes = mode.NumPlanes;
  info->BitsPerPlane = mode.BitsPerPlane;
  info->Frequency = mode.RefreshRate;
  info->XMillimeter = SCREEN_WIDTH_MM;
  info->YMillimeter = SCREEN_HEIGHT_MM;

  info->AttributeFlags = mode.ModeType;
  if (mode.Interlaced != 0) info->AttributeFlags |= VIDEO_MODE_INTERLACED;
  switch (mode.BitsPerPlane) {
    case 16:  // 5:6:5
      info->NumberRedBits = 5;
      info->NumberGreenBits = 6;
      info->NumberBlueBits = 5;
      info->RedMask = 0xF800;
      info->GreenMask = 0x07E0;
      info->BlueMask = 0x001F;
      break;
    case 32:  // x:8:8:8
      info->NumberRedBits = 8;
      info->NumberGreenBits = 8;
      info->NumberBlueBits = 8;
      info->RedMask = 0xFF0000;
      info->GreenMask = 0x00FF00;
      info->BlueMask = 0x0000FF;
      break;
    default:  // text and 8 bits: colours come from the 6-bit DAC
      info->NumberRedBits = 6;
      info->NumberGreenBits = 6;
      info->NumberBlueBits = 6;
      info->RedMask = 0;
      info->GreenMask = 0;
      info->BlueMask = 0;
      info->AttributeFlags |= VIDEO_MODE_PALETTE_DRIVEN | VIDEO_MODE_MANAGED_PALETTE;
      break;
  }

  info->VideoMemoryBitmapWidth = static_cast<ULONG>(mode.ScreenStride) * 8 / mode.BitsPerPlane;
  info->VideoMemoryBitmapHeight = AdapterMemorySize / mode.ScreenStride;
  info->DriverSpecificAttributeFlags = 0;
}

}  // namespace

VP_STATUS VPAPI VgaQueryAvailableModes(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                       PULONG information) {
  *information = ext->NumAvailableModes * MODE_INFO_SIZE;
  if (outputLength < *information) return ERROR_INSUFFICIENT_BUFFER;

  // BIOS images under 48 KB are asked function 15h first; on these chips
  // neither its status nor its registers change the list.
  if (ext->BiosRomSizeKb < BIOS_ROM_KB_WITHOUT_1500) {
    VIDEO_X86_BIOS_ARGUMENTS biosArguments;
    VideoPortZeroMemory(&biosArguments, sizeof(biosArguments));
    biosArguments.Eax = 0x1500;
    VideoPortInt10(ext, &biosArguments);
  }

  VIDEO_MODE_INFORMATION* record = static_cast<VIDEO_MODE_INFORMATION*>(output);
  ULONG written = 0;
  // The count bounds the records too: the buffer was sized by it.
  for (ULONG i = 0; i < NumVideoModes && written < ext->NumAvailableModes; i++) {
    if ((ModesVGA[i].ValidMode & 0xFF) == 0) continue;
    DescribeMode(ModesVGA[i], i, record);
    record++;
    written++;
  }
  return NO_ERROR;
}

VP_STATUS VPAPI VgaQueryNumberOfAvailableModes(VgaDeviceExtension* ext, PVOID output,
                                               ULONG outputLength, PULONG information) {
  *information = sizeof(VIDEO_NUM_MODES);
  if (outputLength < sizeof(VIDEO_NUM_MODES)) return ERROR_INSUFFICIENT_BUFFER;

  VIDEO_NUM_MODES* numModes = static_cast<VIDEO_NUM_MODES*>(output);
  numModes->NumModes = ext->NumAvailableModes;
  numModes->ModeInformationLength = MODE_INFO_SIZE;
  return NO_ERROR;
}

VP_STATUS VPAPI VgaQueryCurrentMode(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                    PULONG information) {
  // No mode has been set yet: there is nothing to describe.
  if (ext->CurrentMode == nullptr) return ERROR_INVALID_PARAMETER;

  *information = MODE_INFO_SIZE;
  if (outputLength < MODE_INFO_SIZE) return ERROR_INSUFFICIENT_BUFFER;

  DescribeMode(*ext->CurrentMode, ext->ModeIndex, static_cast<VIDEO_MODE_INFORMATION*>(output));
  return NO_ERROR;
}
