// How zelctl prints what it finds: registers, byte runs, registry values and
// the mode list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "miniport/videoport.h"

namespace zelctl {

// "0x" and exactly `digits` lowercase hex digits: Hex(0x3c4, 4) is "0x03c4".
std::string Hex(uint32_t value, int digits);

// `value` with exactly `decimals` digits after the point: Fixed(37.679, 2) is "37.68".
std::string Fixed(double value, int decimals);

// Lowercase hex pairs without separators.
std::string HexBytes(std::span<const uint8_t> bytes);

// The text of a registry string, when the data is one: printable characters
// followed by exactly one terminating NUL ('"' and '\\' escaped).
std::optional<std::string> RegistryText(std::span<const uint8_t> data);

// One registry value as the driver stored it:
//   NAME = "TEXT" (N bytes)          a NUL-terminated string of 16-bit characters
//   NAME = 0xNNNNNNNN (4 bytes)      anything else of 4 bytes, a little-endian number
//   NAME = bytes:HEX (N bytes)       anything else
std::string RegistryLine(std::u16string_view name, std::span<const uint8_t> data);

// The mode records of IOCTL_VIDEO_QUERY_AVAIL_MODES as a table for a person:
// a heading, then one line per record, each ending in '\n'.
std::string ModesTable(std::span<const VIDEO_MODE_INFORMATION> modes);

}  // namespace zelctl
