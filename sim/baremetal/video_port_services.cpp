// The VideoPort* services on bare metal, as VIDEOPRT.SYS provides them on an
// x86 NT machine: an I/O-space device base is the port number itself, so the
// port services are the port instructions; the 0xA0000 window is a plain
// pointer (identity-mapped), read and written a byte at a time. A service
// the harness does not provide stops the run, naming it.
#include "miniport/videoport.h"
#include "sim/baremetal/baremetal.h"

namespace {

uint16_t Port(const void* address) {
  return static_cast<uint16_t>(reinterpret_cast<uintptr_t>(address));
}

volatile UCHAR* Bytes(PVOID address) {
  return static_cast<volatile UCHAR*>(address);
}

}  // namespace

extern "C" {

UCHAR VPAPI VideoPortReadPortUchar(PUCHAR Port_) {
  return baremetal::In8(Port(Port_));
}
USHORT VPAPI VideoPortReadPortUshort(PUSHORT Port_) {
  return baremetal::In16(Port(Port_));
}
ULONG VPAPI VideoPortReadPortUlong(PULONG Port_) {
  return baremetal::In32(Port(Port_));
}
VOID VPAPI VideoPortWritePortUchar(PUCHAR Port_, UCHAR Value) {
  baremetal::Out8(Port(Port_), Value);
}
VOID VPAPI VideoPortWritePortUshort(PUSHORT Port_, USHORT Value) {
  baremetal::Out16(Port(Port_), Value);
}
VOID VPAPI VideoPortWritePortUlong(PULONG Port_, ULONG Value) {
  baremetal::Out32(Port(Port_), Value);
}
VOID VPAPI VideoPortWritePortBufferUchar(PUCHAR Port_, PUCHAR Buffer, ULONG Count) {
  for (ULONG i = 0; i < Count; ++i)
    baremetal::Out8(Port(Port_), Buffer[i]);
}
VOID VPAPI VideoPortWritePortBufferUshort(PUSHORT Port_, PUSHORT Buffer, ULONG Count) {
  for (ULONG i = 0; i < Count; ++i)
    baremetal::Out16(Port(Port_), Buffer[i]);
}

UCHAR VPAPI VideoPortReadRegisterUchar(PUCHAR Register) {
  return *Bytes(Register);
}
VOID VPAPI VideoPortWriteRegisterUchar(PUCHAR Register, UCHAR Value) {
  *Bytes(Register) = Value;
}
VOID VPAPI VideoPortWriteRegisterBufferUchar(PUCHAR Register, PUCHAR Buffer, ULONG Count) {
  for (ULONG i = 0; i < Count; ++i)
    Bytes(Register)[i] = Buffer[i];
}

// As RtlMoveMemory does it: doublewords upwards, then the bytes left; an
// overlap that a forward copy would spoil goes backwards a byte at a time.
// The bus splits a doubleword of the window into its bytes, in address
// order.
VOID VPAPI VideoPortMoveMemory(PVOID Destination, PVOID Source, ULONG Length) {
  volatile UCHAR* to = Bytes(Destination);
  const volatile UCHAR* from = Bytes(Source);
  if (to > from && to < from + Length) {
    for (ULONG i = Length; i-- > 0;)
      to[i] = from[i];
    return;
  }
  ULONG i = 0;
  for (; i + 4 <= Length; i += 4)
    *reinterpret_cast<volatile ULONG*>(to + i) = *reinterpret_cast<const volatile ULONG*>(from + i);
  for (; i < Length; ++i)
    to[i] = from[i];
}
VOID VPAPI VideoPortZeroMemory(PVOID Destination, ULONG Length) {
  for (ULONG i = 0; i < Length; ++i)
    Bytes(Destination)[i] = 0;
}

}  // extern "C"

// Everything else the driver may call: none of it is reached by the
// routines the harness runs, and reaching one says so.
#define NOT_PROVIDED(name, result, params)                                              \
  extern "C" result VPAPI name params {                                                 \
    baremetal::Stop(#name " was reached; the bare-metal platform does not provide it"); \
  }

NOT_PROVIDED(VideoPortInitialize, ULONG, (PVOID, PVOID, PVIDEO_HW_INITIALIZATION_DATA, PVOID))
NOT_PROVIDED(VideoPortGetDeviceBase, PVOID, (PVOID, PHYSICAL_ADDRESS, ULONG, UCHAR))
NOT_PROVIDED(VideoPortFreeDeviceBase, VOID, (PVOID, PVOID))
NOT_PROVIDED(VideoPortVerifyAccessRanges, VP_STATUS, (PVOID, ULONG, PVIDEO_ACCESS_RANGE))
NOT_PROVIDED(VideoPortMapMemory, VP_STATUS, (PVOID, PHYSICAL_ADDRESS, PULONG, PULONG, PVOID*))
NOT_PROVIDED(VideoPortUnmapMemory, VP_STATUS, (PVOID, PVOID, HANDLE))
NOT_PROVIDED(VideoPortInt10, VP_STATUS, (PVOID, PVIDEO_X86_BIOS_ARGUMENTS))
NOT_PROVIDED(VideoPortSetRegistryParameters, VP_STATUS, (PVOID, PWSTR, PVOID, ULONG))
NOT_PROVIDED(VideoPortSetTrappedEmulatorPorts, VP_STATUS, (PVOID, ULONG, PVIDEO_ACCESS_RANGE))
NOT_PROVIDED(VideoPortSynchronizeExecution, BOOLEAN,
             (PVOID, VIDEO_SYNCHRONIZE_PRIORITY, PMINIPORT_SYNCHRONIZE_ROUTINE, PVOID))
