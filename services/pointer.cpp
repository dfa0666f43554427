// The 64 x 64 two-colour hardware pointer: its pattern lives in the last 2 KB
// of video memory, its colours, position and enable bit in the sequencer.
#include "miniport/address_map.h"
#include "miniport/registers.h"
#include "modes/modes.h"
#include "services/services.h"

#define POINTER_SIZE 64
#define POINTER_MASK_BYTES 512  // one 64 x 64 monochrome mask
#define POINTER_ATTRIBUTES_LENGTH (sizeof(VIDEO_POINTER_ATTRIBUTES) + 2 * POINTER_MASK_BYTES)

static VOID ZelPointerOn(VgaDeviceExtension* ext) {
  SeqModifyField(ext, SR06_EXTENDED_MODE, kSr06PointerOn, 1);
}

static VOID ZelPointerOff(VgaDeviceExtension* ext) {
  SeqModifyField(ext, SR06_EXTENDED_MODE, kSr06PointerOn, 0);
}

VP_STATUS VPAPI ZelEnablePointer(VgaDeviceExtension* ext) {
  if (!ext->HardwarePointerAvailable) return ERROR_INVALID_PARAMETER;
  ZelPointerOn(ext);
  return NO_ERROR;
}

VP_STATUS VPAPI ZelDisablePointer(VgaDeviceExtension* ext) {
  if (!ext->HardwarePointerAvailable) return ERROR_INVALID_PARAMETER;
  ZelPointerOff(ext);
  return NO_ERROR;
}

// Pixel code (AND bit x 2) + XOR bit: 0 black, 1 white, 2 transparent,
// 3 inverted; four pixels a byte, the leftmost in bits 7 and 6.
static VOID ZelCopyMonoCursorShape(const UCHAR* masks, PUCHAR destination) {
  const UCHAR* andMask = masks;
  const UCHAR* xorMask = masks + POINTER_MASK_BYTES;
  UCHAR pattern = 0;
  for (ULONG pixel = 0; pixel < POINTER_SIZE * POINTER_SIZE; ++pixel) {
    const UCHAR bit = static_cast<UCHAR>(0x80 >> (pixel % 8));
    const UCHAR andBit = (andMask[pixel / 8] & bit) ? 1 : 0;
    const UCHAR xorBit = (xorMask[pixel / 8] & bit) ? 1 : 0;
    pattern = static_cast<UCHAR>((pattern << 2) | (andBit << 1) | xorBit);
    if (pixel % 4 == 3) {
      VideoPortWriteRegisterUchar(destination + pixel / 4, pattern);
      pattern = 0;
    }
  }
}

static VOID ZelCopyMonoCursor(VgaDeviceExtension* ext, const UCHAR* masks) {
  SeqWrite16(ext, SR14_POINTER_COLOR0_RED, 0x00);
  SeqWrite16(ext, SR15_POINTER_COLOR0_GREEN, 0x00);
  SeqWrite16(ext, SR16_POINTER_COLOR0_BLUE, 0x00);
  SeqWrite16(ext, SR17_POINTER_COLOR1_RED, 0xFF);
  SeqWrite16(ext, SR18_POINTER_COLOR1_GREEN, 0xFF);
  SeqWrite16(ext, SR19_POINTER_COLOR1_BLUE, 0xFF);
  ZelCopyMonoCursorShape(masks, ext->PointerShapeAddress);
  // Interlaced modes scan a second copy right after the first.
  if (ext->CurrentMode->Interlaced) {
    ZelCopyMonoCursorShape(masks, ext->PointerShapeAddress + kPointerPatternBytes);
  }
}

