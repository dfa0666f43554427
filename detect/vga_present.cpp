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

// What the graphics-controller probe found and has changed so far.
struct GcProbe {
  UCHAR selected;  // the index last written
  BOOLEAN readMapWritten;
  BOOLEAN bitMaskWritten;
  UCHAR savedGr04;
  UCHAR savedGr08;
};

// Selects index and checks that the index register holds it.
BOOLEAN SelectAndCheck(const VgaDeviceExtension* ext, GcProbe* probe, UCHAR index) {
  GcSelect(ext, index);
  probe->selected = index;
  return (PortRead8(ext, VGA_GC_INDEX) & kGrIndexBits) == index;
}

BOOLEAN WriteAndCheck(const VgaDeviceExtension* ext, UCHAR value) {
  GcWriteData(ext, value);
  return PortRead8(ext, VGA_GC_DATA) == value;
}

// GR04 and GR08 take their values in turn; returns FALSE at the first that
// does not hold, leaving in probe what was changed until then.
BOOLEAN ProbeGraphicsController(const VgaDeviceExtension* ext, GcProbe* probe) {
  if (!SelectAndCheck(ext, probe, GR04_READ_MAP)) return FALSE;
  probe->savedGr04 = PortRead8(ext, VGA_GC_DATA);
  probe->readMapWritten = TRUE;
  if (!WriteAndCheck(ext, kReadMapProbe)) return FALSE;

  if (!SelectAndCheck(ext, probe, GR08_BIT_MASK)) return FALSE;
  // A walking pattern: every bit of the bit mask must hold both values.
  probe->savedGr08 = PortRead8(ext, VGA_GC_DATA);
  probe->bitMaskWritten = TRUE;
  for (UCHAR pattern = kBitMaskProbeFirst; pattern != 0; pattern >>= 1) {
    if (!WriteAndCheck(ext, pattern)) return FALSE;
  }

  // GR04 must still hold its probe: the bit-mask writes went elsewhere, so
  // the data port is really indexed.
  GcSelect(ext, GR04_READ_MAP);
  probe->selected = GR04_READ_MAP;
  return PortRead8(ext, VGA_GC_DATA) == kReadMapProbe;
}

// GR04 back to plane 0 and GR08 back to every bit from the CPU, each once
// the probe has written it, the register under the index first.
VOID PutBackAfterFailedProbe(const VgaDeviceExtension* ext, const GcProbe& probe) {
  const BOOLEAN onReadMap = probe.selected == GR04_READ_MAP;
  const BOOLEAN selectedWritten = onReadMap ? probe.readMapWritten : probe.bitMaskWritten;
  const BOOLEAN otherWritten = onReadMap ? probe.bitMaskWritten : probe.readMapWritten;
  if (selectedWritten) GcWriteData(ext, onReadMap ? 0x00 : 0xFF);
  if (otherWritten) {
    GcSelect(ext, onReadMap ? GR08_BIT_MASK : GR04_READ_MAP);
    GcWriteData(ext, onReadMap ? 0xFF : 0x00);
  }
}

}  // namespace

BOOLEAN VgaIsPresent(VgaDeviceExtension* ext) {
  const UCHAR savedGcIndex = PortRead8(ext, VGA_GC_INDEX);
  GcProbe probe = {0, FALSE, FALSE, 0, 0};
  if (!ProbeGraphicsController(ext, &probe)) {
    PutBackAfterFailedProbe(ext, probe);
    return FALSE;
  }

  GcWriteData(ext, probe.savedGr04);
  GcSelect(ext, GR08_BIT_MASK);
  GcWriteData(ext, probe.savedGr08);
  GcSelect(ext, savedGcIndex);

  const UCHAR savedSeqIndex = PortRead8(ext, VGA_SEQ_INDEX);
  SeqSelect(ext, SR04_MEMORY_MODE);
  if ((PortRead8(ext, VGA_SEQ_INDEX) & kSrIndexBits) != SR04_MEMORY_MODE) return FALSE;

  const UCHAR savedSr04 = SeqReadData(ext);

  // Changing the memory mode is only safe with the sequencer held in reset.
  SeqWrite16(ext, SR00_RESET, kSr00SyncReset);

  const UCHAR toggled = savedSr04 ^ kSr04Chain4.Mask();
  SeqWrite(ext, SR04_MEMORY_MODE, toggled);
  const BOOLEAN chain4Moves = SeqReadData(ext) == toggled;
  SeqWriteData(ext, chain4Moves ? savedSr04 : kSr04Fallback);
  SeqWrite16(ext, SR00_RESET, kSr00Run);
  if (chain4Moves) SeqSelect(ext, savedSeqIndex);
  return chain4Moves;
}
