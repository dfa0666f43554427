// The Zel key ports: 0x3BF, then the mode port of the current addressing
// (0x3D8 colour, 0x3B8 mono). Restore opens them before it reloads the
// standard registers and closes them after the attribute controller.
#include "detect/detect.h"
#include "miniport/registers.h"

namespace {

constexpr UCHAR kKeyOpen = 0x03;
constexpr UCHAR kModeKeyOpen = 0xA0;
constexpr UCHAR kKeyClosed = 0x00;

USHORT ModeKeyPort(const VgaDeviceExtension* ext) {
  return CurrentAddressing(ext) == Addressing::Color ? ZEL_MODE_KEY_COLOR : ZEL_MODE_KEY_MONO;
}

}  // namespace

VOID ZelUnlockKeyRegs(VgaDeviceExtension* ext) {
  PortWrite8(ext, ZEL_KEY_PORT, kKeyOpen);
  PortWrite8(ext, ModeKeyPort(ext), kModeKeyOpen);
}

VOID ZelLockKeyRegs(VgaDeviceExtension* ext) {
  PortWrite8(ext, ZEL_KEY_PORT, kKeyClosed);
  PortWrite8(ext, ModeKeyPort(ext), kKeyClosed);
}