static VOID ZelSetPointerPos(VgaDeviceExtension* ext, SHORT x, SHORT y) {
  SeqWrite16(ext, SR1C_POINTER_HIDDEN_COLUMNS, 0x00);
  SeqWrite16(ext, SR1F_POINTER_HIDDEN_ROWS, 0x00);
  if (x < 0) {
    SeqWrite16(ext, SR1C_POINTER_HIDDEN_COLUMNS, kSr1cHiddenColumns.Place(-x));
    x = 0;
  }
  SeqWrite16(ext, SR1A_POINTER_X_LOW, static_cast<UCHAR>(x & 0xFF));
  SeqWrite16(ext, SR1B_POINTER_X_HIGH, kSr1bPointerXBits10To8.Place(x >> 8));

  // An interlaced frame shows odd rows in the second field: SR1E bits 7..4
  // pick the field, and the row counts field lines.
  if (ext->CurrentMode->Interlaced) {
    const UCHAR oddField = (y & 1) ? (kSr1eFieldBits7To5.Mask() | kSr1eFieldBit4.Mask()) : 0x00;
    SeqModify(ext, SR1E_POINTER_Y_HIGH, kSr1eFieldBits7To5.Keep() & kSr1eFieldBit4.Keep(),
              oddField);
    y = static_cast<SHORT>(y >> 1);
  }
  if (y < 0) {
    SeqWrite16(ext, SR1F_POINTER_HIDDEN_ROWS, kSr1fHiddenRows.Place(-y));
    y = 0;
  }
  SeqWrite16(ext, SR1D_POINTER_Y_LOW, static_cast<UCHAR>(y & 0xFF));
  SeqWrite16(ext, SR1E_POINTER_Y_HIGH,
             kSr1eFieldBits7To5.Mask() | kSr1ePointerYBits10To8.Place(y >> 8));
}

VP_STATUS VPAPI ZelQueryPointerCapabilities(VgaDeviceExtension* ext, PVOID output,
                                            ULONG outputLength, PULONG information) {
  (void)ext;
  *information = sizeof(VIDEO_POINTER_CAPABILITIES);
  if (outputLength < sizeof(VIDEO_POINTER_CAPABILITIES)) {
    *information = 0;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  PVIDEO_POINTER_CAPABILITIES capabilities = static_cast<PVIDEO_POINTER_CAPABILITIES>(output);
  capabilities->Flags = VIDEO_MODE_ASYNC_POINTER | VIDEO_MODE_MONO_POINTER;
  capabilities->MaxWidth = POINTER_SIZE;
  capabilities->MaxHeight = POINTER_SIZE;
  capabilities->HWPtrBitmapStart = 0;
  capabilities->HWPtrBitmapEnd = 0;
  return NO_ERROR;
}

VP_STATUS VPAPI ZelSetPointerAttributes(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (!ext->HardwarePointerAvailable) return ERROR_INVALID_PARAMETER;
  if (inputLength < POINTER_ATTRIBUTES_LENGTH) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_POINTER_ATTRIBUTES* attributes = static_cast<const VIDEO_POINTER_ATTRIBUTES*>(input);
  if (attributes->Width > POINTER_SIZE || attributes->Height > POINTER_SIZE) {
    return ERROR_INVALID_PARAMETER;
  }

  if (!(attributes->Flags & VIDEO_MODE_ANIMATE_UPDATE)) ZelPointerOff(ext);
  if (!(attributes->Flags & VIDEO_MODE_MONO_POINTER)) return ERROR_INVALID_PARAMETER;

  ZelCopyMonoCursor(ext, attributes->Pixels);
  ZelSetPointerPos(ext, attributes->Column, attributes->Row);
  // The shape and position are loaded either way; Enable 0 asks for them
  // without showing the pointer.
  if (attributes->Enable) {
    ZelPointerOn(ext);
  } else {
    ZelPointerOff(ext);
  }
  return NO_ERROR;
}

VP_STATUS VPAPI ZelSetPointerPosition(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (!ext->HardwarePointerAvailable) return ERROR_INVALID_PARAMETER;
  if (inputLength < sizeof(VIDEO_POINTER_POSITION)) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_POINTER_POSITION* position = static_cast<const VIDEO_POINTER_POSITION*>(input);
  ext->PointerX = static_cast<USHORT>(position->Column);
  ext->PointerY = static_cast<USHORT>(position->Row);
  ZelSetPointerPos(ext, position->Column, position->Row);
  return NO_ERROR;
}

VP_STATUS VPAPI ZelQueryPointerPosition(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                        PULONG information) {
  if (!ext->HardwarePointerAvailable) {
    *information = 0;
    return ERROR_INVALID_PARAMETER;
  }
  if (outputLength < sizeof(VIDEO_POINTER_POSITION)) {
    *information = 0;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  PVIDEO_POINTER_POSITION position = static_cast<PVIDEO_POINTER_POSITION>(output);
  position->Column = static_cast<SHORT>(ext->PointerX);
  position->Row = static_cast<SHORT>(ext->PointerY);
  *information = sizeof(VIDEO_POINTER_POSITION);
  return NO_ERROR;
}
