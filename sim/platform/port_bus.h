// The processor's I/O space as the machine decodes it: the adapter answers
// 0x3B0 to 0x3DF, the PCI host bridge its configuration ports, and nothing
// else answers (reads float to all ones, writes are lost). Every access is
// traced, whoever makes it.
#pragma once

#include <cstdint>

#include "sim/adapter.h"
#include "sim/trace.h"

namespace sim {
class PciHostBridge;
}

namespace sim::platform {

class PortBus {
 public:
  PortBus(Adapter& adapter, PciHostBridge& bridge, Trace& trace)
      : adapter_(adapter), bridge_(bridge), trace_(trace) {}

  // size is 1, 2 or 4.
  uint32_t In(unsigned size, uint16_t port);
  void Out(unsigned size, uint16_t port, uint32_t value);

 private:
  uint32_t Read(unsigned size, uint16_t port);
  void Write(unsigned size, uint16_t port, uint32_t value);

  Adapter& adapter_;
  PciHostBridge& bridge_;
  Trace& trace_;
};

}  // namespace sim::platform
