// Replays the writes recorded during a session's synchronous reset. Runs
// under VideoPortSynchronizeExecution at raised priority, so this file is
// resident code.
#include "miniport/registers.h"
#include "vdm/vdm.h"

BOOLEAN VPAPI VgaPlaybackValidatorData(PVOID Context) {
  VgaDeviceExtension* ext = static_cast<VgaDeviceExtension*>(Context);

  for (ULONG i = 0; i < ext->TrappedValidatorCount; ++i) {
    const TrappedValidatorEntry& entry = ext->TrappedValidatorData[i];
    const USHORT port = static_cast<USHORT>(VGA_IO_BASE_PORT + entry.Port);
    switch (entry.AccessType) {
      case VGA_VALIDATOR_UCHAR_ACCESS:
        PortWrite8(ext, port, static_cast<UCHAR>(entry.Data));
        break;
      case VGA_VALIDATOR_USHORT_ACCESS:
        PortWrite16(ext, port, static_cast<USHORT>(entry.Data));
        break;
      case VGA_VALIDATOR_ULONG_ACCESS:
        PortWrite32(ext, port, entry.Data);
        break;
      default:
        break;  // not a write this driver records
    }
  }

  ext->TrappedValidatorCount = 0;
  return TRUE;
}
