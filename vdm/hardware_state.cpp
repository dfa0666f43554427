// The register sequences that the hardware state save and restore share.
#include "vdm/hardware_state.h"

#include "miniport/registers.h"

VOID BlackScreen(const VgaDeviceExtension* ext) {
  PortWrite8(ext, VGA_DAC_WRITE_INDEX, 0x00);
  for (ULONG c = 0; c < 3; ++c)
    PortWrite8(ext, VGA_DAC_DATA, 0x00);
  PortWrite8(ext, VGA_DAC_PEL_MASK, 0x00);
}

VOID MapPlanesAtA0000(const VgaDeviceExtension* ext, const UCHAR* misc) {
  SeqWrite16(ext, SR00_RESET, kSr00SyncReset);
  if (misc != nullptr) {
    MiscWrite(ext, *misc | kMiscRamEnable.Mask());
  } else {
    MiscModify(ext, kMiscRamEnable.Keep(), kMiscRamEnable.Mask());
  }
  PortWrite8(ext, ZEL_BANK_SELECT, 0x00);
  GcModify(ext, GR06_MEMORY_MAP, kGr06MemoryMap.Keep() & kGr06ChainOddEven.Keep(),
           kGr06MemoryMap.Place(kGr06MapA0000));
  SeqModify(ext, SR04_MEMORY_MODE, kSr04Chain4.Keep(), kSr04Sequential.Mask());
  SeqWrite16(ext, SR00_RESET, kSr00Run);
}

VOID SelectWriteMode(const VgaDeviceExtension* ext, UCHAR writeMode) {
  GcModify(ext, GR05_MODE, kGr05OddEven.Keep() & kGr05ReadMode.Keep() & kGr05WriteMode.Keep(),
           kGr05WriteMode.Place(writeMode));
}
