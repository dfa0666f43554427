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

// Routines that break the rules, and one port instruction per routine in each
// of its encodings. Port reads start from EAX = 0xAABBCCDD so that a test
// sees which bytes the instruction replaced.
__asm__(R"(
  .text
  .globl _ProbeUnbalanced@4
_ProbeUnbalanced@4:          # stdcall by name, but leaves its argument
  movl $1, %eax
  ret
  .globl _ProbeOverPops@4
_ProbeOverPops@4:            # pops one argument too many
  movl $1, %eax
  ret $8
  .globl _ProbeClobbersEbx@0
_ProbeClobbersEbx@0:
  movl $0x1234, %ebx
  ret
  .globl _ProbeClobbersEsi@0
_ProbeClobbersEsi@0:
  movl $0x5678, %esi
  ret
  .globl _ProbeClobbersEdi@0
_ProbeClobbersEdi@0:
  movl $0x9abc, %edi
  ret
  .globl _ProbeClobbersEbp@0
_ProbeClobbersEbp@0:
  movl $0xdef0, %ebp
  ret
  .globl _ProbeEntryStack@0
_ProbeEntryStack@0:          # ESP on entry, return address on top
  movl %esp, %eax
  ret
  .globl _ProbeDirtyFalse@0
_ProbeDirtyFalse@0:          # a BOOLEAN FALSE: only AL is defined
  movl $0xabcdef00, %eax
  ret

  .globl _ProbeInImm8@0
_ProbeInImm8@0:
  movl $0xaabbccdd, %eax
  inb $0x61, %al
  ret
  .globl _ProbeInImm16@0
_ProbeInImm16@0:
  movl $0xaabbccdd, %eax
  inw $0x62, %ax
  ret
  .globl _ProbeInImm32@0
_ProbeInImm32@0:
  movl $0xaabbccdd, %eax
  inl $0x64, %eax
  ret
  .globl _ProbeOutImm8@4
_ProbeOutImm8@4:
  movl 4(%esp), %eax
  outb %al, $0x80
  ret $4
  .globl _ProbeOutImm16@4
_ProbeOutImm16@4:
  movl 4(%esp), %eax
  outw %ax, $0x82
  ret $4
  .globl _ProbeOutImm32@4
_ProbeOutImm32@4:
  movl 4(%esp), %eax
  outl %eax, $0x84
  ret $4
  .globl _ProbeInDx8@4
_ProbeInDx8@4:
  movl 4(%esp), %edx
  movl $0xaabbccdd, %eax
  inb %dx, %al
  ret $4
  .globl _ProbeInDx16@4
_ProbeInDx16@4:
  movl 4(%esp), %edx
  movl $0xaabbccdd, %eax
  inw %dx, %ax
  ret $4
  .globl _ProbeInDx32@4
_ProbeInDx32@4:
  movl 4(%esp), %edx
  movl $0xaabbccdd, %eax
  inl %dx, %eax
  ret $4
  .globl _ProbeOutDx8@8
_ProbeOutDx8@8:
  movl 4(%esp), %edx
  movl 8(%esp), %eax
  outb %al, %dx
  ret $8
  .globl _ProbeOutDx16@8
_ProbeOutDx16@8:
  movl 4(%esp), %edx
  movl 8(%esp), %eax
  outw %ax, %dx
  ret $8
  .globl _ProbeOutDx32@8
_ProbeOutDx32@8:
  movl 4(%esp), %edx
  movl 8(%esp), %eax
  outl %eax, %dx
  ret $8
)");
