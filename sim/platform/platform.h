// Everything the simulated video port keeps for one machine, wired together:
// the adapter and the buses around it, the driver's views, claims, caller
// mappings and registry values, the V86 emulator, injected faults, and the
// driver's registrations. The VideoPort* services reach it through
// CurrentPlatform().
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/adapter.h"
#include "sim/bios/video_bios.h"
#include "sim/pci_host_bridge.h"
#include "sim/pe/driver_call.h"
#include "sim/platform/claims.h"
#include "sim/platform/faults.h"
#include "sim/platform/memory_windows.h"
#include "sim/platform/port_bus.h"
#include "sim/platform/v86_emulator.h"
#include "sim/platform_types.h"
#include "sim/profile.h"
#include "sim/trace.h"

namespace sim::platform {

// NT status codes a registration can end with.
inline constexpr VP_STATUS kStatusNoSuchDevice = static_cast<VP_STATUS>(0xC000000E);
inline constexpr VP_STATUS kStatusRevisionMismatch = static_cast<VP_STATUS>(0xC0000059);
inline constexpr ULONG kMinimumInitDataSize = 40;
inline constexpr ULONG kConfigInfoLength = 72;

// A registration that reached find-adapter: the device extension it made and
// the configuration record find-adapter filled.
struct Device {
  VIDEO_HW_INITIALIZATION_DATA init{};
  std::unique_ptr<uint8_t[]> extension;
  VIDEO_PORT_CONFIG_INFO config{};
};

struct Snapshot;

class Platform {
 public:
  // With `booted`, the adapter is a copy of that adapter, already through
  // the POST, and the POST is not run again.
  explicit Platform(const Profile& profile, const Adapter* booted = nullptr);
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // One VideoPortInitialize call.
  ULONG Register(PVIDEO_HW_INITIALIZATION_DATA init, PVOID hwContext);
  // Forgets everything a previous load of the driver left.
  void ResetForLoad();
  Device* Started() const { return started_; }
  // The started device, else the one last given to find-adapter.
  Device* Current() const;

  // Everything the platform holds, the driver's writable statics and device
  // extensions included, to come back to. A rollback costs what changed
  // since: the video memory pages written and the platform's small records.
  Snapshot TakeSnapshot();
  // Back to a snapshot this platform took, or to one of another platform
  // that holds no device, view or mapping (a booted machine, of any
  // profile). Throws std::invalid_argument for any other.
  void Rollback(const Snapshot& snapshot);
  // Where the platform differs from the snapshot, empty when nowhere (the
  // check behind every rollback in debug builds).
  std::string DifferenceFrom(const Snapshot& snapshot) const;

  Adapter adapter;
  PciHostBridge bridge;
  VideoBios bios;
  Trace trace;
  PortBus ports;
  MemoryWindows windows;
  Claims claims;
  Faults faults;
  V86Emulator emulator;
  std::vector<RegistryValue> registry;
  std::vector<Registration> registrations;
  std::map<INTERFACE_TYPE, VP_STATUS> forced;
  ULONG configLength = kConfigInfoLength;
  bool eisaBus = false;  // find-adapter is called for the Eisa registration too
  // How calls into the loaded driver are made (empty: straight calls).
  DriverCallGate gate;
  // The loaded driver's writable statics (empty before a load), and
  // whether other machines' drivers keep theirs in the same place.
  std::function<std::span<uint8_t>()> statics;
  bool sharedStatics = false;
  // Brings this machine's statics where its driver reads them, putting
  // aside those of the machine that had them there; with `own` false, the
  // caller writes them itself (a load, a rollback).
  void HoldStatics(bool own = true);
  // What runs beside the machine and keeps state of its own (sessions).
  std::vector<Companion*> companions;
  // Opaque objects whose addresses DriverEntry receives.
  uint32_t driverObject = 0x44524956;  // "DRIV"
  uint32_t registryPath = 0x52454750;  // "REGP"

 private:
  VP_STATUS FindAdapter(const VIDEO_HW_INITIALIZATION_DATA& init, PVOID hwContext,
                        Registration& reg);
  VP_STATUS FindOneAdapter(const VIDEO_HW_INITIALIZATION_DATA& init, PVOID hwContext,
                           Registration& reg, UCHAR& again);

  // Shared with the snapshots that record them: a device extension keeps
  // its address, which the driver hands the emulator as its context.
  std::vector<std::shared_ptr<Device>> devices_;
  Device* started_ = nullptr;
  std::vector<uint8_t> statics_;  // this machine's, while another holds the shared place
};

// What Platform::TakeSnapshot keeps.
struct Snapshot {
  const Platform* platform;
  Adapter::Snapshot adapter;
  PciHostBridge::State bridge;
  VideoBios::State bios;
  Trace trace;
  MemoryWindows::State windows;
  Claims claims;
  Faults faults;
  V86Emulator::State emulator;
  std::vector<RegistryValue> registry;
  std::vector<Registration> registrations;
  std::map<INTERFACE_TYPE, VP_STATUS> forced;
  ULONG configLength;
  bool eisaBus;
  DriverCallGate gate;
  std::function<std::span<uint8_t>()> statics;
  bool sharedStatics;
  std::vector<uint8_t> staticBytes;
  uint32_t driverObject, registryPath;
  struct DeviceCopy {
    std::shared_ptr<Device> device;
    VIDEO_HW_INITIALIZATION_DATA init;
    std::vector<uint8_t> extension;
    VIDEO_PORT_CONFIG_INFO config;
  };
  std::vector<DeviceCopy> devices;
  Device* started;
  std::vector<std::pair<Companion*, std::shared_ptr<const void>>> companions;
};

// The platform of the machine on top of the stack of live machines (defined
// with Machine in sim/machine.cpp).
Platform& CurrentPlatform();

}  // namespace sim::platform
