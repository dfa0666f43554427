// Mode set: the refresh selection, the BIOS call, and the chip's extended
// registers for the linear frame buffer, the pitch, the pointer pattern and
// the display FIFO.
#include "modes/mode_set.h"
#include "miniport/address_map.h"
#include "miniport/registers.h"

// SR35 bit 5 changes only at the start of a vertical retrace.
static VOID SetSr35ModeChange(const VgaDeviceExtension* ext, BOOLEAN on) {
  UCHAR value = SeqRead(ext, SR35_RETRACE_SYNC);
  value = on ? (value | kSr35ModeChange.Mask()) : (value & kSr35ModeChange.Keep());
  // Input status 1 is where misc output bit 0 puts it: a full-screen session
  // may have left mono addressing, and 0x3DA then floats to 0xFF.
  WaitForStatusRise(ext, StatusPort(CurrentAddressing(ext)), kStatus1VerticalRetrace);
  SeqWrite(ext, SR35_RETRACE_SYNC, value);
}

// The BIOS leaves the blink bit on in text modes; the console wants
// sixteen background colours.
static VOID ClearAttributeBlink(const VgaDeviceExtension* ext) {
  const Addressing addressing = CurrentAddressing(ext);
  const UCHAR ar10Index = kArIndexPaletteSource.Mask() | AR10_MODE_CONTROL;
  ResetAttributeFlipFlop(ext, addressing);
  const UCHAR modeControl = AttrRead(ext, ar10Index);
  ResetAttributeFlipFlop(ext, addressing);
  AttrWrite(ext, ar10Index, modeControl & kAr10Blink.Keep());
}

static VOID OpenLinearAperture(VgaDeviceExtension* ext) {
  const ULONG base = ext->LinearFramePhysical.LowPart;
  const UCHAR size = ext->VideoMemorySize == 0x800000 ? kSr21SizeEightMegabytes : kSr21SizeSmaller;
  SeqWrite16(ext, SR20_APERTURE_LOW, static_cast<UCHAR>(base >> 19));
  SeqWrite16(ext, SR21_APERTURE_HIGH,
             kSr21BaseBits31To27.Place(base >> 27) | kSr21SizeCode.Place(size));
  SeqModifyField(ext, SR06_EXTENDED_MODE, kSr06LinearAperture, 1);
}

// Pitch in 8-byte units (4-byte units when interlaced): low byte in CR13,
// bits 11..8 in SR0A. Graphics modes address the CRTC at 0x3D4.
static VOID ProgramPitch(const VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const USHORT pitch = mode->Interlaced ? mode->ScreenStride / 4 : mode->ScreenStride / 8;
  CrtcWrite16(ext, Addressing::Color, CR13_OFFSET, static_cast<UCHAR>(pitch & 0xFF));
  SeqModifyField(ext, SR0A_PITCH_HIGH, kSr0aOffsetBits11To8, pitch >> 8);

  // Bit 6 is set whatever the pitch.
  UCHAR pitchClass = 0;
  if (mode->ScreenStride == 2048) pitchClass = kSr27Pitch2048;
  if (mode->ScreenStride == 4096) pitchClass = kSr27Pitch4096;
  SeqModify(ext, SR27_PITCH_CLASS, kSr27PitchClass.Keep(),
            kSr27PitchBit6.Mask() | kSr27PitchClass.Place(pitchClass));

  // The pipe mode 01 and bit 2; wide pixels are switched on here, never off.
  UCHAR pipe = kSr0bPipeMode.Place(1) | kSr0bPipeBit2.Mask();
  if (mode->BitsPerPlane == 24 || mode->BitsPerPlane == 32) pipe |= kSr0bWidePixels.Mask();
  SeqModify(ext, SR0B_PIXEL_PIPE, kSr0bPipeMode.Keep(), pipe);
}

// The pattern sits at the end of usable memory; SR38 and SR3E hold the
// number of its 256 KB block.
static VOID ProgramPointerLocation(const VgaDeviceExtension* ext) {
  const UCHAR block = static_cast<UCHAR>((AdapterMemorySize >> 18) - 1);
  SeqModifyField(ext, SR38_POINTER_BLOCK, kSr38PointerBlockBits3To0, block);
  SeqModifyField(ext, SR3E_MARTEN_CONTROL, kSr3ePointerBlockBit4, block >> 4);
}

