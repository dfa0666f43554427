// The platform's video control codes by name, so that a script can say
// QUERY_AVAIL_MODES instead of 0x230400.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zelctl {

struct IoctlName {
  std::string_view name;  // without the IOCTL_VIDEO_ prefix
  uint32_t code;
};

// Every IOCTL_VIDEO_ code of miniport/videoport.h, in code order.
std::span<const IoctlName> IoctlNames();

// A name with or without the IOCTL_VIDEO_ prefix, in any letter case.
std::optional<uint32_t> IoctlCodeByName(std::string_view name);

// A control code as a number or a name; throws ScriptError otherwise.
uint32_t ParseIoctlCode(std::string_view text);

}  // namespace zelctl
