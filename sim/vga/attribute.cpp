#include "sim/vga/attribute.h"

namespace sim::vga {

namespace {
constexpr uint8_t kPaletteRegisters = 0x10;
constexpr uint8_t kPaletteAddressSource = 0x20;
// Palette entries are six bits; AR10 bit 4, AR12 bits 7-6, AR13 and AR14
// bits 7-4 are reserved.
constexpr std::array<uint8_t, kAttributeRegisters> kWriteMasks = {
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xEF, 0xFF, 0x3F, 0x0F, 0x0F};
}  // namespace

// While the address register's bit 5 (palette address source) gives the
// palette to the display, AR00-AR0F ignore the processor's writes; the
// flip-flop toggles all the same.
void Attribute::Write(uint8_t value) {
  if (!dataState_) {
    address_ = value & 0x3F;
  } else if (Selected() < kAttributeRegisters &&
             !(Selected() < kPaletteRegisters && (address_ & kPaletteAddressSource))) {
    regs_[Selected()] = value & kWriteMasks[Selected()];
  }
  dataState_ = !dataState_;
}

uint8_t Attribute::ReadData() const {
  return Reg(Selected());
}

}  // namespace sim::vga
