// A small NT image for the loader's tests: it imports a few video port
// services, registers entry points from DriverEntry, keeps absolute addresses
// in code and data (so it only works once relocated), reaches the compiler's
// helpers, and carries hand-written routines that break the calling
// convention or execute port instructions on purpose.
#include "miniport/videoport.h"

namespace {

ULONG counter = 5;
ULONG other = 7;
// Absolute addresses in data: each one is a base relocation.
ULONG* table[] = {&counter, &other};

VP_STATUS VPAPI ProbeFindAdapter(PVOID deviceExtension, PVOID context, PWSTR,
                                 PVIDEO_PORT_CONFIG_INFO, PUCHAR again) {
  *static_cast<ULONG*>(deviceExtension) = *static_cast<ULONG*>(context) + counter;
  *again = FALSE;
  return NO_ERROR;
}

BOOLEAN VPAPI ProbeInitialize(PVOID deviceExtension) {
  return *static_cast<ULONG*>(deviceExtension) != 0;
}

BOOLEAN VPAPI ProbeStartIo(PVOID, PVIDEO_REQUEST_PACKET packet) {
  packet->StatusBlock->Status = NO_ERROR;
  return TRUE;
}

ULONG findAdapterContext = 0x100;

}  // namespace

extern "C" {

ULONG VPAPI DriverEntry(PVOID driverObject, PVOID registryPath) {
  VIDEO_HW_INITIALIZATION_DATA init;
  VideoPortZeroMemory(&init, sizeof init);
  init.HwInitDataSize = sizeof init;
  init.AdapterInterfaceType = Isa;
  init.HwFindAdapter = ProbeFindAdapter;
  init.HwInitialize = ProbeInitialize;
  init.HwStartIO = ProbeStartIo;
  init.HwDeviceExtensionSize = 16;
  return VideoPortInitialize(driverObject, registryPath, &init, &findAdapterContext);
}

ULONG VPAPI ProbeAdd(ULONG a, ULONG b) {
  return a + b;
}

ULONG* VPAPI ProbeCounterAddress() {
  return &counter;
}

ULONG VPAPI ProbeReadThroughTable(ULONG index) {
  return *table[index & 1];
}

ULONG VPAPI ProbeBumpCounter() {
  return ++counter;
}

UCHAR VPAPI ProbeReadMisc() {
  return VideoPortReadPortUchar(reinterpret_cast<PUCHAR>(0x3CC));
}

uint64_t VPAPI ProbeUdiv64(uint64_t a, uint64_t b) {
  return a / b;
}
uint64_t VPAPI ProbeUmod64(uint64_t a, uint64_t b) {
  return a % b;
}
int64_t VPAPI ProbeSdiv64(int64_t a, int64_t b) {
  return a / b;
}
int64_t VPAPI ProbeSmod64(int64_t a, int64_t b) {
  return a % b;
}

VOID VPAPI ProbeCopy(PVOID destination, PVOID source, ULONG length) {
  __builtin_memcpy(destination, source, length);
}
VOID VPAPI ProbeFill(PVOID destination, ULONG value, ULONG length) {
  __builtin_memset(destination, static_cast<int>(value), length);
}
VOID VPAPI ProbeMove(PVOID destination, PVOID source, ULONG length) {
  __builtin_memmove(destination, source, length);
}

UCHAR VPAPI ProbeTouch(PUCHAR address) {
  return *reinterpret_cast<volatile UCHAR*>(address);
}

}  // extern "C"
