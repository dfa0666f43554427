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
  std::vector<uint8_t> bytes(image.rgb.size() * 3);
  uint8_t* to = bytes.data();
  for (const uint32_t pixel : image.rgb) {
    *to++ = static_cast<uint8_t>(pixel >> 16);
    *to++ = static_cast<uint8_t>(pixel >> 8);
    *to++ = static_cast<uint8_t>(pixel);
  }
  // One filter for every line (the difference to the left, which leaves a
  // flat screen's lines as runs of zeros) and the encoder's shortest match
  // search: the tests write screenshots by the dozen.
  stbi_write_force_png_filter = 1;
  stbi_write_png_compression_level = 5;
  return stbi_write_png(path.c_str(), image.width, image.height, 3, bytes.data(),
                        image.width * 3) != 0;
}

}  // namespace sim::screen
