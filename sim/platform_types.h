// The values the simulated platform and the machine in front of it hand
// each other: injected faults, the driver image a load runs, and the records
// of what the driver left with the platform (registrations, registry values,
// caller mappings, views). Kept below both so that sim/platform and sim/pe
// need nothing of the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"

namespace sim {

// The services that fault injection can make fail.
enum class Service {
  Initialize,  // one VideoPortInitialize registration
  GetDeviceBase,
  VerifyAccessRanges,
  MapMemory,
  UnmapMemory,
  Int10,
  SetRegistryParameters,
  SetTrappedEmulatorPorts,
};

struct Fault {
  Service service;
  uint32_t firstCall = 0;  // 0-based index of the first call of that service to fail
  uint32_t count = 1;      // how many calls fail from there (UINT32_MAX: all)
  VP_STATUS status = ERROR_INVALID_PARAMETER;  // GetDeviceBase fails with a null view
  // When set, only calls whose physical address lies in [start, start + length) count.
  std::optional<uint64_t> rangeStart = std::nullopt;
  uint64_t rangeLength = 0;
};

// A driver as the platform loads it: its entry point, and how its writable
// statics get back to their initial contents before a load.
struct DriverImage {
  PDRIVER_ENTRY entry = nullptr;
  std::function<void()> resetStatics;
  // The bytes resetStatics puts back, where the driver keeps its writable
  // statics: a snapshot of a machine keeps them with the rest.
  std::function<std::span<uint8_t>()> statics;
  // Every machine that loads this driver has its statics in the same place
  // (the driver linked into this executable): the platform keeps each
  // machine's own while another one runs.
  bool sharedStatics = false;
  // When set, every call the platform makes into the driver (DriverEntry,
  // find-adapter, initialize, start-I/O, validators, synchronize routines)
  // goes through it: the routine, its arguments as 32-bit stack slots, and
  // whether the result is one byte (BOOLEAN, UCHAR: only AL is defined). A
  // driver loaded from an NT image runs each call on a checking thunk.
  std::function<ULONG(const void* routine, std::span<const ULONG> args, bool byteResult)> callGate;
};

// State that something running on a machine keeps beside the machine's
// own (a full-screen session's processor and memory): a snapshot of the
// machine takes it along, and the machine's rollback puts it back.
class Companion {
 public:
  virtual ~Companion() = default;
  // The state as it is now, to come back to.
  virtual std::shared_ptr<const void> Keep() = 0;
  // Back to what Keep returned; null: the snapshot was taken before this
  // companion joined the machine.
  virtual void PutBack(const void* kept) = 0;
};

// One VideoPortInitialize call.
struct Registration {
  INTERFACE_TYPE bus;
  VP_STATUS findAdapterStatus;  // the registration's result
  bool findAdapterCalled;
  bool initializeCalled;
};

// A registry value written by the driver.
struct RegistryValue {
  std::u16string name;
  std::vector<uint8_t> data;
};

// A caller mapping made by VideoPortMapMemory.
struct Mapping {
  void* virtualAddress;
  uint64_t physical;
  uint32_t length;
  bool plainMemory;        // true: backed directly by video memory (the linear aperture)
  bool inIoSpace = false;  // true: the address is the port number
  // The process mapped into: the handle the caller passed in, 0 for the
  // process making the request.
  uintptr_t process = 0;
};

// A view made by VideoPortGetDeviceBase.
struct View {
  uintptr_t address;
  uint64_t physical;
  uint32_t length;
  bool inIoSpace;
};

}  // namespace sim
