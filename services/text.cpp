// The text cursor and font loading, for the full-screen console.
#include "miniport/range.h"
#include "miniport/registers.h"
#include "modes/mode_set.h"
#include "modes/modes.h"
#include "services/services.h"

#define FONT_SLOT_BYTES 32
#define FONT_MAX_HEIGHT 32
#define FONT_CHARACTERS 256

// The text requests need a text mode; before the first mode set there is no
// mode to work in.
static BOOLEAN InTextMode(const VgaDeviceExtension* ext) {
  return ext->CurrentMode != nullptr && !(ext->CurrentMode->ModeType & VIDEO_MODE_GRAPHICS);
}

VP_STATUS VPAPI VgaLoadAndSetFont(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (!InTextMode(ext)) return ERROR_INVALID_PARAMETER;
  const VIDEO_LOAD_FONT_INFORMATION* font = static_cast<const VIDEO_LOAD_FONT_INFORMATION*>(input);
  if (inputLength < sizeof(VIDEO_LOAD_FONT_INFORMATION)) return ERROR_INSUFFICIENT_BUFFER;
  // The glyphs counted from the end of the record's fixed part, less the one
  // glyph byte that part holds.
  if (!RangeFits(sizeof(VIDEO_LOAD_FONT_INFORMATION) - 1, font->FontSize, inputLength)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (font->WidthInPixels != 8 && font->WidthInPixels != 9) return ERROR_INVALID_PARAMETER;
  // A height of 0 would leave no rows to divide the screen into.
  if (font->HeightInPixels == 0 || font->HeightInPixels > FONT_MAX_HEIGHT) {
    return ERROR_INVALID_PARAMETER;
  }
  if (static_cast<ULONG>(FONT_CHARACTERS) * font->HeightInPixels > font->FontSize) {
    return ERROR_INSUFFICIENT_BUFFER;
  }

  const USHORT height = font->HeightInPixels;
  ext->FontHeight = height;
  ext->FontWidth = font->WidthInPixels;

  VgaModeEntry* mode = ext->CurrentMode;
  mode->TextRows = static_cast<SHORT>(mode->YResolution / height);
  const SHORT columns = static_cast<SHORT>(mode->XResolution / ext->FontWidth);
  if (mode->TextColumns > columns) mode->TextColumns = columns;

  // Plane 2 at 0xA0000 from the stream; every glyph bit written as it is
  // (no set/reset, no rotate or logical function, bit mask open), through
  // bank 0. The values are those of a BIOS text mode, and stay.
  VgaInterpretCmdStream(ext, EnableA000Data);
  GcWrite16(ext, GR01_ENABLE_SET_RESET, 0x00);
  GcWrite16(ext, GR03_DATA_ROTATE, 0x00);
  GcWrite16(ext, GR08_BIT_MASK, 0xFF);
  PortWrite8(ext, ZEL_BANK_SELECT, 0x00);
  // A session may have cut the processor off display memory (misc bit 1),
  // which would drop every glyph: open it for the copy and put misc back.
  const UCHAR misc = MiscRead(ext);
  const BOOLEAN memoryClosed = !kMiscRamEnable.Of(misc);
  if (memoryClosed) MiscWrite(ext, misc | kMiscRamEnable.Mask());
  for (ULONG c = 0; c < FONT_CHARACTERS; ++c) {
    VideoPortWriteRegisterBufferUchar(ext->FrameBufferView + FONT_SLOT_BYTES * c,
                                      const_cast<PUCHAR>(&font->Font[c * height]), height);
  }
  if (memoryClosed) MiscWrite(ext, misc);
  VgaInterpretCmdStream(ext, DisableA000Color);

  // A session may have switched to mono addressing.
  const Addressing addressing = CurrentAddressing(ext);
  CrtcWrite(ext, addressing, CR09_MAX_SCAN_LINE, static_cast<UCHAR>(height - 1));
  CrtcWrite(ext, addressing, CR12_VERTICAL_DISPLAY_END,
            static_cast<UCHAR>(mode->TextRows * height - 1));
  // A two-line underline at the bottom of the cell; a cursor the console
  // has hidden stays hidden.
  const USHORT cell = mode->YResolution / mode->TextRows;
  CrtcWrite(ext, addressing, CR0B_CURSOR_END, static_cast<UCHAR>(cell - 1));
  CrtcWrite(ext, addressing, CR0A_CURSOR_START,
            static_cast<UCHAR>((cell - 2) | kCr0aCursorOff.Place(!ext->CursorVisible)));
  return NO_ERROR;
}

// The cursor queries: a text mode and room for the record, else no byte count.
static VP_STATUS BeginCursorQuery(const VgaDeviceExtension* ext, ULONG outputLength,
                                  ULONG recordLength, PULONG information) {
  *information = 0;
  if (!InTextMode(ext)) return ERROR_INVALID_PARAMETER;
  if (outputLength < recordLength) return ERROR_INSUFFICIENT_BUFFER;
  *information = recordLength;
  return NO_ERROR;
}

VP_STATUS VPAPI VgaQueryCursorPosition(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                       PULONG information) {
  const VP_STATUS status =
      BeginCursorQuery(ext, outputLength, sizeof(VIDEO_CURSOR_POSITION), information);
  if (status != NO_ERROR) return status;
  PVIDEO_CURSOR_POSITION position = static_cast<PVIDEO_CURSOR_POSITION>(output);
  position->Column = static_cast<SHORT>(ext->CursorColumn);
  position->Row = static_cast<SHORT>(ext->CursorRow);
  return NO_ERROR;
}

VP_STATUS VPAPI VgaSetCursorPosition(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (!InTextMode(ext)) return ERROR_INVALID_PARAMETER;
  if (inputLength < sizeof(VIDEO_CURSOR_POSITION)) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_CURSOR_POSITION* position = static_cast<const VIDEO_CURSOR_POSITION*>(input);
  const VgaModeEntry* mode = ext->CurrentMode;
  // Signed comparisons: a negative position is not refused.
  if (position->Column >= mode->TextColumns || position->Row >= mode->TextRows) {
    return ERROR_INVALID_PARAMETER;
  }

  ext->CursorColumn = static_cast<USHORT>(position->Column);
  ext->CursorRow = static_cast<USHORT>(position->Row);
  const USHORT offset = static_cast<USHORT>(mode->TextColumns * position->Row + position->Column);
  const Addressing addressing = CurrentAddressing(ext);
  CrtcWrite(ext, addressing, CR0F_CURSOR_LOW, static_cast<UCHAR>(offset & 0xFF));
  CrtcWrite(ext, addressing, CR0E_CURSOR_HIGH, static_cast<UCHAR>(offset >> 8));
  return NO_ERROR;
}

VP_STATUS VPAPI VgaQueryCursorAttributes(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                         PULONG information) {
  const VP_STATUS status =
      BeginCursorQuery(ext, outputLength, sizeof(VIDEO_CURSOR_ATTRIBUTES), information);
  if (status != NO_ERROR) return status;
  PVIDEO_CURSOR_ATTRIBUTES attributes = static_cast<PVIDEO_CURSOR_ATTRIBUTES>(output);
  // Every byte the answer counts is written: the caller gets the position
  // too, and no blink rate (the VGA's is fixed).
  attributes->Height = ext->CursorStartLine;
  attributes->Width = ext->CursorEndLine;
  attributes->Column = static_cast<SHORT>(ext->CursorColumn);
  attributes->Row = static_cast<SHORT>(ext->CursorRow);
  attributes->Rate = 0;
  attributes->Enable = ext->CursorVisible;
  return NO_ERROR;
}

VP_STATUS VPAPI VgaSetCursorAttributes(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (!InTextMode(ext)) return ERROR_INVALID_PARAMETER;
  if (inputLength < sizeof(VIDEO_CURSOR_ATTRIBUTES)) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_CURSOR_ATTRIBUTES* attributes = static_cast<const VIDEO_CURSOR_ATTRIBUTES*>(input);
  // Height is the first scan line, Width the last.
  if (attributes->Height >= ext->FontHeight || attributes->Width > 31) {
    return ERROR_INVALID_PARAMETER;
  }

  ext->CursorStartLine = static_cast<UCHAR>(attributes->Height);
  ext->CursorEndLine = static_cast<UCHAR>(attributes->Width);
  ext->CursorVisible = attributes->Enable;

  const Addressing addressing = CurrentAddressing(ext);
  CrtcModify(
      ext, addressing, CR0A_CURSOR_START, kCr0aCursorOff.Keep() & kCr0aCursorStart.Keep(),
      kCr0aCursorOff.Place(!attributes->Enable) | kCr0aCursorStart.Place(attributes->Height));
  // The end line is clamped to the cell; the skew bits stay.
  const USHORT lastLine = ext->FontHeight - 1;
  const USHORT end = attributes->Width < lastLine ? attributes->Width : lastLine;
  CrtcModifyField(ext, addressing, CR0B_CURSOR_END, kCr0bCursorEnd, end);
  return NO_ERROR;
}
