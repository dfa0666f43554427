// The attribute controller's palette and the DAC's colour lookup table.
#include "miniport/registers.h"
#include "services/services.h"

VP_STATUS VPAPI VgaSetPaletteReg(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  const VIDEO_PALETTE_DATA* palette = static_cast<const VIDEO_PALETTE_DATA*>(input);
  if (inputLength < sizeof(VIDEO_PALETTE_DATA)) return ERROR_INSUFFICIENT_BUFFER;
  if (palette->NumEntries * sizeof(USHORT) + 2 * sizeof(USHORT) > inputLength) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (palette->FirstEntry > 255 || palette->NumEntries == 0 ||
      palette->FirstEntry + palette->NumEntries > VGA_PALETTE_ENTRIES) {
    return ERROR_INVALID_PARAMETER;
  }

  ResetAttributeFlipFlop(ext, CurrentAddressing(ext));
  for (USHORT i = 0; i < palette->NumEntries; ++i) {
    // Palette source bit clear: the palette is writable, the screen blanks.
    AttrWrite(ext, static_cast<UCHAR>(AR00_PALETTE + palette->FirstEntry + i),
              static_cast<UCHAR>(palette->Colors[i]));
  }
  AttrSelect(ext, kArIndexPaletteSource.Mask());  // the palette back to the display
  return NO_ERROR;
}

// Waits for the start of a blanking interval: bit 0 of input status 1 clear,
// then set. Bounded, so a status bit that never moves cannot hang a request.
static VOID WaitForBlankingStart(const VgaDeviceExtension* ext, USHORT status) {
  ULONG polls = 0;
  while ((PortRead8(ext, status) & kStatus1DisplayDisabled.Mask()) &&
         ++polls < ZEL_BLANK_POLL_LIMIT) {
  }
  polls = 0;
  while (!(PortRead8(ext, status) & kStatus1DisplayDisabled.Mask()) &&
         ++polls < ZEL_BLANK_POLL_LIMIT) {
  }
}

VP_STATUS VPAPI VgaSetColorLookup(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  VIDEO_CLUT* clut = static_cast<VIDEO_CLUT*>(input);
  if (inputLength < 2 * sizeof(USHORT)) return ERROR_INSUFFICIENT_BUFFER;
  if (clut->NumEntries * sizeof(ULONG) + 2 * sizeof(USHORT) > inputLength) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (clut->NumEntries == 0 || clut->FirstEntry > 255 ||
      clut->FirstEntry + clut->NumEntries > VGA_DAC_ENTRIES) {
    return ERROR_INVALID_PARAMETER;
  }

  const USHORT status = StatusPort(CurrentAddressing(ext));
  PortWrite8(ext, VGA_DAC_WRITE_INDEX, static_cast<UCHAR>(clut->FirstEntry));
  for (USHORT i = 0; i < clut->NumEntries; ++i) {
    WaitForBlankingStart(ext, status);
    // Red, green, blue in one run; the DAC moves to the next entry by itself.
    VideoPortWritePortBufferUchar(VgaPort(ext, VGA_DAC_DATA), &clut->LookupTable[i].RgbArray.Red,
                                  3);
  }
  return NO_ERROR;
}
