#include "tests/support/vga_state_compare.h"

namespace test {

sim::VgaState AfterRoundTrip(const sim::VgaState& before) {
  sim::VgaState expected = before;
  expected.seq[0] = 0x03;
  expected.misc &= 0xF7;
  expected.videoEnable = 0x01;
  for (size_t p = 0; p < 4; ++p) {
    if (expected.planes[p].size() > 0xFFFF) expected.planes[p][0xFFFF] = expected.latches[p];
  }
  if (!expected.dacReadMode && expected.dacPosition > 0) {
    sim::Rgb& heading = expected.dac[expected.dacAddress];
    heading = {expected.dacPending[0], 0, 0};
    if (expected.dacPosition > 1) heading.g = expected.dacPending[1];
  }
  return expected;
}

std::string RoundTripDifferences(const sim::VgaState& before, const sim::VgaState& after) {
  std::string text;
  for (const std::string& line : sim::Diff(AfterRoundTrip(before), after, 40)) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace test
