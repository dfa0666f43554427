#include "sim/bios/palettes.h"

#include <cstdint>

namespace sim::bios {

std::array<Rgb, 64> EgaPalette() {
  std::array<Rgb, 64> p{};
  for (unsigned i = 0; i < 64; ++i) {
    // Bits 2-0 are the primary colour at 2/3 intensity, bits 5-3 add 1/3.
    auto level = [i](unsigned primary, unsigned secondary) {
      return static_cast<uint8_t>(((i >> primary) & 1) * 0x2A + ((i >> secondary) & 1) * 0x15);
    };
    p[i] = Rgb{level(2, 5), level(1, 4), level(0, 3)};
  }
  return p;
}

std::array<Rgb, 256> Default256Palette() {
  std::array<Rgb, 256> p{};
  constexpr uint8_t kCga[16][3] = {
      {0x00, 0x00, 0x00}, {0x00, 0x00, 0x2A}, {0x00, 0x2A, 0x00}, {0x00, 0x2A, 0x2A},
      {0x2A, 0x00, 0x00}, {0x2A, 0x00, 0x2A}, {0x2A, 0x15, 0x00}, {0x2A, 0x2A, 0x2A},
      {0x15, 0x15, 0x15}, {0x15, 0x15, 0x3F}, {0x15, 0x3F, 0x15}, {0x15, 0x3F, 0x3F},
      {0x3F, 0x15, 0x15}, {0x3F, 0x15, 0x3F}, {0x3F, 0x3F, 0x15}, {0x3F, 0x3F, 0x3F},
  };
  constexpr uint8_t kGrey[16] = {0x00, 0x05, 0x08, 0x0B, 0x0E, 0x11, 0x14, 0x18,
                                 0x1C, 0x20, 0x24, 0x28, 0x2D, 0x32, 0x38, 0x3F};
  // Five levels from the wheel's floor to its peak, per intensity and saturation.
  constexpr uint8_t kLevels[9][5] = {
      {0x00, 0x10, 0x1F, 0x2F, 0x3F}, {0x1F, 0x27, 0x2F, 0x37, 0x3F},
      {0x2D, 0x31, 0x36, 0x3A, 0x3F}, {0x00, 0x07, 0x0E, 0x15, 0x1C},
      {0x0E, 0x11, 0x15, 0x18, 0x1C}, {0x14, 0x16, 0x18, 0x1A, 0x1C},
      {0x00, 0x04, 0x08, 0x0C, 0x10}, {0x08, 0x0A, 0x0C, 0x0E, 0x10},
      {0x0B, 0x0C, 0x0D, 0x0F, 0x10},
  };
  // The wheel from blue through magenta, red, yellow, green and cyan, as
  // level numbers of (r, g, b).
  constexpr uint8_t kWheel[24][3] = {
      {0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3}, {4, 0, 2}, {4, 0, 1},
      {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0},
      {0, 4, 0}, {0, 4, 1}, {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4},
  };
  for (unsigned i = 0; i < 16; ++i)
    p[i] = Rgb{kCga[i][0], kCga[i][1], kCga[i][2]};
  for (unsigned i = 0; i < 16; ++i)
    p[16 + i] = Rgb{kGrey[i], kGrey[i], kGrey[i]};
  for (unsigned w = 0; w < 9; ++w) {
    for (unsigned h = 0; h < 24; ++h) {
      const auto& l = kLevels[w];
      p[32 + w * 24 + h] = Rgb{l[kWheel[h][0]], l[kWheel[h][1]], l[kWheel[h][2]]};
    }
  }
  return p;  // 248-255 stay black
}

}  // namespace sim::bios
