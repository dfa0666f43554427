// A probe image that imports a hardware-layer service besides the video port
// ones: the loader must refuse it, naming the import.
#include "miniport/videoport.h"

extern "C" UCHAR VPAPI READ_PORT_UCHAR(PUCHAR Port);

extern "C" ULONG VPAPI DriverEntry(PVOID, PVOID) {
  UCHAR misc = READ_PORT_UCHAR(reinterpret_cast<PUCHAR>(0x3CC));
  VideoPortZeroMemory(&misc, sizeof misc);
  return misc;
}
