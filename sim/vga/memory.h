// The CPU side of VGA display memory: the 0xA0000-0xBFFFF window as GR06
// maps it, chain-4 / odd-even / planar addressing and chain odd/even, the
// four latches, write modes 0-3 and read modes 0-1. Plane p, offset o is byte 4*o + p of video
// memory; the memory itself belongs to the adapter.
//
// The registers are worked out once into a WindowLogic, for one access or
// for a whole span of them; a span goes through exactly the per-byte steps,
// one byte after the other, with shortcuts only where the logic makes them
// give the same bytes (a plain store, a plane read as it is).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/vga/video_memory.h"

namespace sim::vga {

inline constexpr uint32_t kBankUnit = 0x10000;

// What the window logic reads from the other devices for one access.
struct WindowSetup {
  bool ramEnabled = true;  // misc output bit 1
  uint8_t mapMask = 0;     // SR02
  uint8_t memoryMode = 0;  // SR04
  std::array<uint8_t, 9> gc{};
  uint8_t bankSelect = 0;  // 0x3CD: bits 3-0 write bank, bits 7-4 read bank
};

enum class Addressing : uint8_t { Chain4, OddEven, Planar };

// One register setting of the window, resolved: how an offset reaches the
// planes and what a byte goes through on the way.
struct WindowLogic {
  uint32_t windowStart = 0, windowLength = 0;  // physical, as GR06 maps it
  // Misc output bit 1 clear: the VGA makes no memory cycle, so writes are
  // lost, reads float to 0xFF and the latches keep what they hold.
  bool ramEnabled = true;
  bool chainOddEven = false;  // GR06 bit 1
  Addressing readAddressing = Addressing::Planar;
  Addressing writeAddressing = Addressing::Planar;
  uint8_t readBank = 0, writeBank = 0;
  uint8_t readMapSelect = 0;
  bool colorCompare = false;  // read mode 1
  uint8_t colorDontCare = 0, compareColor = 0;
  uint8_t mapMask = 0;  // planes writes may reach
  uint8_t writeMode = 0;
  uint8_t function = 0;
  uint8_t rotate = 0;
  uint8_t setReset = 0, enableSetReset = 0, bitMask = 0;
  // Write mode 0 in which every plane the map mask enables takes the CPU
  // byte as it is: no set/reset there, no rotation, no logical function,
  // every bit through the bit mask.
  bool plainWrites = false;
};

WindowLogic Resolve(const WindowSetup& setup);

// Where one CPU byte lands: a planar offset and the planes it may touch.
struct Target {
  uint32_t offset;
  uint8_t planes;     // writes: planes enabled before the map mask
  uint8_t readPlane;  // read mode 0
};

// GR06 bit 1 (chain odd/even) replaces processor address bit 0 by a
// higher-order bit: A16, the page of the 128 KB map (0 in the 64 KB and
// 32 KB maps). Bit 0 then only picks the map, as SR04 bit 2 (writes) and
// GR05 bit 4 (reads) decide; a character and its attribute share an offset.
[[gnu::always_inline]] inline uint32_t PlaneAddress(uint32_t a, bool chainOddEven) {
  return chainOddEven ? (a & 0xFFFEu) | ((a >> 16) & 1u) : a;
}

[[gnu::always_inline]] inline Target Locate(Addressing mode, uint32_t a, uint8_t bank,
                                            uint8_t readMapSelect, bool chainOddEven) {
  const uint32_t o = PlaneAddress(a, chainOddEven);
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

class Memory {
 public:
  // The offset within the window that answers at `physical`, if any.
  static std::optional<uint32_t> WindowOffset(uint32_t physical, uint8_t gr06);

  uint8_t Read(uint32_t offset, const WindowLogic& logic, const VideoMemory& vram);
  [[gnu::always_inline]] void Write(uint32_t offset, uint8_t value, const WindowLogic& logic,
                                    VideoMemory& vram) {
    if (!logic.ramEnabled) return;
    const Target t = Locate(logic.writeAddressing, offset, logic.writeBank, 0, logic.chainOddEven);
    // A plain store into installed memory: the enabled planes take the byte.
    if (logic.plainWrites && t.offset < vram.Size() / 4) {
      vram.StorePlanes(t.offset * 4, t.planes & logic.mapMask, value);
      return;
    }
    WritePlanes(t, value, logic, vram);
  }

  // Consecutive window offsets from `offset` on, as that many byte accesses
  // in order (the latches end as the last read leaves them). The span stays
  // inside the window.
  void Read(uint32_t offset, std::span<uint8_t> out, const WindowLogic& logic,
            const VideoMemory& vram);
  void Write(uint32_t offset, std::span<const uint8_t> bytes, const WindowLogic& logic,
             VideoMemory& vram);
  void Fill(uint32_t offset, uint32_t length, uint8_t value, const WindowLogic& logic,
            VideoMemory& vram);

  const std::array<uint8_t, 4>& Latches() const { return latches_; }
  bool operator==(const Memory&) const = default;

 private:
  void WritePlanes(Target target, uint8_t value, const WindowLogic& logic, VideoMemory& vram);
  template <typename Source>
  void WriteSpan(uint32_t offset, uint32_t length, Source source, const WindowLogic& logic,
                 VideoMemory& vram);
  void LoadLatches(uint32_t group, const VideoMemory& vram);
  uint8_t Answer(uint8_t readPlane, const WindowLogic& logic) const;

  std::array<uint8_t, 4> latches_{};
};

}  // namespace sim::vga
