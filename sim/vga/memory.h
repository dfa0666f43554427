// The CPU side of VGA display memory: the 0xA0000-0xBFFFF window as GR06
// maps it, chain-4 / odd-even / planar addressing and chain odd/even, the
// four latches, write modes 0-3 and read modes 0-1. Plane p, offset o is
// byte 4*o + p of video memory; the memory itself belongs to the adapter.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace sim::vga {

inline constexpr uint32_t kBankUnit = 0x10000;

// What the window logic reads from the other devices for one access.
struct WindowSetup {
  uint8_t mapMask = 0;     // SR02
  uint8_t memoryMode = 0;  // SR04
  std::array<uint8_t, 9> gc{};
  uint8_t bankSelect = 0;  // 0x3CD: bits 3-0 write bank, bits 7-4 read bank
};

class Memory {
 public:
  // The offset within the window that answers at `physical`, if any.
  static std::optional<uint32_t> WindowOffset(uint32_t physical, uint8_t gr06);

  uint8_t Read(uint32_t offset, const WindowSetup& setup, std::span<const uint8_t> vram);
  void Write(uint32_t offset, uint8_t value, const WindowSetup& setup, std::span<uint8_t> vram);

  const std::array<uint8_t, 4>& Latches() const { return latches_; }

 private:
  std::array<uint8_t, 4> latches_{};
};

}  // namespace sim::vga
