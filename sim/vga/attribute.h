// The VGA attribute controller, AR00 to AR14, with its index/data flip-flop
// on port 0x3C0 (0x3C1 reads the selected register).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim::vga {

inline constexpr uint16_t kAttrPort = 0x3C0;  // address and data, by the flip-flop
inline constexpr uint16_t kAttrDataReadPort = 0x3C1;

inline constexpr size_t kAttributeRegisters = 0x15;
inline constexpr uint8_t kAr10ModeControl = 0x10;
inline constexpr uint8_t kAr10Graphics = 0x01;
inline constexpr uint8_t kArPaletteSource = 0x20;  // in the address register

class Attribute {
 public:
  // Port 0x3C0 write: address in the index state, data in the data state.
  void Write(uint8_t value);
  // Port 0x3C0 read: the address register, bit 5 included; no toggle.
  uint8_t ReadAddress() const { return address_; }
  // Port 0x3C1 read.
  uint8_t ReadData() const;
  // Reading input status 1 puts the flip-flop back in the index state.
  void ResetFlipFlop() { dataState_ = false; }

  bool DataState() const { return dataState_; }
  uint8_t Reg(uint8_t index) const { return index < kAttributeRegisters ? regs_[index] : 0; }
  const std::array<uint8_t, kAttributeRegisters>& All() const { return regs_; }
  bool operator==(const Attribute&) const = default;

 private:
  uint8_t Selected() const { return address_ & 0x1F; }

  uint8_t address_ = 0;
  bool dataState_ = false;
  std::array<uint8_t, kAttributeRegisters> regs_{};
};

}  // namespace sim::vga
