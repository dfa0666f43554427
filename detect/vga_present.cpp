// VgaIsPresent: proves that standard VGA graphics-controller and sequencer
// registers answer at the mapped ports, and puts back what it changed.
#include "detect/detect.h"
#include "miniport/registers.h"

namespace {

constexpr UCHAR kGrIndexBits = 0x0F;
constexpr UCHAR kSrIndexBits = 0x07;
constexpr UCHAR kReadMapProbe = 3;
constexpr UCHAR kBitMaskProbeFirst = 0xBB;
// What SR04 is left at when chain 4 would not change: extended memory,
// chain 4 off.
constexpr UCHAR kSr04Fallback = kSr04ExtendedMemory.Mask();

}  // namespace

BOOLEAN VgaIsPresent(VgaDeviceExtension* ext) {
  const UCHAR savedGcIndex = PortRead8(ext, VGA_GC_INDEX);

  // The index register must hold what was written to it.
  PortWrite8(ext, VGA_GC_INDEX, GR04_READ_MAP);
  if ((PortRead8(ext, VGA_GC_INDEX) & kGrIndexBits) != GR04_READ_MAP) return FALSE;

  const UCHAR savedGr04 = PortRead8(ext, VGA_GC_DATA);
  PortWrite8(ext, VGA_GC_DATA, kReadMapProbe);
  if (PortRead8(ext, VGA_GC_DATA) != kReadMapProbe) {
    PortWrite8(ext, VGA_GC_DATA, 0);  // GR04 back to plane 0
    return FALSE;
  }

  PortWrite8(ext, VGA_GC_INDEX, GR08_BIT_MASK);
  if ((PortRead8(ext, VGA_GC_INDEX) & kGrIndexBits) != GR08_BIT_MASK) {
    PortWrite8(ext, VGA_GC_INDEX, GR04_READ_MAP);
    PortWrite8(ext, VGA_GC_DATA, 0);
    return FALSE;
  }

  // A walking pattern: every bit of the bit mask must hold both values.
  const UCHAR savedGr08 = PortRead8(ext, VGA_GC_DATA);
  for (UCHAR probe = kBitMaskProbeFirst; probe != 0; probe >>= 1) {
    PortWrite8(ext, VGA_GC_DATA, probe);
    if (PortRead8(ext, VGA_GC_DATA) != probe) {
      PortWrite8(ext, VGA_GC_DATA, 0xFF);  // GR08: every bit from the CPU
      PortWrite8(ext, VGA_GC_INDEX, GR04_READ_MAP);
      PortWrite8(ext, VGA_GC_DATA, 0);
      return FALSE;
    }
  }

  // GR04 must still hold its probe: the bit-mask writes went elsewhere, so
  // the data port is really indexed.
  PortWrite8(ext, VGA_GC_INDEX, GR04_READ_MAP);
  if (PortRead8(ext, VGA_GC_DATA) != kReadMapProbe) {
    PortWrite8(ext, VGA_GC_DATA, 0);
    PortWrite8(ext, VGA_GC_INDEX, GR08_BIT_MASK);
    PortWrite8(ext, VGA_GC_DATA, 0xFF);
    return FALSE;
  }

  PortWrite8(ext, VGA_GC_DATA, savedGr04);
  PortWrite8(ext, VGA_GC_INDEX, GR08_BIT_MASK);
  PortWrite8(ext, VGA_GC_DATA, savedGr08);
  PortWrite8(ext, VGA_GC_INDEX, savedGcIndex);

  const UCHAR savedSeqIndex = PortRead8(ext, VGA_SEQ_INDEX);
  PortWrite8(ext, VGA_SEQ_INDEX, SR04_MEMORY_MODE);
  if ((PortRead8(ext, VGA_SEQ_INDEX) & kSrIndexBits) != SR04_MEMORY_MODE) return FALSE;

  const UCHAR savedSr04 = PortRead8(ext, VGA_SEQ_DATA);

  // Changing the memory mode is only safe with the sequencer held in reset.
  SeqWrite16(ext, SR00_RESET, kSr00SyncReset);

  const UCHAR toggled = savedSr04 ^ kSr04Chain4.Mask();
  PortWrite8(ext, VGA_SEQ_INDEX, SR04_MEMORY_MODE);
  PortWrite8(ext, VGA_SEQ_DATA, toggled);
  if (PortRead8(ext, VGA_SEQ_DATA) == toggled) {
    PortWrite8(ext, VGA_SEQ_DATA, savedSr04);
    SeqWrite16(ext, SR00_RESET, kSr00Run);
    PortWrite8(ext, VGA_SEQ_INDEX, savedSeqIndex);
    return TRUE;
  }

  PortWrite8(ext, VGA_SEQ_DATA, kSr04Fallback);
  SeqWrite16(ext, SR00_RESET, kSr00Run);
  return FALSE;
}
