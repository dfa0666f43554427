#include "sim/pci_host_bridge.h"

namespace sim {
namespace {

constexpr uint32_t kEnable = 0x80000000;
constexpr uint32_t kWritableAddressBits = 0x80FFFFFC;  // 30-24 and 1-0 are reserved

uint32_t AllOnes(unsigned size) {
  return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
}

}  // namespace

PciHostBridge::PciHostBridge(Adapter& adapter, const Profile& profile)
    : adapter_(adapter),
      bus_(profile.pciBus),
      device_(profile.pciDevice),
      present_(profile.onPciBus) {}

uint32_t PciHostBridge::ReadAddressed() const {
  if ((address_ & kEnable) == 0) return 0xFFFFFFFF;
  const uint8_t bus = (address_ >> 16) & 0xFF;
  const uint8_t device = (address_ >> 11) & 0x1F;
  const uint8_t function = (address_ >> 8) & 0x07;
  if (!present_ || bus != bus_ || device != device_ || function != 0) {
    return 0xFFFFFFFF;  // master abort: nobody claimed the cycle
  }
  return adapter_.ConfigRead32(address_ & 0xFC);
}

uint32_t PciHostBridge::In(uint16_t port, unsigned size) {
  if (port == kAddressPort && size == 4) return address_;
  if (port < kDataPort || !Decodes(port)) return AllOnes(size);

  const unsigned k = port - kDataPort;
  const uint32_t dword = ReadAddressed();
  uint32_t value = 0;
  for (unsigned i = 0; i < size; ++i) {
    const uint32_t byte = (k + i < 4) ? (dword >> (8 * (k + i))) & 0xFF : 0xFF;
    value |= byte << (8 * i);
  }
  return value;
}

void PciHostBridge::Out(uint16_t port, unsigned size, uint32_t value) {
  if (port == kAddressPort && size == 4) address_ = value & kWritableAddressBits;
}

}  // namespace sim
