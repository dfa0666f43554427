#include "sim/vga/crtc.h"

namespace sim::vga {

namespace {
constexpr std::array<uint8_t, kCrtcRegisters> AllBitsWritable() {
  std::array<uint8_t, kCrtcRegisters> masks{};
  masks.fill(0xFF);
  return masks;
}
}  // namespace

Crtc::Crtc() : regs_(0xFF, AllBitsWritable()) {}

uint8_t Crtc::ReadData() const {
  const uint8_t index = regs_.Index();
  // Without CR03 bit 7 the addresses of CR10/CR11 read the light pen
  // latches, which nothing here ever strobes.
  if ((index == kCr10VerticalRetraceStart || index == kCr11VerticalRetraceEnd) &&
      !(regs_.Get(kCr03EndHorizontalBlanking) & kCr03RetraceReadable)) {
    return 0x00;
  }
  return regs_.ReadSelected();
}

void Crtc::WriteData(uint8_t value) {
  const uint8_t index = regs_.Index();
  if (index <= kCr07Overflow && (regs_.Get(kCr11VerticalRetraceEnd) & kCr11Protect)) {
    // Protection leaves the line compare bit 8 of CR07 alone.
    if (index != kCr07Overflow) return;
    const uint8_t kept = regs_.Get(kCr07Overflow) & ~kCr07LineCompare8;
    regs_.Write(index, static_cast<uint8_t>(kept | (value & kCr07LineCompare8)));
    return;
  }
  regs_.WriteSelected(value);
}

}  // namespace sim::vga
