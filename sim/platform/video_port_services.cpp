// The VideoPort* services as the simulated video port provides them. Each one
// works on the current machine's platform.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "miniport/videoport.h"
#include "sim/platform/platform.h"

using sim::Service;
using sim::platform::CurrentPlatform;
using sim::platform::Platform;

namespace {

// A port service reached with something that is not a port number: a
// memory view used as a port base, most likely.
uint16_t PortNumber(const void* address) {
  const auto value = reinterpret_cast<uintptr_t>(address);
  if (value > 0xFFFF) {
    std::fprintf(stderr, "port service called with %#lx, which is no port number\n",
                 static_cast<unsigned long>(value));
    std::abort();
  }
  return static_cast<uint16_t>(value);
}

uintptr_t Address(const void* p) {
  return reinterpret_cast<uintptr_t>(p);
}

uint64_t Physical(PHYSICAL_ADDRESS address) {
  return static_cast<uint64_t>(address.QuadPart);
}

// The process a mapping belongs to. NT reads the in/out address of
// VideoPortMapMemory on input as a process handle; null and
// NtCurrentProcess ((HANDLE)-1) both name the process making the request,
// which is 0 here. Any other value is taken as another process's handle.
uintptr_t ProcessOf(const void* handle) {
  const uintptr_t value = Address(handle);
  return value == static_cast<uintptr_t>(-1) ? 0 : value;
}

}  // namespace

