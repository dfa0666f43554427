// The image's own port instructions (in/out, with an 8-bit port number or
// DX, 8, 16 or 32 bits wide) fault in a user process. A SIGSEGV handler
// decodes them, hands them to a route (the simulated machine's ports), puts
// a read's value into AL, AX or EAX and steps over the instruction. Any other
// fault goes to the handler that was there before (AddressSanitizer's, or the
// default), so that a stray dereference still stops the process.
#pragma once

#include <cstdint>

namespace sim::pe {

struct PortRoute {
  uint32_t (*in)(unsigned size, uint16_t port) = nullptr;
  void (*out)(unsigned size, uint16_t port, uint32_t value) = nullptr;
};

// Installs the handler on first use and sets the route; returns the route
// that was set before. A trapped instruction with no route set aborts,
// naming it.
PortRoute RoutePortInstructions(PortRoute route);

}  // namespace sim::pe
