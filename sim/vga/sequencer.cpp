#include "sim/vga/sequencer.h"

namespace sim::vga {

namespace {
// SR00 reset bits; SR01 bits 5-2 and 0; SR02 four planes; SR03 character
// map select; SR04 bits 3-1 (bit 0 is reserved).
constexpr std::array<uint8_t, 5> kWriteMasks = {0x03, 0x3D, 0x0F, 0x3F, 0x0E};
}  // namespace

Sequencer::Sequencer(const Defects& defects)
    : regs_(0xFF, kWriteMasks), indexMasked_(defects.sequencerIndexMasked) {
  if (defects.chain4Stuck) regs_.SetWriteMask(kSr04MemoryMode, kWriteMasks[4] & ~kSr04Chain4);
}

uint8_t Sequencer::ReadIndex() const {
  return indexMasked_ ? regs_.Index() & 0xF8 : regs_.Index();
}

}  // namespace sim::vga
