// The picture a monitor would show: the adapter's registers and video memory
// read the way the display hardware scans them out (text through the
// attribute controller and the colour table, packed pixels from video memory
// in the SR07 format, the hardware pointer on top). Nothing here changes the
// adapter or looks at what the driver believes it set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/adapter.h"

namespace sim::screen {

// 0xRRGGBB per pixel, rows top to bottom.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;

  uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

Image RenderScreen(const Adapter& adapter);

// Writes the image as an 8-bit RGB PNG; false when the file cannot be written
// (or the image is empty).
bool WritePng(const Image& image, const std::string& path);

}  // namespace sim::screen
