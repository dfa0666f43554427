// Mode set: the refresh selection, the BIOS call, and the chip's extended
// registers for the linear frame buffer, the pitch, the pointer pattern and
// the display FIFO.
#include "modes/mode_set.h"
#include "miniport/address_map.h"
#include "miniport/registers.h"

// Waits for the start of a vertical retrace: bit 3 of input status 1 clear,
// then set. Each phase gives up after a frame's worth of reads and more, so a
// status bit that never moves cannot hang the request.
static VOID WaitForVerticalRetraceStart(const VgaDeviceExtension* ext) {
  ULONG polls = 0;
  while ((PortRead8(ext, VGA_STATUS1_COLOR) & kStatus1VerticalRetrace.Mask()) &&
         ++polls < ZEL_RETRACE_POLL_LIMIT) {
  }
  polls = 0;
  while (!(PortRead8(ext, VGA_STATUS1_COLOR) & kStatus1VerticalRetrace.Mask()) &&
         ++polls < ZEL_RETRACE_POLL_LIMIT) {
  }
}

// SR35 bit 5 changes only at the start of a vertical retrace.
static VOID SetSr35ModeChange(const VgaDeviceExtension* ext, BOOLEAN on) {
  UCHAR value = IndexedRead(ext, VGA_SEQ_INDEX, SR35_RETRACE_SYNC);
  value = on ? (value | kSr35ModeChange.Mask()) : (value & kSr35ModeChange.Keep());
  WaitForVerticalRetraceStart(ext);
  IndexedWrite(ext, VGA_SEQ_INDEX, SR35_RETRACE_SYNC, value);
}

// The BIOS leaves the blink bit on in text modes; the console wants
// sixteen background colours.
static VOID ClearAttributeBlink(const VgaDeviceExtension* ext) {
  const USHORT status = VgaColorAddressing(ext) ? VGA_STATUS1_COLOR : VGA_STATUS1_MONO;
  PortRead8(ext, status);  // flip-flop to the index state
  PortWrite8(ext, VGA_AC_INDEX, kArIndexPaletteSource.Mask() | AR10_MODE_CONTROL);
  const UCHAR modeControl = PortRead8(ext, VGA_AC_DATA_READ);
  PortRead8(ext, status);
  PortWrite8(ext, VGA_AC_INDEX, kArIndexPaletteSource.Mask() | AR10_MODE_CONTROL);
  PortWrite8(ext, VGA_AC_INDEX, static_cast<UCHAR>(modeControl & kAr10Blink.Keep()));
}

static VOID OpenLinearAperture(VgaDeviceExtension* ext) {
  const ULONG base = ext->LinearFramePhysical.LowPart;
  const UCHAR sizeCode = ext->VideoMemorySize == 0x800000 ? 0x80 : 0x60;
  IndexedWrite16(ext, VGA_SEQ_INDEX, SR20_APERTURE_LOW, static_cast<UCHAR>(base >> 19));
  IndexedWrite16(ext, VGA_SEQ_INDEX, SR21_APERTURE_HIGH,
                 static_cast<UCHAR>(((base >> 27) & 0x1F) | sizeCode));
  IndexedModify(ext, VGA_SEQ_INDEX, SR06_EXTENDED_MODE, 0xFF, kSr06LinearAperture.Mask());
}

// Pitch in 8-byte units (4-byte units when interlaced): low byte in CR13,
// bits 11..8 in SR0A bits 7..4.
static VOID ProgramPitch(const VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const USHORT pitch = mode->Interlaced ? mode->ScreenStride / 4 : mode->ScreenStride / 8;
  IndexedWrite16(ext, VGA_CRTC_INDEX_COLOR, CR13_OFFSET, static_cast<UCHAR>(pitch & 0xFF));
  IndexedModify(ext, VGA_SEQ_INDEX, SR0A_PITCH_HIGH, 0x0F,
                static_cast<UCHAR>(((pitch >> 8) & 0x0F) << 4));

  UCHAR pitchClass = 0x40;
  if (mode->ScreenStride == 2048) pitchClass |= 0x10;
  if (mode->ScreenStride == 4096) pitchClass |= 0x20;
  IndexedModify(ext, VGA_SEQ_INDEX, SR27_PITCH_CLASS, 0xCF, pitchClass);

  UCHAR pipe = 0x20 | 0x04;
  if (mode->BitsPerPlane == 24 || mode->BitsPerPlane == 32) pipe |= 0x80;
  IndexedModify(ext, VGA_SEQ_INDEX, SR0B_PIXEL_PIPE, 0x9F, pipe);
}

