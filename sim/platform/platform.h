// Everything the simulated video port keeps for one machine, wired together:
// the adapter and the buses around it, the driver's views, claims, caller
// mappings and registry values, the V86 emulator, injected faults, and the
// driver's registrations. The VideoPort* services reach it through
// CurrentPlatform().
#pragma once

#include <map>
#include <memory>
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

class Platform {
 public:
  // With `booted`, the adapter is a copy of that adapter, already through
  // the POST, and the POST is not run again.
  explicit Platform(const Profile& profile, const Adapter* booted = nullptr);

  // One VideoPortInitialize call.
  ULONG Register(PVIDEO_HW_INITIALIZATION_DATA init, PVOID hwContext);
  // Forgets everything a previous load of the driver left.
  void ResetForLoad();
  Device* Started() const { return started_; }
  // The started device, else the one last given to find-adapter.
  Device* Current() const;

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
  // Opaque objects whose addresses DriverEntry receives.
  uint32_t driverObject = 0x44524956;  // "DRIV"
  uint32_t registryPath = 0x52454750;  // "REGP"

 private:
  VP_STATUS FindAdapter(const VIDEO_HW_INITIALIZATION_DATA& init, PVOID hwContext,
                        Registration& reg);
  VP_STATUS FindOneAdapter(const VIDEO_HW_INITIALIZATION_DATA& init, PVOID hwContext,
                           Registration& reg, UCHAR& again);

  std::vector<std::unique_ptr<Device>> devices_;
  Device* started_ = nullptr;
};

// The platform of the machine on top of the stack of live machines (defined
// with Machine in sim/machine.cpp).
Platform& CurrentPlatform();

}  // namespace sim::platform
