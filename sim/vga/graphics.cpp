#include "sim/vga/graphics.h"

namespace sim::vga {

namespace {
// GR05 bit 2 and bit 7 are reserved; GR04 picks one of four maps.
constexpr std::array<uint8_t, kGraphicsRegisters> kWriteMasks = {0x0F, 0x0F, 0x0F, 0x1F, 0x03,
                                                                 0x7B, 0x0F, 0x0F, 0xFF};
}  // namespace

Graphics::Graphics(const Defects& defects)
    : regs_(defects.graphicsIndexThreeBits ? 0x07 : 0x0F, kWriteMasks),
      indexMasked_(defects.graphicsIndexMasked),
      dataNotIndexed_(defects.graphicsDataNotIndexed) {
  // Stuck bits read 0 whatever is written; with one shared data register
  // (kept in the GR08 slot) they are stuck for every index.
  regs_.SetWriteMask(kGr08BitMask, static_cast<uint8_t>(~defects.bitMaskStuckLow));
}

uint8_t Graphics::ReadIndex() const {
  return indexMasked_ ? regs_.Index() & 0xF0 : regs_.Index();
}

uint8_t Graphics::ReadData() const {
  if (!regs_.Selected()) return 0x00;
  return regs_.Get(Effective(regs_.Index()));
}

void Graphics::WriteData(uint8_t value) {
  if (!regs_.Selected()) return;
  if (dataNotIndexed_) {
    regs_.Write(kGr08BitMask, value);
    return;
  }
  regs_.WriteSelected(value);
}

uint8_t Graphics::Reg(uint8_t index) const {
  if (index >= kGraphicsRegisters) return 0;
  return regs_.Get(Effective(index));
}

std::array<uint8_t, kGraphicsRegisters> Graphics::All() const {
  std::array<uint8_t, kGraphicsRegisters> all{};
  for (uint8_t i = 0; i < kGraphicsRegisters; ++i)
    all[i] = Reg(i);
  return all;
}

}  // namespace sim::vga
