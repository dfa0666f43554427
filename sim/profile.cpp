// From the plain settings of a Profile to what the chip holds at power-on:
// the strap and configuration registers, the option ROM image and the PCI
// configuration space.
#include "sim/profile.h"

#include <stdexcept>
#include <string>

namespace sim {
namespace {

// Extended sequencer registers with a meaning at power-on.
constexpr uint8_t kSr0C_BusWidth = 0x0C;
constexpr uint8_t kSr0D_Strap = 0x0D;
constexpr uint8_t kSr0F_MemorySize = 0x0F;
constexpr uint8_t kSr10_Config = 0x10;
constexpr uint8_t kSr13_ClockPostScale = 0x13;
constexpr uint8_t kSr23_MemoryType = 0x23;
constexpr uint8_t kSr28_ClockNumerator = 0x28;
constexpr uint8_t kSr29_ClockDivider = 0x29;
constexpr uint8_t kSr33_MemoryType = 0x33;
constexpr uint8_t kSr37_RefreshSelect = 0x37;

constexpr uint32_t kReferenceKHz = 14318;  // the 14.318 MHz crystal

[[noreturn]] void Refuse(const std::string& setting, uint32_t value, const std::string& why) {
  throw std::invalid_argument("profile " + setting + " = " + std::to_string(value) + ": " + why);
}

struct ClockSetting {
  uint8_t sr28, sr29, sr13;
};

// What the memory clock synthesizer runs at for a register setting, rounded
// to whole MHz the way the driver reads it.
uint32_t SynthesizerMHz(const ClockSetting& s) {
  const uint32_t n = ((s.sr28 & 0x7Fu) + 1) << ((s.sr28 >> 7) & 1);
  const uint32_t d = (s.sr29 & 0x1Fu) + 1;
  const uint32_t p = (((s.sr29 >> 5) & 0x3u) + 1) << ((s.sr13 >> 7) & 1);
  const uint32_t kHz = n * kReferenceKHz / (p * d);
  return (kHz + 500) / 1000;
}

// Finds a synthesizer setting for `mhz`. A real synthesizer's phase detector
// wants the divided reference between about 1 and 3 MHz (D = 5 to 14), so
// those settings come first; within them the fewest post-dividers, then the
// smallest D and N. Only when nothing there fits is the rest of the register
// space searched.
std::optional<ClockSetting> FindClockSetting(uint32_t mhz) {
  auto search = [mhz](uint32_t dLow, uint32_t dHigh) -> std::optional<ClockSetting> {
    for (uint8_t sr13 : {0x00, 0x80}) {
      for (uint32_t post = 0; post < 4; ++post) {
        for (uint8_t doubler : {0x00, 0x80}) {
          for (uint32_t d = dLow; d <= dHigh; ++d) {
            for (uint32_t n = 0; n < 0x80; ++n) {
              const ClockSetting s{static_cast<uint8_t>(doubler | n),
                                   static_cast<uint8_t>((post << 5) | (d - 1)), sr13};
              if (SynthesizerMHz(s) == mhz) return s;
            }
          }
        }
      }
    }
    return std::nullopt;
  };
  if (auto preferred = search(5, 14)) return preferred;
  return search(1, 32);
}

void EncodeMemoryClock(const Profile& p, std::array<uint8_t, 256>& sr) {
  if (p.strap == 1) {
    switch (p.memoryClockMHz) {
      case 66:
        break;  // code 0
      case 75:
        sr[kSr10_Config] |= 0x01;
        break;
      case 83:
        sr[kSr10_Config] |= 0x02;
        break;
      case 100:
        sr[kSr10_Config] |= 0x03;
        break;
      default:
        Refuse("memoryClockMHz", p.memoryClockMHz, "strap 1 gives only 66, 75, 83 or 100");
    }
    return;
  }
  if (p.memoryClockMHz == 0) Refuse("memoryClockMHz", 0, "a memory clock cannot be 0");
  const auto setting = FindClockSetting(p.memoryClockMHz);
  if (!setting) Refuse("memoryClockMHz", p.memoryClockMHz, "no synthesizer setting gives it");
  sr[kSr28_ClockNumerator] = setting->sr28;
  sr[kSr29_ClockDivider] = setting->sr29;
  sr[kSr13_ClockPostScale] = setting->sr13;
}

std::array<uint8_t, 256> DeriveExtendedSeq(const Profile& p) {
  std::array<uint8_t, 256> sr{};  // everything the chip does not strap comes up 0

  switch (p.memoryMB) {
    case 1:
      sr[kSr0F_MemorySize] = 0x00;
      break;
    case 2:
      sr[kSr0F_MemorySize] = 0x01;
      break;
    case 4:
      sr[kSr0F_MemorySize] = 0x02;
      break;
    // 8 MB has no SR0F code of its own; SR10 bit 7 overrides SR0F.
    case 8:
      sr[kSr0F_MemorySize] = 0x02;
      sr[kSr10_Config] |= 0x80;
      break;
    default:
      Refuse("memoryMB", p.memoryMB, "must be 1, 2, 4 or 8");
  }

  switch (p.busWidth) {
    case 32:
      sr[kSr0C_BusWidth] = 0x00;
      break;
    case 64:
      sr[kSr0C_BusWidth] = 0x02;
      break;
    default:
      Refuse("busWidth", p.busWidth, "must be 32 or 64");
  }

  switch (p.memoryType) {
    case 0:
      break;
    case 1:
      sr[kSr23_MemoryType] |= 0x20;
      break;
    case 2:
      sr[kSr33_MemoryType] |= 0x08;
      break;
    case 3:
      sr[kSr33_MemoryType] |= 0x01;
      break;
    default:
      Refuse("memoryType", p.memoryType, "must be 0 to 3");
  }

  if (p.strap > 1) Refuse("strap", p.strap, "must be 0 or 1");
  sr[kSr0D_Strap] = p.strap;
  EncodeMemoryClock(p, sr);

  if (p.sr10Bit6) sr[kSr10_Config] |= 0x40;
  sr[kSr37_RefreshSelect] = 0x80;  // refresh chosen by index

  for (const auto& [index, value] : p.seqOverrides) {
    if (index < 0x05) Refuse("seqOverrides index", index, "SR00-SR04 are not extended registers");
    sr[index] = value;
  }
  return sr;
}

// ---- option ROM

constexpr uint16_t kDefaultPcirOffset = 0x40;
constexpr uint32_t kInitCodeOffset = 0x60;
constexpr uint32_t kPcirLength = 0x18;

void Put16(std::vector<uint8_t>& image, uint32_t offset, uint16_t value) {
  image[offset] = value & 0xFF;
  image[offset + 1] = value >> 8;
}

std::vector<uint8_t> BuildOptionRom(const Profile& p) {
  if (p.romKB == 0) return {};  // no ROM on the card
  if (p.romKB > 127) Refuse("romKB", p.romKB, "the ROM header counts at most 255 blocks");
  std::vector<uint8_t> image(p.romKB * 1024, 0x00);
  const uint32_t blocks = p.romKB * 2;

  // The initialisation entry: a short jump to a far return.
  image[kInitCodeOffset] = 0xCB;  // retf
  image[3] = 0xEB;                // jmp short
  image[4] = kInitCodeOffset - 5;
  const char banner[] = "Zel Video BIOS";
  for (uint32_t i = 0; banner[i] != 0 && 0x70 + i < image.size(); ++i)
    image[0x70 + i] = banner[i];

  // The PCI data structure, as far as it lies inside the image.
  const uint16_t pcir = p.romPcirOffset.value_or(kDefaultPcirOffset);
  uint8_t structure[kPcirLength] = {'P', 'C', 'I', 'R'};
  auto set16 = [&structure](uint32_t at, uint16_t v) {
    structure[at] = v & 0xFF;
    structure[at + 1] = v >> 8;
  };
  set16(0x04, p.romVendor);
  set16(0x06, p.romDevice);
  set16(0x08, 0x0000);  // no vital product data
  set16(0x0A, kPcirLength);
  structure[0x0C] = 0x00;  // structure revision
  structure[0x0D] = 0x00;  // class code 0x030000: VGA-compatible display
  structure[0x0E] = 0x00;
  structure[0x0F] = 0x03;
  set16(0x10, blocks);
  set16(0x12, 0x0001);     // code revision
  structure[0x14] = 0x00;  // x86 code
  structure[0x15] = 0x80;  // the last image
  for (uint32_t i = 0; i < kPcirLength; ++i) {
    if (pcir + i < image.size()) image[pcir + i] = structure[i];
  }

  // The header wins over a structure placed on top of it.
  image[0] = 0x55;
  image[1] = 0xAA;
  image[2] = static_cast<uint8_t>(blocks);
  Put16(image, 0x18, pcir);

  image.back() = 0;
  uint8_t sum = 0;
  for (uint8_t b : image)
    sum += b;
  image.back() = static_cast<uint8_t>(0x100 - sum);
  return image;
}

// ---- PCI configuration space

std::array<uint8_t, 256> BuildPciConfig(const Profile& p) {
  std::array<uint8_t, 256> cfg{};
  auto put16 = [&cfg](uint32_t at, uint16_t v) {
    cfg[at] = v & 0xFF;
    cfg[at + 1] = v >> 8;
  };
  put16(0x00, 0x1F4B);  // vendor
  put16(0x02, 0x7A52);  // device
  put16(0x04, 0x0003);  // command: I/O and memory decoding, as the system BIOS left it
  put16(0x06, 0x0200);  // status: medium DEVSEL timing
  cfg[0x08] = p.revision;
  cfg[0x09] = 0x00;  // class code 0x030000
  cfg[0x0A] = 0x00;
  cfg[0x0B] = 0x03;
  cfg[0x0E] = 0x00;  // header type 0, single function
  for (uint32_t i = 0; i < 4; ++i)
    cfg[0x10 + i] = (p.bar0 >> (8 * i)) & 0xFF;
  put16(0x2C, 0x1F4B);  // subsystem vendor
  put16(0x2E, 0x7A52);  // subsystem
  return cfg;
}

}  // namespace

PowerOnState DerivePowerOn(const Profile& profile) {
  PowerOnState state;
  state.extendedSeq = DeriveExtendedSeq(profile);
  state.videoMemoryBytes = profile.memoryMB * 1024 * 1024;
  state.optionRom = profile.romImage ? *profile.romImage : BuildOptionRom(profile);
  state.pciConfig = BuildPciConfig(profile);
  state.defects = profile.defects;
  return state;
}

}  // namespace sim
