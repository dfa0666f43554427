// IOCTL_VIDEO_GET_BANK_SELECT_CODE: the bank-select record of the current
// mode, followed by a copy of the bank-switch code block.
#include "modes/modes.h"
#include "services/services.h"

#define VGA_BANK_GRANULARITY 0x10000

VP_STATUS VPAPI VgaGetBankSelectCode(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                     PULONG information) {
  // Before the first mode set there is no mode to describe.
  if (ext->CurrentMode == nullptr) {
    *information = 0;
    return ERROR_INVALID_PARAMETER;
  }
  if (outputLength < sizeof(VIDEO_BANK_SELECT)) return ERROR_INSUFFICIENT_BUFFER;

  // Both labels bound the one block of bank_switch.S.
  // cppcheck-suppress comparePointers
  const ULONG codeSize = static_cast<ULONG>(BankSwitchEnd - BankSwitchStart);
  const VgaModeEntry* mode = ext->CurrentMode;
  PVIDEO_BANK_SELECT bank = static_cast<PVIDEO_BANK_SELECT>(output);
  bank->Length = sizeof(VIDEO_BANK_SELECT);
  bank->Size = sizeof(VIDEO_BANK_SELECT) + codeSize;
  bank->BankingFlags = 0;
  bank->BankingType = mode->BankingKind == 1 ? VideoBanked1R1W : VideoNotBanked;
  bank->PlanarHCBankingType = VideoNotBanked;
  bank->BitmapWidthInBytes = mode->ScreenStride;
  bank->BitmapSize = mode->MemoryPerPlane;
  bank->Granularity = VGA_BANK_GRANULARITY;
  // No planar high-colour banking: its granularity and routines are 0, so
  // every byte the answer counts is written.
  bank->PlanarHCGranularity = 0;
  bank->PlanarHCBankCodeOffset = 0;
  bank->PlanarHCEnableCodeOffset = 0;
  bank->PlanarHCDisableCodeOffset = 0;

  if (outputLength < bank->Size) {
    bank->CodeOffset = 0;  // the code block does not follow
    *information = sizeof(VIDEO_BANK_SELECT);
    return ERROR_MORE_DATA;
  }
  bank->CodeOffset = sizeof(VIDEO_BANK_SELECT);
  VideoPortMoveMemory(reinterpret_cast<PUCHAR>(bank) + bank->CodeOffset,
                      const_cast<UCHAR*>(BankSwitchStart), codeSize);
  *information = bank->Size;
  return NO_ERROR;
}
