// The host bridge's PCI configuration mechanism #1 at ports 0xCF8-0xCFF: a
// 32-bit address register at 0xCF8 and a four-byte data window at 0xCFC that
// shows the addressed configuration dword.
#pragma once

#include <cstdint>

#include "sim/adapter.h"
#include "sim/profile.h"

namespace sim {

class PciHostBridge {
 public:
  // The adapter answers at bus profile.pciBus, device profile.pciDevice,
  // function 0, when profile.onPciBus; nothing else is on the bus.
  PciHostBridge(Adapter& adapter, const Profile& profile);

  static constexpr uint16_t kAddressPort = 0xCF8;
  static constexpr uint16_t kDataPort = 0xCFC;

  bool Decodes(uint16_t port) const { return port >= kAddressPort && port <= kDataPort + 3; }

  // size is 1, 2 or 4 bytes.
  // 0xCF8: only a 32-bit access reaches the address register (bit 31 enable,
  // bus 23-16, device 15-11, function 10-8, register 7-2; the other bits
  // read 0); narrower accesses there are not the bridge's and float high.
  // 0xCFC + k: bytes k.. of the addressed dword; bytes past 0xCFF, an
  // address without the enable bit and a function nobody answers read 0xFF.
  uint32_t In(uint16_t port, unsigned size);
  // Writes to the data window are dropped: the driver only reads the
  // configuration space, and the adapter model's is read-only.
  void Out(uint16_t port, unsigned size, uint32_t value);

  uint32_t Address() const { return address_; }

  // Where the adapter answers and the address register, for snapshots.
  struct State {
    uint8_t bus, device;
    bool present;
    uint32_t address;
  };
  State Save() const { return {bus_, device_, present_, address_}; }
  void Restore(const State& s) {
    bus_ = s.bus, device_ = s.device, present_ = s.present, address_ = s.address;
  }

 private:
  uint32_t ReadAddressed() const;

  Adapter& adapter_;
  uint8_t bus_;
  uint8_t device_;
  bool present_;
  uint32_t address_ = 0;
};

}  // namespace sim
