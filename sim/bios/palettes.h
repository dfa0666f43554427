// The colour tables a VGA BIOS loads into the DAC (6-bit components).
#pragma once

#include <array>

#include "sim/adapter.h"

namespace sim::bios {

// The 64 colours of the EGA's 6-bit attribute space (bits 5-0 = r'g'b'RGB),
// for the 16-colour text modes; DAC entries 64-255 are black there.
std::array<Rgb, 64> EgaPalette();

// The default palette of the 256-colour modes: the 16 CGA colours, a
// 16-step grey ramp, 216 colours in nine hue wheels of 24 (three
// intensities by three saturations), and 8 black entries.
std::array<Rgb, 256> Default256Palette();

}  // namespace sim::bios
