// The attribute controller's palette and the DAC's colour lookup table.
#include "miniport/range.h"
#include "miniport/registers.h"
#include "services/services.h"

VP_STATUS VPAPI VgaSetPaletteReg(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  const VIDEO_PALETTE_DATA* palette = static_cast<const VIDEO_PALETTE_DATA*>(input);
  if (inputLength < sizeof(VIDEO_PALETTE_DATA)) return ERROR_INSUFFICIENT_BUFFER;
  if (!RangeFits(offsetof(VIDEO_PALETTE_DATA, Colors),
                 static_cast<uint64_t>(palette->NumEntries) * sizeof(USHORT), inputLength)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (palette->NumEntries == 0 ||
      !RangeFits(palette->FirstEntry, palette->NumEntries, VGA_PALETTE_ENTRIES)) {
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

VP_STATUS VPAPI VgaSetColorLookup(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  VIDEO_CLUT* clut = static_cast<VIDEO_CLUT*>(input);
  if (inputLength < 2 * sizeof(USHORT)) return ERROR_INSUFFICIENT_BUFFER;
  if (!RangeFits(offsetof(VIDEO_CLUT, LookupTable),
                 static_cast<uint64_t>(clut->NumEntries) * sizeof(ULONG), inputLength)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (clut->NumEntries == 0 || !RangeFits(clut->FirstEntry, clut->NumEntries, VGA_DAC_ENTRIES)) {
    return ERROR_INVALID_PARAMETER;
  }

  const USHORT status = StatusPort(CurrentAddressing(ext));
  PortWrite8(ext, VGA_DAC_WRITE_INDEX, static_cast<UCHAR>(clut->FirstEntry));
  for (USHORT i = 0; i < clut->NumEntries; ++i) {
    WaitForStatusRise(ext, status, kStatus1DisplayDisabled);  // the start of a blanking interval
    // Red, green, blue in one run; the DAC moves to the next entry by itself.
    VideoPortWritePortBufferUchar(VgaPort(ext, VGA_DAC_DATA), &clut->LookupTable[i].RgbArray.Red,
                                  3);
  }
  return NO_ERROR;
}
