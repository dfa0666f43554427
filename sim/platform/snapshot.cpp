// Snapshots of the platform: everything it holds, to come back to at the
// cost of what changed. The adapter's video memory goes back by the pages
// written since; the rest is small (registers, the driver's statics and
// device extensions, the platform's records) and is copied back whole.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sim/platform/inaccessible_region.h"
#include "sim/platform/platform.h"
#include "sim/platform/writable_statics.h"

namespace sim::platform {

// Every member of these is in the snapshot: one added must join
// TakeSnapshot and Rollback (or the states they save), and the test of
// snapshots, which compares the rest.
static_assert(sizeof(void*) != 4 || sizeof(Platform) == 2016,
              "a new member of the platform: add it to the snapshot");
static_assert(sizeof(void*) != 4 || sizeof(Device) == 120,
              "a new member of a device: add it to DeviceCopy");
static_assert(sizeof(void*) != 4 || sizeof(MemoryWindows) == 48,
              "a new member of the windows: add it to their State");
static_assert(sizeof(void*) != 4 || sizeof(V86Emulator) == 40,
              "a new member of the emulator: add it to its State");
static_assert(sizeof(void*) != 4 || sizeof(VideoBios) == 16,
              "a new member of the BIOS: add it to its State");
static_assert(sizeof(void*) != 4 || sizeof(PciHostBridge) == 12,
              "a new member of the bridge: save it beside its address");

Snapshot Platform::TakeSnapshot() {
  Snapshot s{.platform = this,
             .adapter = adapter.TakeSnapshot(),
             .bridge = bridge.Save(),
             .bios = bios.Save(),
             .trace = trace,
             .windows = windows.Save(),
             .claims = claims,
             .faults = faults,
             .emulator = emulator.Save(),
             .registry = registry,
             .registrations = registrations,
             .forced = forced,
             .configLength = configLength,
             .eisaBus = eisaBus,
             .gate = gate,
             .statics = statics,
             .sharedStatics = sharedStatics,
             .staticBytes = {},
             .driverObject = driverObject,
             .registryPath = registryPath,
             .devices = {},
             .started = started_,
             .companions = {}};
  for (Companion* companion : companions)
    s.companions.emplace_back(companion, companion->Keep());
  if (statics) {
    HoldStatics();
    const std::span<uint8_t> bytes = statics();
    s.staticBytes.resize(bytes.size());
    CopyUnchecked(s.staticBytes.data(), bytes.data(), bytes.size());
  }
  for (const auto& device : devices_) {
    const ULONG size = device->init.HwDeviceExtensionSize;
    const uint8_t* extension = device->extension.get();
    s.devices.push_back({device, device->init,
                         std::vector<uint8_t>(extension, extension + (size == 0 ? 1 : size)),
                         device->config});
  }
  return s;
}

void Platform::Rollback(const Snapshot& s) {
  // Device extensions and view addresses belong to the machine that made
  // them; a machine without them can be taken by any machine.
  if (s.platform != this &&
      (!s.devices.empty() || !s.windows.views.empty() || !s.windows.mappings.empty())) {
    throw std::invalid_argument(
        "a machine can only go back to a snapshot of its own, or to another's booted one");
  }
  adapter.Rollback(s.adapter);
  bridge.Restore(s.bridge);
  bios.Restore(s.bios);
  trace = s.trace;
  windows.Restore(s.windows);
  claims = s.claims;
  faults = s.faults;
  emulator.Restore(s.emulator);
  registry = s.registry;
  registrations = s.registrations;
  forced = s.forced;
  configLength = s.configLength;
  eisaBus = s.eisaBus;
  gate = s.gate;
  statics = s.statics;
  sharedStatics = s.sharedStatics;
  // Other machines load the same driver: its statics are put back whatever
  // this one did.
  if (statics) {
    HoldStatics(false);
    const std::span<uint8_t> bytes = statics();
    CopyUnchecked(bytes.data(), s.staticBytes.data(), bytes.size());
  }
  driverObject = s.driverObject;
  registryPath = s.registryPath;
  devices_.clear();
  for (const auto& copy : s.devices) {
    Device& device = *copy.device;
    device.init = copy.init;
    std::memcpy(device.extension.get(), copy.extension.data(), copy.extension.size());
    device.config = copy.config;
    devices_.push_back(copy.device);
  }
  started_ = s.started;
  for (Companion* companion : companions) {
    const auto kept = std::find_if(s.companions.begin(), s.companions.end(),
                                   [companion](const auto& c) { return c.first == companion; });
    companion->PutBack(kept == s.companions.end() ? nullptr : kept->second.get());
  }
}

std::string Platform::DifferenceFrom(const Snapshot& s) const {
  if (std::string what = adapter.DifferenceFrom(s.adapter); !what.empty())
    return "adapter: " + what;
  if (statics) {
    const_cast<Platform*>(this)->HoldStatics();
    const std::span<uint8_t> bytes = statics();
    std::vector<uint8_t> now(bytes.size());
    CopyUnchecked(now.data(), bytes.data(), bytes.size());
    if (now != s.staticBytes) return "the driver's writable statics";
  }
  if (devices_.size() != s.devices.size()) return "the devices";
  for (size_t i = 0; i < devices_.size(); ++i) {
    const Device& device = *devices_[i];
    const auto& copy = s.devices[i];
    if (devices_[i] != copy.device ||
        std::memcmp(device.extension.get(), copy.extension.data(), copy.extension.size()) != 0) {
      return "the device extension of registration " + std::to_string(i);
    }
  }
  return {};
}

}  // namespace sim::platform
