// PNG output through stb_image_write (Debian's libstb-dev).
#include <cstdint>
#include <vector>

#include "sim/screen/screen.h"

#include <stb/stb_image_write.h>

namespace sim::screen {

bool WritePng(const Image& image, const std::string& path) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<size_t>(image.width) * image.height) {
    return false;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(image.rgb.size() * 3);
  for (const uint32_t pixel : image.rgb) {
    bytes.push_back(static_cast<uint8_t>(pixel >> 16));
    bytes.push_back(static_cast<uint8_t>(pixel >> 8));
    bytes.push_back(static_cast<uint8_t>(pixel));
  }
  return stbi_write_png(path.c_str(), image.width, image.height, 3, bytes.data(),
                        image.width * 3) != 0;
}

}  // namespace sim::screen
