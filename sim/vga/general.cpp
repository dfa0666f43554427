#include "sim/vga/general.h"

namespace sim::vga {

uint8_t General::PeekInputStatus1() const {
  const uint32_t step = statusReads_ % kReadsPerFrame;
  const bool retrace = step >= kReadsPerFrame - kRetraceReads;
  // Outside retrace the display blanks for two reads out of every four (the
  // horizontal blanking), so bit 0 rises within a few reads.
  const bool blanking = retrace || ((step >> 1) & 1) != 0;
  uint8_t status = 0;
  if (blanking) status |= kStatusDisplayDisabled;
  if (retrace) status |= kStatusVerticalRetrace;
  return static_cast<uint8_t>((status & ~stuckMask_) | (stuckValue_ & stuckMask_));
}

uint8_t General::ReadInputStatus1() {
  const uint8_t status = PeekInputStatus1();
  ++statusReads_;
  return status;
}

void General::StickStatusBits(uint8_t mask, uint8_t value) {
  stuckMask_ = mask & (kStatusDisplayDisabled | kStatusVerticalRetrace);
  stuckValue_ = value & stuckMask_;
}

}  // namespace sim::vga
