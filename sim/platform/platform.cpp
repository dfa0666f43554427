#include "sim/platform/platform.h"

#include <cstring>

#include "sim/platform/writable_statics.h"

namespace sim::platform {

Platform::Platform(const Profile& profile, const Adapter* booted)
    : adapter(booted ? *booted : Adapter(DerivePowerOn(profile))),
      bridge(adapter, profile),
      bios(adapter),
      ports(adapter, bridge, trace),
      windows(adapter, trace, ports),
      claims(profile.ramTop),
      emulator(ports, gate),
      eisaBus(profile.eisaBus) {
  // The machine has booted: the POST has set the 80 x 25 colour text mode
  // through the video BIOS, as on every PC before the system loads drivers.
  if (booted) return;
  VIDEO_X86_BIOS_ARGUMENTS post{};
  post.Eax = 0x0003;
  bios.Int10(post);
}

namespace {
// The platform whose statics are in the shared place now.
Platform* holder = nullptr;
}  // namespace

Platform::~Platform() {
  if (holder == this) holder = nullptr;
}

void Platform::HoldStatics(bool own) {
  if (!statics || !sharedStatics || holder == this) return;
  const std::span<uint8_t> place = statics();
  if (holder) {
    holder->statics_.resize(place.size());
    CopyUnchecked(holder->statics_.data(), place.data(), place.size());
  }
  if (own && statics_.size() == place.size())
    CopyUnchecked(place.data(), statics_.data(), place.size());
  holder = this;
}

Device* Platform::Current() const {
  if (started_) return started_;
  return devices_.empty() ? nullptr : devices_.back().get();
}

void Platform::ResetForLoad() {
  registrations.clear();
  registry.clear();
  emulator.Reset();
  windows.Reset();
  claims.Reset();
  started_ = nullptr;
  devices_.clear();
}

ULONG Platform::Register(PVIDEO_HW_INITIALIZATION_DATA init, PVOID hwContext) {
  Registration reg{init ? init->AdapterInterfaceType : Internal, NO_ERROR, false, false};
  VP_STATUS status = NO_ERROR;
  if (!init || init->HwInitDataSize < kMinimumInitDataSize || !init->HwFindAdapter ||
      !init->HwInitialize || !init->HwStartIO) {
    // The video port refuses a record it cannot read, or one without the
    // entry points it must call.
    status = kStatusRevisionMismatch;
  } else if (const auto fault = faults.Call(Service::Initialize)) {
    status = *fault;
  } else if (const auto it = forced.find(reg.bus); it != forced.end()) {
    status = it->second;
  } else if (reg.bus != Isa && !(reg.bus == Eisa && eisaBus)) {
    // The one adapter sits on the ISA side of the machine, at the legacy VGA
    // addresses; there is no Micro Channel bus to search, and an EISA bus
    // only when the profile gives the machine one.
    status = kStatusNoSuchDevice;
  } else {
    status = FindAdapter(*init, hwContext, reg);
  }
  reg.findAdapterStatus = status;
  registrations.push_back(reg);
  return static_cast<ULONG>(status);
}

// The video port calls find-adapter again, for another adapter of the kind,
// for as long as the miniport answers *Again TRUE. Again starts as an
// uninitialised stack byte would, not FALSE: a miniport must write it. What a
// registration reports is its first adapter's status.
VP_STATUS Platform::FindAdapter(const VIDEO_HW_INITIALIZATION_DATA& record, PVOID hwContext,
                                Registration& reg) {
  constexpr int kMaxAdaptersPerRegistration = 4;
  UCHAR again = 0xCC;
  const VP_STATUS status = FindOneAdapter(record, hwContext, reg, again);
  for (int n = 1; status == NO_ERROR && again != FALSE && n < kMaxAdaptersPerRegistration; ++n) {
    again = 0xCC;
    if (FindOneAdapter(record, hwContext, reg, again) != NO_ERROR) break;
  }
  return status;
}

VP_STATUS Platform::FindOneAdapter(const VIDEO_HW_INITIALIZATION_DATA& record, PVOID hwContext,
                                   Registration& reg, UCHAR& again) {
  // The video port works from its own copy of the record.
  auto device = std::make_shared<Device>();
  device->init = record;
  const VIDEO_HW_INITIALIZATION_DATA& init = device->init;
  const ULONG size = init.HwDeviceExtensionSize;
  device->extension.reset(new uint8_t[size == 0 ? 1 : size]());
  device->config.Length = configLength;
  device->config.AdapterInterfaceType = init.AdapterInterfaceType;
  Device& d = *device;
  devices_.push_back(std::move(device));

  reg.findAdapterCalled = true;
  const VP_STATUS status = CallDriver(gate, init.HwFindAdapter, d.extension.get(), hwContext,
                                      nullptr, &d.config, &again);
  if (status != NO_ERROR) return status;
  // The ranges are this device's from now on: a later registration's
  // find-adapter cannot claim them again.
  claims.Hold();

  // The first adapter found is the device requests go to.
  if (!started_) {
    started_ = &d;
    if (d.config.EmulatorAccessEntries && d.config.NumEmulatorAccessEntries) {
      emulator.SetEmulatorTable({d.config.EmulatorAccessEntries, d.config.NumEmulatorAccessEntries},
                                d.config.EmulatorAccessEntriesContext);
    }
  }
  reg.initializeCalled = true;
  CallDriver(gate, init.HwInitialize, d.extension.get());
  return NO_ERROR;
}

}  // namespace sim::platform
