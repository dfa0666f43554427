// The adapter profile: plain settings from which the simulated Zel adapter
// takes its power-on register contents, option ROM and PCI configuration.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Deliberate departures from a working Zel adapter, so that every refusal of
// the driver's VGA presence test and chip identification can be reached.
struct Defects {
  bool graphicsIndexMasked = false;     // GR index reads back with its low nibble cleared
  bool graphicsIndexThreeBits = false;  // GR index holds bits 2-0 only: index 8 selects GR00
  uint8_t bitMaskStuckLow = 0;          // GR08 bits that always read 0
  bool graphicsDataNotIndexed = false;  // every GR index reaches one data register
  bool sequencerIndexMasked = false;    // SR index reads back with its low 3 bits cleared
  bool chain4Stuck = false;             // SR04 bit 3 cannot change
  bool zelBankAbsent = false;           // a VGA of another make: SR05 never opens SR06 and up
};

struct Profile {
  uint8_t revision = 0x1A;        // PCI revision ID: 0x1A is a Zel B1
  uint32_t memoryMB = 4;          // 1, 2, 4 or 8
  uint32_t busWidth = 64;         // 32 or 64
  uint8_t memoryType = 2;         // 0 to 3
  uint32_t memoryClockMHz = 100;  // with strap 1: 66, 75, 83 or 100
  uint8_t strap = 0;              // SR0D bit 0
  uint32_t romKB = 32;            // option ROM size
  uint8_t pciBus = 1;
  uint8_t pciDevice = 0;
  bool onPciBus = true;         // false: no configuration space answers
  uint32_t bar0 = 0xE0000008;   // raw first base address register
  uint16_t romVendor = 0x1F4B;  // IDs in the ROM's PCI data structure
  uint16_t romDevice = 0x7A52;
  std::optional<uint16_t> romPcirOffset;  // ROM bytes 0x18-0x19; default just after the header
  bool sr10Bit6 = false;
  uint32_t ramTop = 0x04000000;  // system RAM from 0 up to here
  // The machine has an EISA bus: the video port calls find-adapter for the
  // Eisa registration too (the adapter's legacy VGA addresses answer there).
  bool eisaBus = false;
  std::map<uint8_t, uint8_t> seqOverrides;  // raw power-on values of extended SRs
  // The option ROM byte for byte, instead of the one built from the
  // settings above (romKB, romVendor, romDevice, romPcirOffset).
  std::optional<std::vector<uint8_t>> romImage;
  Defects defects;

  static Profile Default() { return Profile{}; }
};

// What the profile means for the chip at power-on.
struct PowerOnState {
  uint32_t videoMemoryBytes = 0;
  std::array<uint8_t, 256> extendedSeq{};  // power-on values of SR05..SRFF (index = SR number)
  std::vector<uint8_t> optionRom;          // image mapped at 0xC0000
  std::array<uint8_t, 256> pciConfig{};    // the adapter's configuration space
  Defects defects;
};

// Throws std::invalid_argument naming the setting when the profile cannot be
// encoded (an unsupported memory size, a clock no synthesizer setting gives).
PowerOnState DerivePowerOn(const Profile& profile);

}  // namespace sim
