// The VGA colour lookup table (RAMDAC): 256 entries of three 6-bit
// components, one address register shared by reads and writes, the position
// within the current triple, and the pixel mask.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim::vga {

inline constexpr uint16_t kPelMaskPort = 0x3C6;
inline constexpr uint16_t kDacReadIndexPort = 0x3C7;  // read: DAC state
inline constexpr uint16_t kDacWriteIndexPort = 0x3C8;
inline constexpr uint16_t kDacDataPort = 0x3C9;

using DacEntry = std::array<uint8_t, 3>;  // red, green, blue

class Dac {
 public:
  // Port 0x3C8 write: write mode at entry n.
  void WriteWriteIndex(uint8_t n);
  // Port 0x3C7 write: read mode; entry n is fetched at once.
  void WriteReadIndex(uint8_t n);
  uint8_t ReadAddress() const { return address_; }               // port 0x3C8
  uint8_t ReadState() const { return readMode_ ? 0x03 : 0x00; }  // port 0x3C7
  uint8_t ReadData();                                            // port 0x3C9
  void WriteData(uint8_t value);                                 // port 0x3C9
  uint8_t PelMask() const { return pelMask_; }                   // port 0x3C6
  void SetPelMask(uint8_t value) { pelMask_ = value; }

  const DacEntry& Entry(uint8_t index) const { return table_[index]; }
  const std::array<DacEntry, 256>& Table() const { return table_; }
  bool ReadMode() const { return readMode_; }
  uint8_t Position() const { return position_; }
  const std::array<uint8_t, 3>& Pending() const { return pending_; }
  const DacEntry& Fetched() const { return fetched_; }  // what reads take from
  bool operator==(const Dac&) const = default;

 private:
  void StartTriple();

  std::array<DacEntry, 256> table_{};
  uint8_t address_ = 0;
  bool readMode_ = false;
  uint8_t position_ = 0;
  std::array<uint8_t, 3> pending_{};  // components written to the current triple
  DacEntry fetched_{};                // the entry being read out
  uint8_t pelMask_ = 0;
};

}  // namespace sim::vga
