// The machine: one platform (see sim/platform/platform.h) behind the
// interface tests and zelctl use, and the stack that says which machine the
// video port services reach.
#include "sim/machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "sim/platform/platform.h"
#include "sim/trace.h"

namespace sim {

struct Machine::Impl {
  Impl(const Profile& profile, const Adapter* booted) : platform(profile, booted) {}
  platform::Platform platform;
  VIDEO_PORT_CONFIG_INFO noConfig{};
};

namespace {

struct Live {
  Machine* machine;
  platform::Platform* platform;
};

// Live machines, most recent last. A machine that calls into the driver is
// pushed again for the length of the call, so that the driver's service calls
// reach the machine that called it even when a newer one is alive.
// Never destroyed: machines held by other statics die after it would.
std::vector<Live>& Stack() {
  static auto* const stack = new std::vector<Live>;
  return *stack;
}

// The top of the stack, kept beside it: every port access asks for it.
Live top{nullptr, nullptr};

void Push(const Live& live) {
  Stack().push_back(live);
  top = live;
}

void Refresh() {
  top = Stack().empty() ? Live{nullptr, nullptr} : Stack().back();
}

class Activation {
 public:
  Activation(Machine* machine, platform::Platform* platform) {
    Push({machine, platform});
    platform->HoldStatics();
  }
  ~Activation() {
    Stack().pop_back();
    Refresh();
  }
  Activation(const Activation&) = delete;
  Activation& operator=(const Activation&) = delete;
};

const Live& Top() {
  if (top.machine == nullptr) {
    std::fprintf(stderr, "a video port service was called with no machine alive\n");
    std::abort();
  }
  return top;
}

}  // namespace

namespace platform {
Platform& CurrentPlatform() {
  return *Top().platform;
}
}  // namespace platform

Machine& Machine::Current() {
  return *Top().machine;
}

Machine::Machine(const Profile& profile) : impl_(std::make_unique<Impl>(profile, nullptr)) {
  Push({this, &impl_->platform});
}

Machine::Machine(const Profile& profile, const Adapter& booted)
    : impl_(std::make_unique<Impl>(profile, &booted)) {
  Push({this, &impl_->platform});
}

Machine::~Machine() {
  auto& stack = Stack();
  stack.erase(std::remove_if(stack.begin(), stack.end(),
                             [this](const Live& live) { return live.machine == this; }),
              stack.end());
  Refresh();
}

Adapter& Machine::adapter() {
  return impl_->platform.adapter;
}
Trace& Machine::trace() {
  return impl_->platform.trace;
}
VideoBios& Machine::bios() {
  return impl_->platform.bios;
}

// ---- loading

ULONG Machine::Load(const DriverImage& image) {
  if (!image.entry) throw std::invalid_argument("Machine::Load: the image has no entry point");
  auto& p = impl_->platform;
  Activation active(this, &p);
  p.ResetForLoad();
  p.gate = image.callGate;
  p.statics = image.statics;
  p.sharedStatics = image.sharedStatics;
  p.HoldStatics(false);
  if (image.resetStatics) image.resetStatics();
  return CallDriver(p.gate, image.entry, static_cast<PVOID>(&p.driverObject),
                    static_cast<PVOID>(&p.registryPath));
}

bool Machine::Started() const {
  return impl_->platform.Started() != nullptr;
}

void Machine::ForceRegistration(INTERFACE_TYPE bus, VP_STATUS status) {
  impl_->platform.forced[bus] = status;
}

const std::vector<Machine::Registration>& Machine::Registrations() const {
  return impl_->platform.registrations;
}

void* Machine::DeviceExtension() {
  platform::Device* device = impl_->platform.Current();
  return device ? device->extension.get() : nullptr;
}

std::span<const uint8_t> Machine::DriverStatics() {
  auto& p = impl_->platform;
  if (!p.statics) return {};
  p.HoldStatics();
  return p.statics();
}

const VIDEO_PORT_CONFIG_INFO& Machine::ConfigInfo() const {
  const platform::Device* device = impl_->platform.Current();
  return device ? device->config : impl_->noConfig;
}

void Machine::SetConfigInfoLength(ULONG length) {
  impl_->platform.configLength = length;
}

// ---- requests

Machine::Result Machine::Ioctl(ULONG code, void* in, ULONG inLength, void* out, ULONG outLength) {
  auto& p = impl_->platform;
  const platform::Device* device = p.Started();
  // Without a device found there is nothing to open.
  if (!device) return {ERROR_DEV_NOT_EXIST, 0};
  Activation active(this, &p);
  STATUS_BLOCK status{};
  status.Status = NO_ERROR;
  status.Information = 0;
  VIDEO_REQUEST_PACKET packet{code, &status, in, inLength, out, outLength};
  // A miniport must return TRUE from HwStartIO: the video port has no path
  // for a request the miniport did not take, so FALSE is a driver fault,
  // raised to the caller rather than passed off as a request status.
  if (!CallDriver(p.gate, device->init.HwStartIO, static_cast<PVOID>(device->extension.get()),
                  &packet)) {
    char text[80];
    std::snprintf(text, sizeof text, "HwStartIO returned FALSE for request 0x%08X", code);
    throw std::logic_error(text);
  }
  return {status.Status, static_cast<ULONG>(status.Information)};
}

// ---- full-screen session

uint32_t Machine::V86In(unsigned size, uint16_t port) {
  Activation active(this, &impl_->platform);
  return impl_->platform.emulator.In(size, port);
}

void Machine::V86Out(unsigned size, uint16_t port, uint32_t value) {
  Activation active(this, &impl_->platform);
  impl_->platform.emulator.Out(size, port, value);
}

namespace {

constexpr uint32_t kWindowBase = 0xA0000;
constexpr uint32_t kWindowLength = 0x20000;

uint32_t WindowOffset(uint32_t address) {
  if (address < kWindowBase || address - kWindowBase >= kWindowLength) {
    throw std::out_of_range("V86 memory access outside 0xa0000-0xbffff");
  }
  return address - kWindowBase;
}

}  // namespace

// The platform maps the legacy window straight to the adapter, so these are
// not trapped; each is traced like the driver's window accesses, against the
// window's base.
uint8_t Machine::V86Read8(uint32_t address) {
  const uint32_t offset = WindowOffset(address);
  const uint8_t value = adapter().MemRead8(address);
  if (trace().Recording(AccessKind::MemRead)) {
    trace().Record(io::MemRead8(kWindowBase, offset, value));
  }
  return value;
}

void Machine::V86Write8(uint32_t address, uint8_t value) {
  const uint32_t offset = WindowOffset(address);
  if (trace().Recording(AccessKind::MemWrite)) {
    trace().Record(io::MemWrite8(kWindowBase, offset, value));
  }
  adapter().MemWrite8(address, value);
}

void Machine::V86Write(uint32_t address, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  WindowOffset(address + static_cast<uint32_t>(bytes.size()) - 1);
  if (trace().Recording(AccessKind::MemWrite)) {
    for (size_t i = 0; i < bytes.size(); ++i)
      V86Write8(address + static_cast<uint32_t>(i), bytes[i]);
    return;
  }
  WindowOffset(address);
  adapter().MemWrite(address, bytes);
}

bool Machine::Trapped(uint16_t port) const {
  return impl_->platform.emulator.Trapped(port);
}

const std::vector<VIDEO_ACCESS_RANGE>& Machine::TrapSet() const {
  return impl_->platform.emulator.TrapSet();
}

// ---- what the driver left with the platform

const std::vector<Machine::RegistryValue>& Machine::Registry() const {
  return impl_->platform.registry;
}

const std::vector<Machine::Mapping>& Machine::Mappings() const {
  return impl_->platform.windows.Mappings();
}

uint8_t Machine::ReadMapped(const void* address) {
  return impl_->platform.windows.ReadMapped(reinterpret_cast<uintptr_t>(address));
}

void Machine::WriteMapped(void* address, uint8_t value) {
  impl_->platform.windows.WriteMapped(reinterpret_cast<uintptr_t>(address), value);
}

const std::vector<Machine::View>& Machine::Views() const {
  return impl_->platform.windows.Views();
}

void Machine::AddForeignClaim(uint64_t start, uint32_t length) {
  impl_->platform.claims.AddForeign(start, length);
}

const std::vector<VIDEO_ACCESS_RANGE>& Machine::Claims() const {
  return impl_->platform.claims.Driver();
}

// ---- snapshots

size_t Snapshot::VideoMemoryBytes() const {
  return state_ ? state_->adapter.vram.StoredBytes() : 0;
}

Snapshot Machine::TakeSnapshot() {
  Snapshot snapshot;
  snapshot.state_ = std::make_shared<const platform::Snapshot>(impl_->platform.TakeSnapshot());
  return snapshot;
}

void Machine::Rollback(const Snapshot& snapshot) {
  if (!snapshot.state_) throw std::invalid_argument("Machine::Rollback: an empty snapshot");
  auto& p = impl_->platform;
  p.Rollback(*snapshot.state_);
  // The rollback goes by what the machine noted as written; a write it
  // missed must not pass for the snapshot's state.
#ifdef NDEBUG
  static uint32_t rollbacks = 0;
  if (++rollbacks % 64 != 0) return;
#endif
  if (const std::string what = p.DifferenceFrom(*snapshot.state_); !what.empty()) {
    std::fprintf(stderr, "a rollback left the machine unlike its snapshot: %s\n", what.c_str());
    std::abort();
  }
}

void Machine::Join(Companion& companion) {
  auto& joined = impl_->platform.companions;
  if (std::find(joined.begin(), joined.end(), &companion) == joined.end())
    joined.push_back(&companion);
}

void Machine::Leave(Companion& companion) {
  auto& joined = impl_->platform.companions;
  joined.erase(std::remove(joined.begin(), joined.end(), &companion), joined.end());
}

// ---- faults

void Machine::InjectFault(const Fault& fault) {
  impl_->platform.faults.Inject(fault);
}
void Machine::ClearFaults() {
  impl_->platform.faults.Clear();
}
uint32_t Machine::CallCount(Service service) const {
  return impl_->platform.faults.CallCount(service);
}

}  // namespace sim