// The display FIFO thresholds count in five bits.
constexpr UCHAR kFifoThresholdMax = 31;

// 1.4 as the single-precision constant the threshold was tuned with:
// exactly 11744051 / 2^23 (1.39999997615814208984375).
constexpr uint64_t kOnePointFourScaled = 11744051;
constexpr int kOnePointFourShift = 23;

// Single precision rounds a value up to the odd integer n when it lies at
// most half a float spacing below n (a tie goes to n: below 2^23 its
// mantissa is even). That half spacing is 2^-shift.
static int HalfFloatSpacingShiftBelow(uint64_t n) {
  int exponent = 0;  // floor(log2(n))
  while (n >> (exponent + 1))
    ++exponent;
  // The floats just below 1, a power of two, are twice as dense.
  return n == 1 ? 25 : 24 - exponent;
}

// The low threshold from the share of memory bandwidth the refresh takes,
// r = D x 1.4 / B x Q x F (pixels a second, memory bytes a second, bytes a
// pixel, 60 or 30 by the strap), worked out in double precision and rounded
// to single precision when the threshold was tuned; T = trunc((r + 1) / 2)
// + 2. Nothing saves the floating-point state for a miniport, so this is
// integer arithmetic giving the same T: r is the exact fraction
// numerator / denominator, and the single-precision rounding counts only
// where it lifts r onto the odd integer at which the halving steps up. The
// double-precision steps err by parts in 2^53, and no mode and memory clock
// of these adapters puts r nearer to such a step than 2^-26 of its value.
UCHAR ZelFifoLowThreshold(const VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const uint64_t factor = ext->MemoryStrapFlag ? 60 : 30;
  // The bus is 32 or 64 bits wide: its width in bytes is whole.
  const uint64_t bandwidth = uint64_t{ext->MemoryClockMHz} * 1000000 * (ext->MemoryBusWidth / 8);
  // A memory clock that rounds to 0 MHz validates no graphics mode; were
  // one set, the refresh would need the whole FIFO.
  if (bandwidth == 0) return kFifoThresholdMax;
  const ULONG pixelsPerSecond = static_cast<ULONG>(mode->YResolution) * mode->RefreshRate *
                                static_cast<ULONG>(mode->XResolution);
  const ULONG bytesPerPixel = (mode->BitsPerPlane + 1) / 8;

  // Below 2^64: a 32-bit pixel rate, at most 4 bytes a pixel, 60 and the
  // 24 bits of 1.4; a bus of 64 bits at most. r stays below 2^21.
  const uint64_t numerator = pixelsPerSecond * kOnePointFourScaled * bytesPerPixel * factor;
  const uint64_t denominator = bandwidth << kOnePointFourShift;

  // half = trunc((r + 1) / 2); r lies gap / denominator below the odd
  // integer 2 x half + 1.
  const uint64_t sum = numerator + denominator;
  uint64_t half = sum / (2 * denominator);
  const uint64_t gap = 2 * denominator - (sum - half * 2 * denominator);
  if (gap <= denominator >> HalfFloatSpacingShiftBelow(2 * half + 1)) ++half;

  UCHAR threshold = static_cast<UCHAR>(half + 2);
  if (ext->MemoryType == 3) threshold = static_cast<UCHAR>(threshold + 2);
  return threshold > kFifoThresholdMax ? kFifoThresholdMax : threshold;
}

static VOID ProgramFifoThresholds(const VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const UCHAR low = ZelFifoLowThreshold(ext, mode);
  SeqModifyField(ext, SR08_FIFO_LOW, kSr08FifoLowBits3To0, low);
  // The high threshold is the largest; it goes in whole, so SR09 bit 4 is
  // set too.
  SeqModify(ext, SR09_FIFO_HIGH, kSr09FifoHigh.Keep(), kFifoThresholdMax);
  SeqModify(ext, SR3F_FIFO_CONTROL, kSr3fFifoMode.Keep() & kSr3fThresholdBit4.Keep(),
            kSr3fFifoMode.Place(kSr3fFifoModeValue) | kSr3fThresholdBit4.Place(low >> 4));
}

