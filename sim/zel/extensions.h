// The Zel extensions to the VGA: the extended sequencer registers behind
// the SR05 lock, the bank select register 0x3CD, the key ports 0x3BF and
// 0x3D8/0x3B8, and the decode of the linear aperture.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace sim::zel {

inline constexpr uint8_t kSr05Lock = 0x05;
inline constexpr uint8_t kSr05UnlockKey = 0x86;
inline constexpr uint8_t kSr05ReadsUnlocked = 0xA1;
inline constexpr uint8_t kSr06ApertureEnable = 0x80;
inline constexpr uint8_t kSr20ApertureLow = 0x20;   // base bits 26-19
inline constexpr uint8_t kSr21ApertureHigh = 0x21;  // bits 4-0: base bits 31-27

class Extensions {
 public:
  // powerOn: values of SR05 to SRFF, indexed by register number.
  explicit Extensions(const std::array<uint8_t, 256>& powerOn) : regs_(powerOn) {}

  // Bus view of SR05 and above: 0 and read-only while locked.
  uint8_t ReadSeq(uint8_t index) const;
  void WriteSeq(uint8_t index, uint8_t value);
  // The register as stored; SR05 gives what a read would.
  uint8_t Stored(uint8_t index) const;
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
  bool unlocked_ = false;
  uint8_t bankSelect_ = 0;
  uint8_t key_ = 0;
  uint8_t modeKey_ = 0;
};

}  // namespace sim::zel
