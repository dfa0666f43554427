#include "sim/platform/port_bus.h"

#include <cstdio>
#include <cstdlib>

#include "sim/pci_host_bridge.h"

namespace sim::platform {
namespace {

constexpr uint16_t kAdapterFirstPort = 0x3B0;
constexpr uint16_t kAdapterLastPort = 0x3DF;

bool AdapterDecodes(uint16_t port) {
  return port >= kAdapterFirstPort && port <= kAdapterLastPort;
}

uint32_t Mask(unsigned size) {
  return size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
}

void CheckSize(unsigned size) {
  if (size != 1 && size != 2 && size != 4) {
    std::fprintf(stderr, "port access of %u bytes: only 1, 2 and 4 exist\n", size);
    std::abort();
  }
}

}  // namespace

uint32_t PortBus::Read(unsigned size, uint16_t port) {
  if (AdapterDecodes(port)) {
    switch (size) {
      case 1:
        return adapter_.In8(port);
      case 2:
        return adapter_.In16(port);
      default:
        return adapter_.In32(port);
    }
  }
  if (bridge_.Decodes(port)) return bridge_.In(port, size) & Mask(size);
  return Mask(size);
}

void PortBus::Write(unsigned size, uint16_t port, uint32_t value) {
  if (AdapterDecodes(port)) {
    switch (size) {
      case 1:
        adapter_.Out8(port, static_cast<uint8_t>(value));
        return;
      case 2:
        adapter_.Out16(port, static_cast<uint16_t>(value));
        return;
      default:
        adapter_.Out32(port, value);
        return;
    }
  }
  if (bridge_.Decodes(port)) bridge_.Out(port, size, value & Mask(size));
}

uint32_t PortBus::In(unsigned size, uint16_t port) {
  CheckSize(size);
  const uint32_t value = Read(size, port);
  trace_.Record(TraceEntry{
      .kind = AccessKind::In, .size = static_cast<uint8_t>(size), .address = port, .value = value});
  return value;
}

void PortBus::Out(unsigned size, uint16_t port, uint32_t value) {
  CheckSize(size);
  value &= Mask(size);
  trace_.Record(TraceEntry{.kind = AccessKind::Out,
                           .size = static_cast<uint8_t>(size),
                           .address = port,
                           .value = value});
  Write(size, port, value);
}

}  // namespace sim::platform
