#include "sim/vga/dac.h"

namespace sim::vga {

void Dac::StartTriple() {
  position_ = 0;
  pending_ = {};
}

void Dac::WriteWriteIndex(uint8_t n) {
  readMode_ = false;
  address_ = n;
  StartTriple();
}

void Dac::WriteReadIndex(uint8_t n) {
  readMode_ = true;
  fetched_ = table_[n];
  address_ = static_cast<uint8_t>(n + 1);
  StartTriple();
}

// Like the classic single-address DAC, both directions share the address and
// the triple position whatever the mode says. A write always collects into
// the pending triple and stores it at the address after the third component;
// a read always takes from the fetched entry. A read in write mode fetches
// the entry at the address when a triple starts, and after its third
// component moves the address on, so it walks the table as writes would.
uint8_t Dac::ReadData() {
  if (!readMode_ && position_ == 0) fetched_ = table_[address_];
  const uint8_t value = fetched_[position_];
  if (++position_ < 3) return value;
  StartTriple();
  if (readMode_) fetched_ = table_[address_];
  address_ = static_cast<uint8_t>(address_ + 1);
  return value;
}

void Dac::WriteData(uint8_t value) {
  // Six-bit DAC: the top two bits are not stored.
  pending_[position_] = value & 0x3F;
  if (++position_ < 3) return;
  table_[address_] = pending_;
  address_ = static_cast<uint8_t>(address_ + 1);
  StartTriple();
}

}  // namespace sim::vga
