// The simulated machine: the platform a miniport meets on Windows NT (the
// video port services, the V86 emulator, the video BIOS, the PCI bus, system
// memory) around one simulated Zel adapter. It drives the driver only through
// what the real video port uses: DriverEntry, the registered find-adapter,
// initialize and start-I/O entry points, and the emulator validators.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/adapter.h"
#include "sim/platform_types.h"
#include "sim/profile.h"
#include "sim/trace.h"

namespace sim {

class VideoBios;
class PciHostBridge;
namespace platform {
struct Snapshot;
}

// A machine as it was when Machine::TakeSnapshot made this. Copies share it.
class Snapshot {
 public:
  // Bytes of video memory it holds: the pages that were not zeros.
  size_t VideoMemoryBytes() const;

 private:
  friend class Machine;
  std::shared_ptr<const platform::Snapshot> state_;
};

// The driver linked into this executable.
DriverImage LinkedDriver();

// The driver a load uses when none is named: the NT image named by
// UseDriverImage, or else by the environment variable ZEL_DRIVER_IMAGE, or
// else the linked-in driver. Every call maps a fresh copy of an image.
DriverImage DefaultDriver();
void UseDriverImage(const std::string& path);
// The image DefaultDriver loads, empty for the linked-in driver.
std::string DefaultDriverImagePath();

class Machine {
 public:
  explicit Machine(const Profile& profile = Profile::Default());
  // The same machine without the cost of its POST: the adapter starts as a
  // copy of `booted`, an adapter of this profile straight after its POST
  // (another machine's, taken before anything else touched it).
  Machine(const Profile& profile, const Adapter& booted);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  Adapter& adapter();
  Trace& trace();
  VideoBios& bios();

  // ---- loading, as the video port does it
  // Runs DriverEntry; each VideoPortInitialize registration calls find-adapter
  // and, after a successful find-adapter, initialize. Returns DriverEntry's status.
  ULONG Load(const DriverImage& image = DefaultDriver());
  bool Started() const;  // a registration found the adapter
  // Forces the result of a registration (by bus type) without calling find-adapter.
  void ForceRegistration(INTERFACE_TYPE bus, VP_STATUS status);
  using Registration = sim::Registration;
  const std::vector<Registration>& Registrations() const;
  // The device extension the video port allocated (zero-filled) for the adapter.
  void* DeviceExtension();
  // The driver's writable statics as this machine's driver has them (empty
  // before a load).
  std::span<const uint8_t> DriverStatics();
  const VIDEO_PORT_CONFIG_INFO& ConfigInfo() const;
  // The config record's Length the next find-adapter call receives (default 72).
  void SetConfigInfoLength(ULONG length);

  // ---- requests, one at a time through the start-I/O entry point; a FALSE
  // return from it throws std::logic_error naming the request
  struct Result {
    VP_STATUS status;
    ULONG information;
  };
  Result Ioctl(ULONG code, void* in, ULONG inLength, void* out, ULONG outLength);

  // ---- a full-screen session's port accesses through the V86 emulator:
  // trapped ports go to the validator of the emulator table, others straight
  // to the adapter. size is 1, 2 or 4. A validator's refusal (any status but
  // NO_ERROR) faults the session: std::runtime_error naming the access.
  uint32_t V86In(unsigned size, uint16_t port);
  void V86Out(unsigned size, uint16_t port, uint32_t value);
  bool Trapped(uint16_t port) const;  // by the trap set last installed
  // The session's reads and writes of the 0xA0000-0xBFFFF window, which the
  // platform maps to the adapter untrapped: through the window logic (planes,
  // odd/even, chain-4, latches) and traced against base 0xA0000. An address
  // outside the window throws std::out_of_range.
  uint8_t V86Read8(uint32_t address);
  void V86Write8(uint32_t address, uint8_t value);
  // A run of them from `address` on: exactly that many V86Write8.
  void V86Write(uint32_t address, std::span<const uint8_t> bytes);
  const std::vector<VIDEO_ACCESS_RANGE>& TrapSet() const;

  // ---- registry values written by the driver, in the order written
  using RegistryValue = sim::RegistryValue;
  const std::vector<RegistryValue>& Registry() const;

  // ---- caller mappings made by VideoPortMapMemory
  using Mapping = sim::Mapping;
  const std::vector<Mapping>& Mappings() const;
  // Reads and writes through a caller mapping whatever it is backed by.
  uint8_t ReadMapped(const void* address);
  void WriteMapped(void* address, uint8_t value);

  // ---- views made by VideoPortGetDeviceBase that are still mapped
  using View = sim::View;
  const std::vector<View>& Views() const;

  // ---- claims: system RAM and other devices' ranges that the driver's claim
  // must not overlap
  void AddForeignClaim(uint64_t start, uint32_t length);  // memory space
  // The driver's claim: the set of its last successful VideoPortVerifyAccessRanges.
  const std::vector<VIDEO_ACCESS_RANGE>& Claims() const;

  // ---- fault injection
  void InjectFault(const Fault& fault);
  void ClearFaults();
  uint32_t CallCount(Service service) const;

  // ---- snapshots
  // Everything the machine holds: the adapter (registers, latches, video
  // memory, ROM, PCI space), the driver's writable statics and device
  // extensions, the views, mappings, claims, registry values,
  // registrations, emulator table and trap set, injected faults and call
  // counts, and the trace.
  Snapshot TakeSnapshot();
  // Back to a snapshot of this machine, at the cost of what changed since
  // it was taken or last returned to: the video memory pages written (all
  // of them while a caller holds the linear aperture as plain memory), the
  // rest copied back whole. Debug builds then compare the adapter, the
  // statics and the extensions with the snapshot and abort on a difference;
  // other builds do so every 64th rollback. A machine also takes another
  // machine's snapshot taken before any driver load (a booted machine, of
  // any profile: it becomes that machine); any other snapshot of another
  // machine throws std::invalid_argument.
  void Rollback(const Snapshot& snapshot);

  // Something that keeps state beside the machine's (a full-screen
  // session) joins it: from then on the machine's snapshots keep that state
  // and its rollbacks put it back. It leaves before it goes away.
  void Join(Companion& companion);
  void Leave(Companion& companion);

  // The machine whose adapter the port shim and the services reach.
  static Machine& Current();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
