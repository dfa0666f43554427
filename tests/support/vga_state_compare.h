// The whole standard VGA state before a full-screen switch against the state
// after it, with only the changes a save and restore cannot avoid allowed.
#pragma once

#include <string>

#include "sim/adapter.h"

namespace test {

// The state `before` as a restore gives it back: SR00 running (0x03), misc
// output bit 3 clear, port 0x3C3 = 0x01, byte 0xFFFF of each plane holding
// that plane's latch, and the colour entry a half-written triple is heading
// for holding the components written so far (the others 0). Everything
// else, the attribute flip-flop among it, is as the session left it.
sim::VgaState AfterRoundTrip(const sim::VgaState& before);

// Empty when `after` is `before` up to those changes; otherwise every other
// difference, one per line.
std::string RoundTripDifferences(const sim::VgaState& before, const sim::VgaState& after);

}  // namespace test
