#include "sim/zel/extensions.h"

namespace sim::zel {

uint8_t Extensions::ReadSeq(uint8_t index) const {
  if (index == kSr05Lock) return Stored(kSr05Lock);
  return unlocked_ ? regs_[index] : 0x00;
}

void Extensions::WriteSeq(uint8_t index, uint8_t value) {
  if (index == kSr05Lock) {
    // Only the key opens the bank; anything else written here closes it.
    unlocked_ = value == kSr05UnlockKey;
    return;
  }
  if (unlocked_) regs_[index] = value;
}

uint8_t Extensions::Stored(uint8_t index) const {
  if (index == kSr05Lock) return unlocked_ ? kSr05ReadsUnlocked : 0x00;
  return regs_[index];
}

std::optional<uint32_t> Extensions::ApertureBase() const {
  if (!(regs_[kSr06ExtendedMode] & kSr06ApertureEnable)) return std::nullopt;
  return (uint32_t{regs_[kSr20ApertureLow]} << 19) |
         (uint32_t{regs_[kSr21ApertureHigh] & 0x1Fu} << 27);
}

}  // namespace sim::zel
