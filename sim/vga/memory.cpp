#include "sim/vga/memory.h"

#include "sim/vga/graphics.h"
#include "sim/vga/sequencer.h"

namespace sim::vga {

namespace {

constexpr uint8_t kGr05WriteMode = 0x03;
constexpr uint8_t kGr05ReadMode1 = 0x08;
constexpr uint8_t kGr05OddEvenReads = 0x10;
constexpr uint8_t kGr06ChainOddEven = 0x02;

// Where one CPU byte lands: a planar offset and the planes it may touch.
struct Target {
  uint32_t offset;
  uint8_t planes;     // writes: planes enabled before the map mask
  uint8_t readPlane;  // read mode 0
};

enum class Addressing { Chain4, OddEven, Planar };

Addressing WriteAddressing(const WindowSetup& s) {
  if (s.memoryMode & kSr04Chain4) return Addressing::Chain4;
  if (!(s.memoryMode & kSr04OddEvenOff)) return Addressing::OddEven;
  return Addressing::Planar;
}

Addressing ReadAddressing(const WindowSetup& s) {
  if (s.memoryMode & kSr04Chain4) return Addressing::Chain4;
  if (s.gc[kGr05Mode] & kGr05OddEvenReads) return Addressing::OddEven;
  return Addressing::Planar;
}

// GR06 bit 1 (chain odd/even) replaces processor address bit 0 by a
// higher-order bit: A16, the page of the 128 KB map (0 in the 64 KB and
// 32 KB maps). Bit 0 then only picks the map, as SR04 bit 2 (writes) and
// GR05 bit 4 (reads) decide; a character and its attribute share an offset.
uint32_t PlaneAddress(uint32_t a, bool chainOddEven) {
  return chainOddEven ? (a & 0xFFFEu) | ((a >> 16) & 1u) : a;
}

Target Locate(Addressing mode, uint32_t a, uint8_t bank, uint8_t readMapSelect, uint8_t gr06) {
  const uint32_t o = PlaneAddress(a, (gr06 & kGr06ChainOddEven) != 0);
  switch (mode) {
    case Addressing::Chain4: {
      const uint32_t packed = a + bank * kBankUnit;
      return {packed >> 2, static_cast<uint8_t>(1u << (packed & 3)),
              static_cast<uint8_t>(packed & 3)};
    }
    case Addressing::OddEven:
      // Even addresses reach planes 0 and 2, odd ones planes 1 and 3.
      return {o, static_cast<uint8_t>(0x5u << (a & 1)),
              static_cast<uint8_t>((readMapSelect & 2) | (a & 1))};
    case Addressing::Planar:
      break;
  }
  return {o + bank * kBankUnit, 0x0F, static_cast<uint8_t>(readMapSelect & 3)};
}

uint8_t RotateRight(uint8_t value, unsigned count) {
  count &= 7;
  return static_cast<uint8_t>((value >> count) | (value << ((8 - count) & 7)));
}

uint8_t Expand(bool bit) {
  return bit ? 0xFF : 0x00;
}

uint8_t Alu(uint8_t function, uint8_t data, uint8_t latch) {
  switch (function & 3) {
    case 1:
      return data & latch;
    case 2:
      return data | latch;
    case 3:
      return data ^ latch;
    default:
      return data;
  }
}

}  // namespace

std::optional<uint32_t> Memory::WindowOffset(uint32_t physical, uint8_t gr06) {
  struct Map {
    uint32_t start, length;
  };
  static constexpr std::array<Map, 4> kMaps = {Map{0xA0000, 0x20000}, Map{0xA0000, 0x10000},
                                               Map{0xB0000, 0x8000}, Map{0xB8000, 0x8000}};
  const Map& map = kMaps[(gr06 >> 2) & 3];
  if (physical < map.start || physical - map.start >= map.length) return std::nullopt;
  return physical - map.start;
}

uint8_t Memory::Read(uint32_t offset, const WindowSetup& s, std::span<const uint8_t> vram) {
  const Target t = Locate(ReadAddressing(s), offset, s.bankSelect >> 4, s.gc[kGr04ReadMapSelect],
                          s.gc[kGr06Misc]);
  const uint64_t base = uint64_t{t.offset} * 4;
  const bool installed = base + 4 <= vram.size();
  for (size_t p = 0; p < 4; ++p)
    latches_[p] = installed ? vram[base + p] : 0xFF;
  if (!(s.gc[kGr05Mode] & kGr05ReadMode1)) return latches_[t.readPlane];

  // Colour compare: a bit is 1 where every plane that counts matches GR02.
  uint8_t differ = 0;
  for (unsigned p = 0; p < 4; ++p) {
    if (!(s.gc[kGr07ColorDontCare] & (1u << p))) continue;
    differ |= latches_[p] ^ Expand(s.gc[kGr02ColorCompare] & (1u << p));
  }
  return static_cast<uint8_t>(~differ);
}

void Memory::Write(uint32_t offset, uint8_t value, const WindowSetup& s, std::span<uint8_t> vram) {
  const Target t = Locate(WriteAddressing(s), offset, s.bankSelect & 0x0F, 0, s.gc[kGr06Misc]);
  const uint8_t planes = t.planes & s.mapMask & 0x0F;
  const uint8_t writeMode = s.gc[kGr05Mode] & kGr05WriteMode;
  const uint8_t function = (s.gc[kGr03DataRotate] >> 3) & 3;
  const uint8_t rotated = RotateRight(value, s.gc[kGr03DataRotate]);
  const uint8_t setReset = s.gc[kGr00SetReset];
  uint8_t bitMask = s.gc[kGr08BitMask];
  if (writeMode == 3) bitMask &= rotated;

  for (unsigned p = 0; p < 4; ++p) {
    if (!(planes & (1u << p))) continue;
    const uint64_t at = uint64_t{t.offset} * 4 + p;
    if (at >= vram.size()) continue;
    uint8_t result;
    if (writeMode == 1) {
      result = latches_[p];
    } else {
      uint8_t data;
      if (writeMode == 0) {
        data = (s.gc[kGr01EnableSetReset] & (1u << p)) ? Expand(setReset & (1u << p)) : rotated;
      } else if (writeMode == 2) {
        data = Expand(value & (1u << p));
      } else {
        data = Expand(setReset & (1u << p));
      }
      const uint8_t alu = Alu(function, data, latches_[p]);
      result = static_cast<uint8_t>((alu & bitMask) | (latches_[p] & ~bitMask));
    }
    vram[at] = result;
  }
}

}  // namespace sim::vga
