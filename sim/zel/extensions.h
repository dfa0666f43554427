// The Zel extensions to the VGA: the extended sequencer registers behind
// the SR05 lock, the bank select register 0x3CD, the key ports 0x3BF and
// 0x3D8/0x3B8, and the decode of the linear aperture.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace sim::zel {

inline constexpr uint16_t kModeKeyMonoPort = 0x3B8;
inline constexpr uint16_t kKeyPort = 0x3BF;
inline constexpr uint16_t kBankSelectPort = 0x3CD;
inline constexpr uint16_t kModeKeyColorPort = 0x3D8;

inline constexpr uint8_t kSr05Lock = 0x05;
inline constexpr uint8_t kSr05UnlockKey = 0x86;
inline constexpr uint8_t kSr05ReadsUnlocked = 0xA1;
inline constexpr uint8_t kSr06ExtendedMode = 0x06;
inline constexpr uint8_t kSr06ApertureEnable = 0x80;
inline constexpr uint8_t kSr06PointerOn = 0x40;
inline constexpr uint8_t kSr07PixelFormat = 0x07;
inline constexpr uint8_t kSr08FifoLow = 0x08;    // bits 7-4: low threshold bits 3-0
inline constexpr uint8_t kSr09FifoHigh = 0x09;   // bits 3-0: high threshold
inline constexpr uint8_t kSr0APitchHigh = 0x0A;  // bits 7-4: row offset bits 11-8
inline constexpr uint8_t kSr0BPixelPipe = 0x0B;
inline constexpr uint8_t kSr0CBusConfig = 0x0C;  // strapped: bus width
inline constexpr uint8_t kSr0DStraps = 0x0D;     // bit 0: memory configuration strap
inline constexpr uint8_t kSr0EOverflow = 0x0E;
inline constexpr uint8_t kSr0EInterlaced = 0x04;
inline constexpr uint8_t kSr0FMemorySize = 0x0F;     // bits 7-2: refresh of 640, 800, 1024
inline constexpr uint8_t kSr10MemoryConfig = 0x10;   // bits 3-2: refresh of 1280
inline constexpr uint8_t kSr13MclkPost = 0x13;       // bit 7: post-divider doubled
inline constexpr uint8_t kSr14PointerColor0 = 0x14;  // SR14-SR16: red, green, blue
inline constexpr uint8_t kSr17PointerColor1 = 0x17;  // SR17-SR19
inline constexpr uint8_t kSr1APointerXLow = 0x1A;
inline constexpr uint8_t kSr1BPointerXHigh = 0x1B;
inline constexpr uint8_t kSr1CPointerHiddenColumns = 0x1C;
inline constexpr uint8_t kSr1DPointerYLow = 0x1D;
inline constexpr uint8_t kSr1EPointerYHigh = 0x1E;  // bits 7-4: odd field
inline constexpr uint8_t kSr1FPointerHiddenRows = 0x1F;
inline constexpr uint8_t kSr20ApertureLow = 0x20;   // base bits 26-19
inline constexpr uint8_t kSr21ApertureHigh = 0x21;  // bits 4-0: base bits 31-27
inline constexpr uint8_t kSr23MemoryType = 0x23;
inline constexpr uint8_t kSr25Refresh85Hz = 0x25;
inline constexpr uint8_t kSr27PitchClass = 0x27;
inline constexpr uint8_t kSr28MclkNumerator = 0x28;
inline constexpr uint8_t kSr29MclkDenominator = 0x29;
inline constexpr uint8_t kSr2FMemoryBanks = 0x2F;
inline constexpr uint8_t kSr33MemoryKind = 0x33;
inline constexpr uint8_t kSr35RetraceSync = 0x35;
inline constexpr uint8_t kSr36Refresh1600 = 0x36;
inline constexpr uint8_t kSr37RefreshIndex = 0x37;
inline constexpr uint8_t kSr37ByIndex = 0x80;
inline constexpr uint8_t kSr38PointerBlock = 0x38;   // bits 7-4: block bits 3-0
inline constexpr uint8_t kSr3EMartenControl = 0x3E;  // bit 2: pointer block bit 4
inline constexpr uint8_t kSr3FFifoControl = 0x3F;    // bit 2: low threshold bit 4

class Extensions {
 public:
  // powerOn: values of SR05 to SRFF, indexed by register number. absent:
  // the chip has no such bank, and the key never opens it.
  explicit Extensions(const std::array<uint8_t, 256>& powerOn, bool absent = false)
      : regs_(powerOn), absent_(absent) {}

  // Bus view of SR05 and above: 0 and read-only while locked. A write
  // changes only the register's writable bits (see extensions.cpp).
  uint8_t ReadSeq(uint8_t index) const;
  void WriteSeq(uint8_t index, uint8_t value);
  // The register as stored; SR05 gives what a read would.
  uint8_t Stored(uint8_t index) const;
  // Every register as stored (SR05 as written: Stored gives its read-back).
  const std::array<uint8_t, 256>& Registers() const { return regs_; }
  bool Unlocked() const { return unlocked_; }

  uint8_t BankSelect() const { return bankSelect_; }
  void WriteBankSelect(uint8_t value) { bankSelect_ = value; }

  uint8_t KeyPort() const { return key_; }
  void WriteKeyPort(uint8_t value) { key_ = value; }
  uint8_t ModeKey() const { return modeKey_; }
  void WriteModeKey(uint8_t value) { modeKey_ = value; }

  // Where the linear aperture answers, while SR06 bit 7 is set.
  std::optional<uint32_t> ApertureBase() const;
  bool operator==(const Extensions&) const = default;

 private:
  std::array<uint8_t, 256> regs_;
  bool absent_;
  bool unlocked_ = false;
  uint8_t bankSelect_ = 0;
  uint8_t key_ = 0;
  uint8_t modeKey_ = 0;
};

}  // namespace sim::zel
