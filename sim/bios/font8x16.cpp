#include "sim/bios/font8x16.h"

#include <array>

namespace sim::bios {
namespace {

constexpr std::array<uint8_t, 256 * kGlyphRows> kFont = {
#include "sim/bios/font8x16.inc"
};

}  // namespace

std::span<const uint8_t, kGlyphRows> Glyph(uint8_t code) {
  return std::span<const uint8_t, kGlyphRows>(kFont.data() + code * kGlyphRows, kGlyphRows);
}

}  // namespace sim::bios
