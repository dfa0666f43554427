// What a full-screen switch may change of what a session sees, all of it in
// one place. A switch is the console's: the session's hardware state saved,
// the desktop's graphics mode set and drawn, the adapter reset, the state
// restored. The suite of real sessions and the session fuzzer's oracle hold
// every switch to this list and compare everything else.
#pragma once

#include <cstdint>

#include "sim/adapter.h"

namespace test {

// The standard VGA state a switch leaves, given the one it found:
// - the restore leaves SR00 running (0x03), port 0x3C3 at 1 and misc output
//   bit 3 (the external clock) clear;
// - byte 0xFFFF of each plane holds that plane's latch (the save stores the
//   latches there); not applied to a state without planes;
// - a DAC triple written part-way is completed into its entry;
// - in read mode, components written into the current triple are dropped,
//   and the entry being read out is fetched again from the one before the
//   address: the DAC shows neither, so no save can keep them (only a
//   program that mixes reads and writes of 0x3C9 in read mode sees this);
// - with CR11's protection on and CR03 bit 7 clear, the save cannot make
//   CR10 and CR11 readable (CR03 is protected) and reads the light pen
//   latches there instead: they come back as 0.
sim::VgaState AcceptedAfterSwitch(sim::VgaState before);

// Input status 1 bits 0 and 3 (display enable, vertical retrace) as the
// program reads them: the display kept running while the desktop had the
// screen, so their phase is not kept.
uint32_t DisplayTiming(uint16_t port);

// Not part of the saved state at all, so whatever the switch left there:
// the Zel extended registers, the bank select 0x3CD and the key ports (the
// reset's mode set programs them), the display timing, and video memory
// beyond the four 64 KB planes (the desktop's frame buffer).
inline constexpr uint32_t kSavedVideoMemory = 0x40000;

}  // namespace test