// The pattern sits in the last 2 KB of usable memory; SR38 bits 7..4 and SR3E
// bit 2 hold the number of its 256 KB block.
static VOID ProgramPointerLocation(const VgaDeviceExtension* ext) {
  const UCHAR block = static_cast<UCHAR>((AdapterMemorySize >> 18) - 1);
  IndexedModify(ext, VGA_SEQ_INDEX, SR38_POINTER_BLOCK, 0x0F, static_cast<UCHAR>(block << 4));
  IndexedModify(ext, VGA_SEQ_INDEX, SR3E_MARTEN_CONTROL, 0xFB,
                static_cast<UCHAR>(((block >> 4) & 0x01) << 2));
}

UCHAR ZelFifoLowThreshold(const VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const double factor = ext->MemoryStrapFlag ? 60.0 : 30.0;
  const double bandwidth =
      static_cast<double>(ext->MemoryClockMHz) * 1000000.0 * (ext->MemoryBusWidth / 8);
  const ULONG pixelsPerSecond = static_cast<ULONG>(mode->YResolution) * mode->RefreshRate *
                                static_cast<ULONG>(mode->XResolution);
  const ULONG bytesPerPixel = (mode->BitsPerPlane + 1) / 8;
  // The refresh share of the bandwidth, with the single-precision 1.4, then
  // rounded to single precision (the volatile forces the rounding on x87).
  volatile float share = static_cast<float>(
      ((static_cast<double>(pixelsPerSecond) * static_cast<double>(1.4f)) / bandwidth) *
      bytesPerPixel * factor);
  UCHAR threshold = static_cast<UCHAR>(static_cast<ULONG>((share + 1.0) * 0.5) + 2);
  if (ext->MemoryType == 3) threshold = static_cast<UCHAR>(threshold + 2);
  return threshold > 31 ? 31 : threshold;
}

static VOID ProgramFifoThresholds(const VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const UCHAR low = ZelFifoLowThreshold(ext, mode);
  IndexedModify(ext, VGA_SEQ_INDEX, SR08_FIFO_LOW, 0x0F, static_cast<UCHAR>((low & 0x0F) << 4));
  // The high threshold 31 goes in whole, so SR09 bit 4 is set too.
  IndexedModify(ext, VGA_SEQ_INDEX, SR09_FIFO_HIGH, 0xF0, 0x1F);
  IndexedModify(ext, VGA_SEQ_INDEX, SR3F_FIFO_CONTROL, 0x83,
                static_cast<UCHAR>(0x58 | (((low >> 4) & 0x01) << 2)));
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
  IndexedWrite16(ext, VGA_SEQ_INDEX, SR05_UNLOCK, kSr05UnlockKey);

  if (mode->ModeType & VIDEO_MODE_GRAPHICS) {
    if (IndexedRead(ext, VGA_SEQ_INDEX, SR37_REFRESH_INDEX) & kSr37ByIndex.Mask()) {
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
    IndexedWrite16(ext, VGA_SEQ_INDEX, SR05_UNLOCK, kSr05UnlockKey);
  } else {
    ClearAttributeBlink(ext);
  }

  if (mode->BitsPerPlane < 8) {
    // The BIOS font again: a font load's cell size does not outlive its mode.
    mode->TextColumns = VGA_TEXT_COLUMNS;
    mode->TextRows = VGA_TEXT_ROWS;
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
