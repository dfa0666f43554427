// The mode queries: the list of valid modes, their number, and the current
// mode, each described as the display driver's mode information record.
#include "modes/modes.h"

#define MODE_INFO_SIZE sizeof(VIDEO_MODE_INFORMATION)  // 80
#define BIOS_ROM_KB_WITHOUT_1500 48

// The monitor's size is unknown; a common 4:3 monitor is reported.
#define SCREEN_WIDTH_MM 320
#define SCREEN_HEIGHT_MM 240

namespace {

// How a pixel's bits make its colour, by bits per pixel.
struct ColorFormat {
  USHORT BitsPerPlane;  // 0 ends the table: every other depth
  ULONG RedBits;
  ULONG GreenBits;
  ULONG BlueBits;
  ULONG RedMask;
  ULONG GreenMask;
  ULONG BlueMask;
};

// clang-format off
constexpr ColorFormat kColorFormats[] = {
    // bits  R  G  B  red mask  green mask  blue mask
    {16,     5, 6, 5, 0xF800,   0x07E0,     0x001F},    // 5:6:5
    {32,     8, 8, 8, 0xFF0000, 0x00FF00,   0x0000FF},  // x:8:8:8
    {0,      6, 6, 6, 0,        0,          0},         // text and 8 bits: the 6-bit DAC's palette
};
// clang-format on

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
  const ColorFormat* format = kColorFormats;
  while (format->BitsPerPlane != 0 && format->BitsPerPlane != mode.BitsPerPlane)
    ++format;
  info->NumberRedBits = format->RedBits;
  info->NumberGreenBits = format->GreenBits;
  info->NumberBlueBits = format->BlueBits;
  info->RedMask = format->RedMask;
  info->GreenMask = format->GreenMask;
  info->BlueMask = format->BlueMask;
  if (format->BitsPerPlane == 0) {
    info->AttributeFlags |= VIDEO_MODE_PALETTE_DRIVEN | VIDEO_MODE_MANAGED_PALETTE;
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