extern "C" {

ULONG VPAPI VideoPortInitialize(PVOID, PVOID, PVIDEO_HW_INITIALIZATION_DATA HwInitializationData,
                                PVOID HwContext) {
  return CurrentPlatform().Register(HwInitializationData, HwContext);
}

// ---- ports

UCHAR VPAPI VideoPortReadPortUchar(PUCHAR Port) {
  return static_cast<UCHAR>(CurrentPlatform().ports.In(1, PortNumber(Port)));
}

USHORT VPAPI VideoPortReadPortUshort(PUSHORT Port) {
  return static_cast<USHORT>(CurrentPlatform().ports.In(2, PortNumber(Port)));
}

ULONG VPAPI VideoPortReadPortUlong(PULONG Port) {
  return CurrentPlatform().ports.In(4, PortNumber(Port));
}

VOID VPAPI VideoPortWritePortUchar(PUCHAR Port, UCHAR Value) {
  CurrentPlatform().ports.Out(1, PortNumber(Port), Value);
}

VOID VPAPI VideoPortWritePortUshort(PUSHORT Port, USHORT Value) {
  CurrentPlatform().ports.Out(2, PortNumber(Port), Value);
}

VOID VPAPI VideoPortWritePortUlong(PULONG Port, ULONG Value) {
  CurrentPlatform().ports.Out(4, PortNumber(Port), Value);
}

VOID VPAPI VideoPortWritePortBufferUchar(PUCHAR Port, PUCHAR Buffer, ULONG Count) {
  auto& ports = CurrentPlatform().ports;
  const uint16_t port = PortNumber(Port);
  for (ULONG i = 0; i < Count; ++i)
    ports.Out(1, port, Buffer[i]);
}

VOID VPAPI VideoPortWritePortBufferUshort(PUSHORT Port, PUSHORT Buffer, ULONG Count) {
  auto& ports = CurrentPlatform().ports;
  const uint16_t port = PortNumber(Port);
  for (ULONG i = 0; i < Count; ++i)
    ports.Out(2, port, Buffer[i]);
}

// ---- registers and memory: views go through the adapter, the rest is plain

UCHAR VPAPI VideoPortReadRegisterUchar(PUCHAR Register) {
  return CurrentPlatform().windows.Read8(Address(Register));
}

VOID VPAPI VideoPortWriteRegisterUchar(PUCHAR Register, UCHAR Value) {
  CurrentPlatform().windows.Write8(Address(Register), Value);
}

VOID VPAPI VideoPortWriteRegisterBufferUchar(PUCHAR Register, PUCHAR Buffer, ULONG Count) {
  auto& windows = CurrentPlatform().windows;
  const uintptr_t dst = Address(Register);
  const uintptr_t src = Address(Buffer);
  if (Count != 0 && windows.InRegion(dst) && !windows.TouchesRegion(src, Count)) {
    windows.WriteSpan(dst, {Buffer, Count});
    return;
  }
  for (ULONG i = 0; i < Count; ++i)
    windows.Write8(dst + i, windows.Read8(src + i));
}

// A move between a view and plain memory is one span through the adapter;
// anything else goes byte by byte.
VOID VPAPI VideoPortMoveMemory(PVOID Destination, PVOID Source, ULONG Length) {
  auto& windows = CurrentPlatform().windows;
  const uintptr_t dst = Address(Destination);
  const uintptr_t src = Address(Source);
  if (!windows.InRegion(dst) && !windows.InRegion(src)) {
    std::memmove(Destination, Source, Length);
    return;
  }
  if (windows.InRegion(dst) && !windows.TouchesRegion(src, Length)) {
    windows.WriteSpan(dst, {static_cast<const uint8_t*>(Source), Length});
    return;
  }
  if (windows.InRegion(src) && !windows.TouchesRegion(dst, Length)) {
    windows.ReadSpan(src, {static_cast<uint8_t*>(Destination), Length});
    return;
  }
  // Overlapping moves within one window keep memmove's meaning.
  if (dst > src && dst - src < Length) {
    for (ULONG i = Length; i-- > 0;)
      windows.Write8(dst + i, windows.Read8(src + i));
  } else {
    for (ULONG i = 0; i < Length; ++i)
      windows.Write8(dst + i, windows.Read8(src + i));
  }
}

VOID VPAPI VideoPortZeroMemory(PVOID Destination, ULONG Length) {
  auto& windows = CurrentPlatform().windows;
  const uintptr_t dst = Address(Destination);
  if (!windows.InRegion(dst)) {
    std::memset(Destination, 0, Length);
    return;
  }
  windows.FillSpan(dst, Length, 0);
}

// ---- device bases and claims

PVOID VPAPI VideoPortGetDeviceBase(PVOID, PHYSICAL_ADDRESS IoAddress, ULONG NumberOfUchars,
                                   UCHAR InIoSpace) {
  Platform& p = CurrentPlatform();
  const uint64_t physical = Physical(IoAddress);
  if (p.faults.Call(Service::GetDeviceBase, {&physical, 1})) return nullptr;
  return reinterpret_cast<PVOID>(p.windows.MapView(physical, NumberOfUchars, InIoSpace & 1));
}

VOID VPAPI VideoPortFreeDeviceBase(PVOID, PVOID MappedAddress) {
  CurrentPlatform().windows.FreeView(Address(MappedAddress));
}

VP_STATUS VPAPI VideoPortVerifyAccessRanges(PVOID, ULONG NumAccessRanges,
                                            PVIDEO_ACCESS_RANGE AccessRanges) {
  Platform& p = CurrentPlatform();
  if (NumAccessRanges != 0 && !AccessRanges) return ERROR_INVALID_PARAMETER;
  std::vector<uint64_t> starts;
  for (ULONG i = 0; i < NumAccessRanges; ++i)
    starts.push_back(Physical(AccessRanges[i].RangeStart));
  if (const auto fault = p.faults.Call(Service::VerifyAccessRanges, starts)) return *fault;
  return p.claims.Verify({AccessRanges, NumAccessRanges});
}

// ---- caller mappings

VP_STATUS VPAPI VideoPortMapMemory(PVOID, PHYSICAL_ADDRESS PhysicalAddress, PULONG Length,
                                   PULONG InIoSpace, PVOID* VirtualAddress) {
  Platform& p = CurrentPlatform();
  if (!Length || !InIoSpace || !VirtualAddress) return ERROR_INVALID_PARAMETER;
  const uint64_t physical = Physical(PhysicalAddress);
  if (const auto fault = p.faults.Call(Service::MapMemory, {&physical, 1})) {
    *VirtualAddress = nullptr;
    return *fault;
  }
  // A view of no bytes cannot be made.
  if (*Length == 0) {
    *VirtualAddress = nullptr;
    return ERROR_INVALID_PARAMETER;
  }
  // On input *VirtualAddress names the process to map into; the mapping is
  // made where the platform chooses. The length comes back as mapped, and the
  // flag says what the address is: a port number (1) or memory (0).
  const bool inIoSpace = (*InIoSpace & 1) != 0;
  const auto& mapping =
      p.windows.MapForCaller(physical, *Length, inIoSpace, ProcessOf(*VirtualAddress));
  *VirtualAddress = mapping.virtualAddress;
  *InIoSpace = inIoSpace ? 1 : 0;
  return NO_ERROR;
}

// A mapping is released only in the process it was made for (a null
// handle: the process making the request).
VP_STATUS VPAPI VideoPortUnmapMemory(PVOID, PVOID VirtualAddress, HANDLE ProcessHandle) {
  Platform& p = CurrentPlatform();
  const auto mapping = p.windows.FindMapping(Address(VirtualAddress));
  std::vector<uint64_t> physical;
  if (mapping) physical.push_back(mapping->physical);
  if (const auto fault = p.faults.Call(Service::UnmapMemory, physical)) return *fault;
  if (!mapping || mapping->process != ProcessOf(ProcessHandle)) return ERROR_INVALID_PARAMETER;
  return p.windows.UnmapForCaller(Address(VirtualAddress)) ? NO_ERROR : ERROR_INVALID_PARAMETER;
}

// ---- BIOS, registry, emulator

VP_STATUS VPAPI VideoPortInt10(PVOID, PVIDEO_X86_BIOS_ARGUMENTS BiosArguments) {
  Platform& p = CurrentPlatform();
  if (!BiosArguments) return ERROR_INVALID_PARAMETER;
  const ULONG eax = BiosArguments->Eax;
  VP_STATUS status;
  if (const auto fault = p.faults.Call(Service::Int10)) {
    status = *fault;
  } else {
    status = p.bios.Int10(*BiosArguments);
  }
  p.trace.Record(sim::io::Bios(eax, static_cast<uint32_t>(status)));
  return status;
}

VP_STATUS VPAPI VideoPortSetRegistryParameters(PVOID, PWSTR ValueName, PVOID ValueData,
                                               ULONG ValueLength) {
  Platform& p = CurrentPlatform();
  if (!ValueName || (ValueLength != 0 && !ValueData)) return ERROR_INVALID_PARAMETER;
  if (const auto fault = p.faults.Call(Service::SetRegistryParameters)) return *fault;
  const auto* bytes = static_cast<const uint8_t*>(ValueData);
  p.registry.push_back(
      {std::u16string(ValueName), std::vector<uint8_t>(bytes, bytes + ValueLength)});
  return NO_ERROR;
}

VP_STATUS VPAPI VideoPortSetTrappedEmulatorPorts(PVOID, ULONG NumAccessRanges,
                                                 PVIDEO_ACCESS_RANGE AccessRange) {
  Platform& p = CurrentPlatform();
  if (NumAccessRanges != 0 && !AccessRange) return ERROR_INVALID_PARAMETER;
  if (const auto fault = p.faults.Call(Service::SetTrappedEmulatorPorts)) return *fault;
  p.emulator.InstallTrapSet({AccessRange, NumAccessRanges});
  p.trace.Record(sim::io::Traps(NumAccessRanges));
  return NO_ERROR;
}

BOOLEAN VPAPI VideoPortSynchronizeExecution(PVOID, VIDEO_SYNCHRONIZE_PRIORITY,
                                            PMINIPORT_SYNCHRONIZE_ROUTINE SynchronizeRoutine,
                                            PVOID Context) {
  // One processor, no interrupts of the adapter's own: running the routine
  // now is synchronised with everything.
  return sim::CallDriver(CurrentPlatform().gate, SynchronizeRoutine, Context);
}

}  // extern "C"
