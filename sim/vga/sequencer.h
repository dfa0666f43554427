// The VGA sequencer, SR00 to SR04, behind index port 0x3C4 and data port
// 0x3C5. Indices above 0x04 belong to the chip's extensions; the adapter
// routes them there.
#pragma once

#include <cstdint>

#include "sim/profile.h"
#include "sim/vga/register_file.h"

namespace sim::vga {

inline constexpr uint16_t kSeqIndexPort = 0x3C4;
inline constexpr uint16_t kSeqDataPort = 0x3C5;

inline constexpr uint8_t kSr00Reset = 0x00;
inline constexpr uint8_t kSr01Clocking = 0x01;
inline constexpr uint8_t kSr01EightDotCells = 0x01;
inline constexpr uint8_t kSr01HalfDotClock = 0x08;
inline constexpr uint8_t kSr01ScreenOff = 0x20;
inline constexpr uint8_t kSr02MapMask = 0x02;
inline constexpr uint8_t kSr04MemoryMode = 0x04;
inline constexpr uint8_t kSr04OddEvenOff = 0x04;  // set: planar, clear: odd/even writes
inline constexpr uint8_t kSr04Chain4 = 0x08;

class Sequencer {
 public:
  explicit Sequencer(const Defects& defects);

  uint8_t ReadIndex() const;
  void WriteIndex(uint8_t value) { regs_.SetIndex(value); }
  uint8_t Index() const { return regs_.Index(); }
  bool StandardSelected() const { return regs_.Selected(); }
  uint8_t ReadData() const { return regs_.ReadSelected(); }
  void WriteData(uint8_t value) { regs_.WriteSelected(value); }

  uint8_t Reg(uint8_t index) const { return regs_.Get(index); }
  const std::array<uint8_t, 5>& All() const { return regs_.All(); }
  bool operator==(const Sequencer&) const = default;

 private:
  IndexedRegisterFile<5> regs_;
  bool indexMasked_;
};

}  // namespace sim::vga
