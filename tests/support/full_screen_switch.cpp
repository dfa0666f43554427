#include "tests/support/full_screen_switch.h"

namespace test {

sim::VgaState AcceptedAfterSwitch(sim::VgaState s) {
  constexpr uint8_t kCr03RetraceReadable = 0x80, kCr11Protect = 0x80;
  s.seq[0] = 0x03;
  s.videoEnable = 0x01;
  s.misc &= 0xF7;
  for (size_t p = 0; p < 4; ++p) {
    if (!s.planes[p].empty()) s.planes[p][0xFFFF] = s.latches[p];
  }
  if (!s.dacReadMode && s.dacPosition > 0) {
    s.dac[s.dacAddress] = {s.dacPending[0], s.dacPosition > 1 ? s.dacPending[1] : uint8_t{0}, 0};
  }
  if (s.dacReadMode) s.dacPending = {};
  if ((s.crtc[0x11] & kCr11Protect) && !(s.crtc[0x03] & kCr03RetraceReadable)) {
    s.crtc[0x10] = 0x00;
    s.crtc[0x11] = 0x00;
  }
  return s;
}

uint32_t DisplayTiming(uint16_t port) {
  return port == 0x3BA || port == 0x3DA ? 0x09 : 0x00;
}

}  // namespace test
