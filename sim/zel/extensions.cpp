#include "sim/zel/extensions.h"

namespace sim::zel {

namespace {

struct WriteMask {
  uint8_t index;
  uint8_t mask;  // the bits a write changes
};

// The registers that do not take every bit a write brings; all others do.
// The board's straps (bus width, memory configuration, memory type and
// banks) are read-only; bits with no function read 0.
constexpr WriteMask kWriteMasks[] = {
    {kSr0CBusConfig, 0x00},
    {kSr0DStraps, 0x00},
    {kSr1BPointerXHigh, 0x07},  // X bits 10-8
    {kSr1CPointerHiddenColumns, 0x1F},
    {kSr1FPointerHiddenRows, 0x1F},
    {kSr23MemoryType, 0x00},
    {kSr29MclkDenominator, 0x7F},  // bits 6-5 post-divider, 4-0 denominator
    {kSr2FMemoryBanks, 0x00},
    {kSr33MemoryKind, 0x00},
};

constexpr std::array<uint8_t, 256> ByIndex() {
  std::array<uint8_t, 256> masks{};
  masks.fill(0xFF);
  for (const WriteMask& m : kWriteMasks)
    masks[m.index] = m.mask;
  return masks;
}
constexpr std::array<uint8_t, 256> kMaskOf = ByIndex();

}  // namespace

uint8_t Extensions::ReadSeq(uint8_t index) const {
  if (index == kSr05Lock) return Stored(kSr05Lock);
  return unlocked_ ? regs_[index] : 0x00;
}

void Extensions::WriteSeq(uint8_t index, uint8_t value) {
  if (index == kSr05Lock) {
    // Only the key opens the bank; anything else written here closes it.
    unlocked_ = !absent_ && value == kSr05UnlockKey;
    return;
  }
  if (!unlocked_) return;
  const uint8_t mask = kMaskOf[index];
  regs_[index] = static_cast<uint8_t>((regs_[index] & ~mask) | (value & mask));
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
