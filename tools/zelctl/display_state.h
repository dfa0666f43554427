// `state`: the adapter's registers decoded as a register tool prints them,
// and what the monitor gets from them (mode, timing, clock, sync, memory
// map, aperture, pointer). Read from the inspection side alone: printing
// the state changes nothing.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "sim/adapter.h"

namespace zelctl {

void PrintState(const sim::Adapter& adapter, std::ostream& out);

// The picture the monitor gets, decoded from the CRTC, the clock and the
// pixel format.
struct MonitorMode {
  unsigned width = 0, height = 0;     // pixels (dots in text)
  unsigned bitsPerPixel = 0;          // 0: the VGA path (text or planar)
  std::optional<unsigned> refreshHz;  // frames a second, rounded
  bool interlaced = false;
  unsigned pitch = 0;  // bytes from one line to the next
  std::optional<double> horizontalKHz;

  // "800 x 600 at 60 Hz, 37.68 kHz"
  std::string Text() const;
};
MonitorMode DecodeMonitor(const sim::Adapter& adapter);

}  // namespace zelctl