VP_STATUS VPAPI VgaSetMode(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (inputLength < sizeof(VIDEO_MODE)) return ERROR_INSUFFICIENT_BUFFER;

  PVIDEO_MODE request = static_cast<PVIDEO_MODE>(input);
  ULONG modeNumber = request->RequestedMode;
  if (modeNumber & 0x80000000) {
    modeNumber &= ~0x80000000UL;
    request->RequestedMode = modeNumber;
  }
  if (modeNumber >= NumVideoModes || (ModesVGA[modeNumber].ValidMode & 0xFF) == 0) {
    return ERROR_INVALID_PARAMETER;
  }
  VgaModeEntry* mode = &ModesVGA[modeNumber];

  // SR05 is not trapped, so a full-screen session may have locked the
  // extended registers: open them before SR37 picks the refresh routine and
  // SR35 and SR3E are changed.
  SeqWrite16(ext, SR05_UNLOCK, kSr05UnlockKey);

  if (mode->ModeType & VIDEO_MODE_GRAPHICS) {
    if (kSr37ByIndex.Of(SeqRead(ext, SR37_REFRESH_INDEX))) {
      ZelSetRefreshIndex(ext, mode);
    } else {
      ZelSetFrameRate(ext, mode);
    }
  }

  VIDEO_X86_BIOS_ARGUMENTS bios;
  VideoPortZeroMemory(&bios, sizeof(bios));
  bios.Eax = mode->Int10ModeNumber;

  SetSr35ModeChange(ext, TRUE);
  const VP_STATUS status = VideoPortInt10(ext, &bios);
  if (status != NO_ERROR) return status;

  MartenSetSr3eD0(mode->XResolution, mode->YResolution, mode->BitsPerPlane, mode->RefreshRate,
                  ext->MemoryType, ext->MemoryBusWidth);
  if (mode->XResolution >= 800) PortWrite8(ext, ZEL_BANK_SELECT, 0x00);
  if (mode->CmdStream != nullptr) VgaInterpretCmdStream(ext, mode->CmdStream);

  if (mode->ModeType & VIDEO_MODE_GRAPHICS) {
    SeqWrite16(ext, SR05_UNLOCK, kSr05UnlockKey);
  } else {
    ClearAttributeBlink(ext);
  }

  if (mode->BitsPerPlane < 8) {
    // The BIOS font again: a font load's cells do not outlive its mode, and
    // the cursor lines are those of the BIOS font's cell.
    const VgaTextGeometry& biosText = VgaBiosTextGeometry[modeNumber];
    mode->TextColumns = biosText.Columns;
    mode->TextRows = biosText.Rows;
    if (ext->FontHeight != 0)
      ext->FontHeight = static_cast<USHORT>(mode->YResolution / biosText.Rows);
    ext->VideoMemoryPhysical = PhysicalAddress(kVgaWindowPhysical);
    ext->VideoMemoryLength = kVgaWindowLength;
    ext->FrameBufferView = ext->A0000View;
    ext->HardwarePointerAvailable = 0;
  } else {
    OpenLinearAperture(ext);
    SetSr35ModeChange(ext, FALSE);

    ext->VideoMemoryPhysical = PhysicalAddress(ext->LinearFramePhysical.LowPart);
    ext->VideoMemoryLength = ext->VideoMemorySize;
    ext->FrameBufferView = ext->LinearFrameView;

    ext->HardwarePointerAvailable = 0;
    if (static_cast<ULONG>(mode->YResolution) * mode->ScreenStride < AdapterMemorySize) {
      ext->HardwarePointerAvailable = 1;
      ext->PointerShapeAddress = ext->LinearFrameView + AdapterMemorySize - kPointerPatternArea;
    }

    ProgramPitch(ext, mode);
    if (ext->HardwarePointerAvailable) ProgramPointerLocation(ext);
    ProgramFifoThresholds(ext, mode);
  }

  const VgaMemoryMap& frame = MemoryMaps[mode->MemoryMapIndex];
  ext->FrameLength = frame.Length;
  ext->FramePhysical = PhysicalAddress(frame.Start);
  ext->CurrentMode = mode;
  ext->ModeIndex = modeNumber;
  return NO_ERROR;
}

// IOCTL_VIDEO_RESET_DEVICE: back to the 80 x 25 text mode.
VP_STATUS VPAPI VgaResetDevice(VgaDeviceExtension* ext) {
  VIDEO_MODE textMode;
  textMode.RequestedMode = 0;
  return VgaSetMode(ext, &textMode, sizeof(textMode));
}
