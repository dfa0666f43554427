// The port instructions of the two places in the driver that bypass the
// video port services: on the simulated machine they reach the same port bus,
// and the same trace, as the services do.
#include "miniport/port_io.h"
#include "sim/platform/platform.h"

extern "C" UCHAR VPAPI ZelSimPortIn8(USHORT port) {
  return static_cast<UCHAR>(sim::platform::CurrentPlatform().ports.In(1, port));
}

extern "C" VOID VPAPI ZelSimPortOut8(USHORT port, UCHAR value) {
  sim::platform::CurrentPlatform().ports.Out(1, port, value);
}
