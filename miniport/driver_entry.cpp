// The driver's entry point and the video port's initialize call.
#include "detect/detect.h"
#include "miniport/miniport.h"

// The adapter is reached on the legacy VGA addresses, whatever the bus; the
// PCI configuration space is read through the configuration ports instead of
// a PCI registration.
static const INTERFACE_TYPE kRegistrationBuses[] = {Isa, Eisa, MicroChannel};

extern "C" ULONG VPAPI DriverEntry(PVOID DriverObject, PVOID RegistryPath) {
  VIDEO_HW_INITIALIZATION_DATA hwInitData;
  VideoPortZeroMemory(&hwInitData, sizeof(hwInitData));
  hwInitData.HwInitDataSize = sizeof(VIDEO_HW_INITIALIZATION_DATA);
  hwInitData.HwFindAdapter = VgaFindAdapter;
  hwInitData.HwInitialize = VgaInitialize;
  hwInitData.HwInterrupt = nullptr;  // driven without interrupts
  hwInitData.HwStartIO = VgaStartIO;
  hwInitData.HwDeviceExtensionSize = sizeof(VgaDeviceExtension);

  // The driver loads when any registration succeeds: success is 0, the
  // smallest status.
  ULONG result = 0xFFFFFFFF;
  for (INTERFACE_TYPE bus : kRegistrationBuses) {
    hwInitData.AdapterInterfaceType = bus;
    const ULONG status = VideoPortInitialize(DriverObject, RegistryPath, &hwInitData, nullptr);
    if (status < result) result = status;
  }
  return result;
}

// Only the cursor defaults; the CRTC learns them when the cursor is set.
BOOLEAN VPAPI VgaInitialize(PVOID HwDeviceExtension) {
  VgaDeviceExtension* ext = static_cast<VgaDeviceExtension*>(HwDeviceExtension);
  ext->CursorColumn = 0;
  ext->CursorRow = 0;
  ext->CursorStartLine = 0;
  ext->CursorEndLine = 31;
  ext->CursorVisible = 1;
  return TRUE;
}
