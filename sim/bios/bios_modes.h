// The video BIOS's catalogue of modes and the display timings it programs.
#pragma once

#include <cstdint>
#include <optional>

namespace sim::bios {

// Zel SR07 pixel formats.
enum class PixelFormat : uint8_t {
  Vga = 0x00,  // text and the standard planar path
  Indexed8 = 0x01,
  Rgb555 = 0x02,
  Rgb565 = 0x03,
  Rgb888 = 0x04,
  Xrgb8888 = 0x05,
};

struct GraphicsMode {
  uint8_t number;  // AL of INT 10h function 00h
  uint16_t width;
  uint16_t height;
  uint8_t bitsPerPixel;
  uint16_t stride;  // bytes per scan line the BIOS sets up
  PixelFormat format;
};

std::optional<GraphicsMode> FindGraphicsMode(uint8_t number);

// Only these two widths come in an interlaced (43 Hz) variant.
inline bool HasInterlacedVariant(uint16_t width) {
  return width == 1024 || width == 1280;
}

// Horizontal values in dots, vertical in lines, counted from the first
// visible dot or line; blanking covers everything outside the visible area.
struct Timing {
  uint16_t hTotal, hSyncStart, hSyncEnd;
  uint16_t vTotal, vSyncStart, vSyncEnd;
  bool hSyncNegative, vSyncNegative;
};

Timing TimingFor(uint16_t width, bool interlaced);

}  // namespace sim::bios
