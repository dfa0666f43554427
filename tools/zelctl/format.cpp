#include "tools/zelctl/format.h"

#include <cstdio>
#include <optional>

namespace zelctl {
namespace {

std::string Narrow(std::u16string_view name) {
  std::string narrow;
  for (const char16_t c : name)
    narrow += (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace

std::optional<std::string> RegistryText(std::span<const uint8_t> data) {
  if (data.size() < 4 || data.size() % 2 != 0) return std::nullopt;
  const size_t characters = data.size() / 2 - 1;
  std::string text;
  for (size_t i = 0; i <= characters; ++i) {
    const uint16_t c = static_cast<uint16_t>(data[2 * i] | data[2 * i + 1] << 8);
    if (i == characters) {
      if (c != 0) return std::nullopt;
      break;
    }
    if (c < 0x20 || c > 0x7E) return std::nullopt;
    if (c == '"' || c == '\\') text += '\\';
    text += static_cast<char>(c);
  }
  return text;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

std::string RegistryLine(std::u16string_view name, std::span<const uint8_t> data) {
  const std::string size = " (" + std::to_string(data.size()) + " bytes)";
  std::string line = Narrow(name) + " = ";
  if (const auto text = RegistryText(data)) return line + "\"" + *text + "\"" + size;
  if (data.size() == 4) {
    const uint32_t value =
        static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16) | uint32_t{data[3]} << 24;
    return line + Hex(value, 8) + size;
  }
  return line + "bytes:" + HexBytes(data) + size;
}

std::string ModesTable(std::span<const VIDEO_MODE_INFORMATION> modes) {
  std::string table = "mode  resolution    bpp  refresh           stride\n";
  for (const VIDEO_MODE_INFORMATION& mode : modes) {
    const std::string resolution =
        std::to_string(mode.VisScreenWidth) + " x " + std::to_string(mode.VisScreenHeight);
    // The text modes report no refresh rate of their own.
    std::string refresh = mode.Frequency == 0 ? "-" : std::to_string(mode.Frequency) + " Hz";
    if (mode.AttributeFlags & VIDEO_MODE_INTERLACED) refresh += " interlaced";
    char line[128];
    std::snprintf(line, sizeof line, "%4u  %-12s %4u  %-16s %7u\n", mode.ModeIndex,
                  resolution.c_str(), mode.BitsPerPlane * mode.NumberOfPlanes, refresh.c_str(),
                  mode.ScreenStride);
    table += line;
  }
  return table;
}

}  // namespace zelctl
