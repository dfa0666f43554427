// The VGA graphics controller, GR00 to GR08, behind 0x3CE/0x3CF. Its index
// register holds four bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/profile.h"
#include "sim/vga/register_file.h"

namespace sim::vga {

inline constexpr uint16_t kGcIndexPort = 0x3CE;
inline constexpr uint16_t kGcDataPort = 0x3CF;

inline constexpr uint8_t kGr00SetReset = 0x00;
inline constexpr uint8_t kGr01EnableSetReset = 0x01;
inline constexpr uint8_t kGr02ColorCompare = 0x02;
inline constexpr uint8_t kGr03DataRotate = 0x03;
inline constexpr uint8_t kGr04ReadMapSelect = 0x04;
inline constexpr uint8_t kGr05Mode = 0x05;
inline constexpr uint8_t kGr06Misc = 0x06;
inline constexpr uint8_t kGr07ColorDontCare = 0x07;
inline constexpr uint8_t kGr08BitMask = 0x08;
inline constexpr size_t kGraphicsRegisters = 9;

class Graphics {
 public:
  explicit Graphics(const Defects& defects);

  uint8_t ReadIndex() const;
  uint8_t Index() const { return regs_.Index(); }
  void WriteIndex(uint8_t value) { regs_.SetIndex(value); }
  uint8_t ReadData() const;
  void WriteData(uint8_t value);

  // The register the hardware uses for `index` (the shared one when the
  // data register is not indexed).
  uint8_t Reg(uint8_t index) const;
  std::array<uint8_t, kGraphicsRegisters> All() const;
  bool operator==(const Graphics&) const = default;

 private:
  uint8_t Effective(uint8_t index) const { return dataNotIndexed_ ? kGr08BitMask : index; }

  IndexedRegisterFile<kGraphicsRegisters> regs_;
  bool indexMasked_;
  bool dataNotIndexed_;
};

}  // namespace sim::vga
