// The VGA CRT controller, CR00 to CR18, behind 0x3D4/0x3D5 (colour) or
// 0x3B4/0x3B5 (mono); the adapter decides which pair answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/vga/register_file.h"

namespace sim::vga {

inline constexpr uint16_t kCrtcIndexMonoPort = 0x3B4;
inline constexpr uint16_t kCrtcDataMonoPort = 0x3B5;
inline constexpr uint16_t kCrtcIndexColorPort = 0x3D4;
inline constexpr uint16_t kCrtcDataColorPort = 0x3D5;

inline constexpr uint8_t kCr00HorizontalTotal = 0x00;
inline constexpr uint8_t kCr01HorizontalDisplayEnd = 0x01;
inline constexpr uint8_t kCr02StartHorizontalBlanking = 0x02;
inline constexpr uint8_t kCr03EndHorizontalBlanking = 0x03;
inline constexpr uint8_t kCr03RetraceReadable = 0x80;  // CR10/CR11 read back the retrace
inline constexpr uint8_t kCr04HorizontalRetraceStart = 0x04;
inline constexpr uint8_t kCr05HorizontalRetraceEnd = 0x05;
inline constexpr uint8_t kCr06VerticalTotal = 0x06;
inline constexpr uint8_t kCr07Overflow = 0x07;
inline constexpr uint8_t kCr07LineCompare8 = 0x10;
inline constexpr uint8_t kCr08PresetRowScan = 0x08;
inline constexpr uint8_t kCr09MaxScanLine = 0x09;
inline constexpr uint8_t kCr0ACursorStart = 0x0A;
inline constexpr uint8_t kCr0ACursorOff = 0x20;
inline constexpr uint8_t kCr0BCursorEnd = 0x0B;
inline constexpr uint8_t kCr0CStartHigh = 0x0C;
inline constexpr uint8_t kCr0DStartLow = 0x0D;
inline constexpr uint8_t kCr10VerticalRetraceStart = 0x10;
inline constexpr uint8_t kCr11VerticalRetraceEnd = 0x11;
inline constexpr uint8_t kCr11Protect = 0x80;  // CR00-CR07 write protected
inline constexpr uint8_t kCr12VerticalDisplayEnd = 0x12;
inline constexpr uint8_t kCr13Offset = 0x13;
inline constexpr uint8_t kCr14Underline = 0x14;
inline constexpr uint8_t kCr14Doubleword = 0x40;
inline constexpr uint8_t kCr15VerticalBlankingStart = 0x15;
inline constexpr uint8_t kCr16VerticalBlankingEnd = 0x16;
inline constexpr uint8_t kCr17ModeControl = 0x17;
inline constexpr uint8_t kCr17ByteMode = 0x40;
inline constexpr uint8_t kCr18LineCompare = 0x18;
inline constexpr size_t kCrtcRegisters = 0x19;

class Crtc {
 public:
  Crtc();

  uint8_t ReadIndex() const { return regs_.Index(); }
  void WriteIndex(uint8_t value) { regs_.SetIndex(value); }
  uint8_t ReadData() const;
  void WriteData(uint8_t value);

  uint8_t Reg(uint8_t index) const { return regs_.Get(index); }
  const std::array<uint8_t, kCrtcRegisters>& All() const { return regs_.All(); }
  bool operator==(const Crtc&) const = default;

 private:
  IndexedRegisterFile<kCrtcRegisters> regs_;
};

}  // namespace sim::vga
