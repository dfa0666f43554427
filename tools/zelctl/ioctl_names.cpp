#include "tools/zelctl/ioctl_names.h"

#include <string>

#include "miniport/videoport.h"
#include "tools/zelctl/parse.h"

namespace zelctl {
namespace {

#define ZEL_IOCTL(name) \
  { #name, IOCTL_VIDEO_##name }
constexpr IoctlName kNames[] = {
    ZEL_IOCTL(ENABLE_VDM),
    ZEL_IOCTL(DISABLE_VDM),
    ZEL_IOCTL(REGISTER_VDM),
    ZEL_IOCTL(SAVE_HARDWARE_STATE),
    ZEL_IOCTL(RESTORE_HARDWARE_STATE),
    ZEL_IOCTL(QUERY_AVAIL_MODES),
    ZEL_IOCTL(QUERY_NUM_AVAIL_MODES),
    ZEL_IOCTL(QUERY_CURRENT_MODE),
    ZEL_IOCTL(SET_CURRENT_MODE),
    ZEL_IOCTL(RESET_DEVICE),
    ZEL_IOCTL(LOAD_AND_SET_FONT),
    ZEL_IOCTL(SET_PALETTE_REGISTERS),
    ZEL_IOCTL(SET_COLOR_REGISTERS),
    ZEL_IOCTL(ENABLE_CURSOR),
    ZEL_IOCTL(DISABLE_CURSOR),
    ZEL_IOCTL(SET_CURSOR_ATTR),
    ZEL_IOCTL(QUERY_CURSOR_ATTR),
    ZEL_IOCTL(SET_CURSOR_POSITION),
    ZEL_IOCTL(QUERY_CURSOR_POSITION),
    ZEL_IOCTL(ENABLE_POINTER),
    ZEL_IOCTL(DISABLE_POINTER),
    ZEL_IOCTL(SET_POINTER_ATTR),
    ZEL_IOCTL(QUERY_POINTER_ATTR),
    ZEL_IOCTL(SET_POINTER_POSITION),
    ZEL_IOCTL(QUERY_POINTER_POSITION),
    ZEL_IOCTL(QUERY_POINTER_CAPABILITIES),
    ZEL_IOCTL(GET_BANK_SELECT_CODE),
    ZEL_IOCTL(MAP_VIDEO_MEMORY),
    ZEL_IOCTL(UNMAP_VIDEO_MEMORY),
    ZEL_IOCTL(QUERY_PUBLIC_ACCESS_RANGES),
    ZEL_IOCTL(FREE_PUBLIC_ACCESS_RANGES),
    ZEL_IOCTL(QUERY_COLOR_CAPABILITIES),
    ZEL_IOCTL(SHARE_VIDEO_MEMORY),
    ZEL_IOCTL(UNSHARE_VIDEO_MEMORY),
};
#undef ZEL_IOCTL

constexpr std::string_view kPrefix = "IOCTL_VIDEO_";

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::span<const IoctlName> IoctlNames() {
  return kNames;
}

std::optional<uint32_t> IoctlCodeByName(std::string_view name) {
  if (name.size() > kPrefix.size() && SameIgnoringCase(name.substr(0, kPrefix.size()), kPrefix)) {
    name.remove_prefix(kPrefix.size());
  }
  for (const IoctlName& entry : kNames) {
    if (SameIgnoringCase(entry.name, name)) return entry.code;
  }
  return std::nullopt;
}

uint32_t ParseIoctlCode(std::string_view text) {
  if (!text.empty() && IsDigit(text[0])) {
    return static_cast<uint32_t>(ParseNumber(text, "control code", 0xFFFFFFFF));
  }
  if (const auto code = IoctlCodeByName(text)) return *code;
  throw ScriptError("unknown control code '" + std::string(text) + "'");
}

}  // namespace zelctl
