#include "sim/bios/bios_modes.h"

#include <array>

namespace sim::bios {
namespace {

using enum PixelFormat;

constexpr std::array<GraphicsMode, 22> kModes = {{
    // number  width  height bpp stride format
    {0x2E, 640, 480, 8, 1024, Indexed8},    {0x30, 800, 600, 8, 1024, Indexed8},
    {0x38, 1024, 768, 8, 1024, Indexed8},   {0x3A, 1280, 1024, 8, 2048, Indexed8},
    {0x3C, 1600, 1200, 8, 2048, Indexed8},  {0x43, 640, 480, 15, 2048, Rgb555},
    {0x46, 800, 600, 15, 2048, Rgb555},     {0x49, 1024, 768, 15, 2048, Rgb555},
    {0x4C, 1280, 1024, 15, 2560, Rgb555},   {0x44, 640, 480, 16, 2048, Rgb565},
    {0x47, 800, 600, 16, 2048, Rgb565},     {0x4A, 1024, 768, 16, 2048, Rgb565},
    {0x4D, 1280, 1024, 16, 2560, Rgb565},   {0x3D, 1600, 1200, 16, 3200, Rgb565},
    {0x45, 640, 480, 24, 1920, Rgb888},     {0x48, 800, 600, 24, 2400, Rgb888},
    {0x4B, 1024, 768, 24, 3072, Rgb888},    {0x62, 640, 480, 32, 2560, Xrgb8888},
    {0x63, 800, 600, 32, 3200, Xrgb8888},   {0x64, 1024, 768, 32, 4096, Xrgb8888},
    {0x65, 1280, 1024, 32, 5120, Xrgb8888}, {0x66, 1600, 1200, 32, 6400, Xrgb8888},
}};

// Monitor timings of the usual 60 Hz modes and the 43 Hz interlaced ones
// (vertical values of the whole frame).
constexpr Timing k640 = {800, 656, 752, 525, 490, 492, true, true};
constexpr Timing k800 = {1056, 840, 968, 628, 601, 605, false, false};
constexpr Timing k1024 = {1344, 1048, 1184, 806, 771, 777, true, true};
constexpr Timing k1024Interlaced = {1264, 1032, 1208, 817, 768, 776, false, false};
constexpr Timing k1280 = {1688, 1328, 1440, 1066, 1025, 1028, false, false};
constexpr Timing k1280Interlaced = {1696, 1344, 1512, 1068, 1025, 1033, false, false};
constexpr Timing k1600 = {2160, 1664, 1856, 1250, 1201, 1204, false, false};

}  // namespace

std::optional<GraphicsMode> FindGraphicsMode(uint8_t number) {
  for (const GraphicsMode& m : kModes) {
    if (m.number == number) return m;
  }
  return std::nullopt;
}

Timing TimingFor(uint16_t width, bool interlaced) {
  switch (width) {
    case 640:
      return k640;
    case 800:
      return k800;
    case 1024:
      return interlaced ? k1024Interlaced : k1024;
    case 1280:
      return interlaced ? k1280Interlaced : k1280;
    default:
      return k1600;
  }
}

}  // namespace sim::bios
