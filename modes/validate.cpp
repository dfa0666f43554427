// Mode validation: which rows of the mode table this adapter can drive, by
// memory capacity and by memory bandwidth.
#include "modes/modes.h"

namespace {

// Bytes per pixel of a packed mode: 8 gives 1, 15 and 16 give 2, 32 gives 4.
USHORT BytesPerPixel(const VgaModeEntry& mode) {
  return static_cast<USHORT>((mode.BitsPerPlane + 1) / 8);
}

// Memory types 0 and 1 gain a column on a 64-bit bus; types 2 and 3 lose one
// on a 32-bit bus.
ULONG MemoryColumn(const VgaDeviceExtension* ext) {
  if (ext->MemoryType <= 1) return ext->MemoryBusWidth == 64 ? 1 : 0;
  return ext->MemoryBusWidth == 32 ? 1 : 2;
}

const MinMClkEntry* MinMClkTableFor(USHORT xResolution) {
  switch (xResolution) {
    case 640:
      return ZelMartenMinMClk_640x480;
    case 800:
      return ZelMartenMinMClk_800x600;
    case 1024:
      return ZelMartenMinMClk_1024x768;
    case 1280:
      return ZelMartenMinMClk_1280x1024;
    case 1600:
      return ZelMartenMinMClk_1600x1200;
    default:
      return nullptr;
  }
}

// When the padded pitch would not fit, the row falls back to a tight pitch;
// the narrowed row stays for the life of the driver, and mode set programs it.
void NarrowPitchIfShort(VgaModeEntry& mode, ULONG videoMemorySize) {
  if (mode.BitsPerPlane < 8 || mode.BitsPerPlane > 16) return;
  if (mode.MemoryPerPlane < videoMemorySize) return;
  const USHORT tightPitch = static_cast<USHORT>(BytesPerPixel(mode) * mode.XResolution);
  if (mode.ScreenStride <= tightPitch) return;
  mode.ScreenStride = tightPitch;
  mode.MemoryPerPlane = static_cast<ULONG>(mode.YResolution) * tightPitch;
}

bool FitsInMemory(const VgaModeEntry& mode, ULONG videoMemorySize) {
  return static_cast<uint64_t>(mode.NumPlanes) * mode.MemoryPerPlane <= videoMemorySize;
}

// Modes refused whatever memory and clock say: one on every adapter, four
// more when the memory strap is set.
bool Excluded(const VgaModeEntry& mode, UCHAR memoryStrapFlag) {
  struct Exclusion {
    USHORT XResolution;
    USHORT BitsPerPlane;
    ULONG RefreshRate;
    bool strapOnly;
  };
  static const Exclusion kExclusions[] = {
      {1600, 32, 60, false}, {1600, 16, 85, true},  {1280, 32, 75, true},
      {1280, 32, 85, true},  {1024, 32, 120, true},
  };
  for (const Exclusion& e : kExclusions) {
    if (e.strapOnly && memoryStrapFlag != 1) continue;
    if (mode.XResolution == e.XResolution && mode.BitsPerPlane == e.BitsPerPlane &&
        mode.RefreshRate == e.RefreshRate) {
      return true;
    }
  }
  return false;
}

// Whether the memory clock keeps the display FIFO fed. A pair missing from the
// table (the zero row reached) cannot be shown to work, so it fails.
bool EnoughBandwidth(const VgaModeEntry& mode, ULONG column, USHORT memoryClockMHz) {
  const MinMClkEntry* row = MinMClkTableFor(mode.XResolution);
  if (row == nullptr) return false;
  const USHORT bytesPerPixel = BytesPerPixel(mode);
  while (row->BytesPerPixel != 0 &&
         (row->BytesPerPixel != bytesPerPixel || row->RefreshRate != mode.RefreshRate)) {
    ++row;
  }
  if (row->BytesPerPixel == 0) return false;

  USHORT minimumMHz = row->MinMClkMHz[column];
  // The slowest mode of each of these two widths needs half the listed clock.
  if ((mode.XResolution == 640 && mode.RefreshRate == 60) ||
      (mode.XResolution == 1024 && mode.RefreshRate == 43)) {
    minimumMHz /= 2;
  }
  return minimumMHz < memoryClockMHz;
}

}  // namespace

VOID VgaValidateModes(VgaDeviceExtension* ext) {
  AdapterMemorySize = ext->VideoMemorySize;
  ext->NumAvailableModes = 0;
  const ULONG column = MemoryColumn(ext);

  for (ULONG i = 0; i < NumVideoModes; i++) {
    VgaModeEntry& mode = ModesVGA[i];

    NarrowPitchIfShort(mode, ext->VideoMemorySize);
    bool valid = FitsInMemory(mode, ext->VideoMemorySize) && !Excluded(mode, ext->MemoryStrapFlag);
    // 15 and 24 bits per pixel are never offered on these chips.
    if (mode.BitsPerPlane == 15 || mode.BitsPerPlane == 24) valid = false;
    if (valid && mode.BitsPerPlane >= 8) {
      valid = EnoughBandwidth(mode, column, ext->MemoryClockMHz);
    }

    if (valid) {
      // Only the low byte of the mark is ours; a failed row keeps its mark.
      mode.ValidMode = (mode.ValidMode & ~0xFFu) | 1;
      ext->NumAvailableModes++;
    }
  }
}
