// The BIOS's 8x16 character set: 256 glyphs in code page 437 order.
#pragma once

#include <cstdint>
#include <span>

namespace sim::bios {

inline constexpr unsigned kGlyphRows = 16;

// Row r of the glyph is byte r, bit 7 the leftmost dot.
std::span<const uint8_t, kGlyphRows> Glyph(uint8_t code);

}  // namespace sim::bios
