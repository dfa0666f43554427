// IOCTL_VIDEO_RESTORE_HARDWARE_STATE: gives a full-screen session back the
// adapter as the save found it. The buffer comes from the console, so every
// block, count and table it names is checked before anything is touched.
#include <cstdint>

#include "detect/detect.h"
#include "miniport/range.h"
#include "miniport/registers.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

namespace {

constexpr ULONG kMaxDacPosition = 2;  // components of a triple moved before the save

// The length of the misc data area, which is checked but not used.
constexpr ULONG kMiscDataLength = 2215;

// A save stores at most 98 recorded writes: the burst still needs its
// closing write and room for a forced playback.
constexpr ULONG kMaxSavedCount = 98;

// The DIB size as a product of three 32-bit factors, refused early when
// the first two alone overrun the buffer: the product then stays in 64 bits.
BOOLEAN DibFits(const VIDEO_HARDWARE_STATE_HEADER* header, ULONG stateLength) {
  const uint64_t bytesPerPixel = header->DIBBitsPerPixel / 8;
  const uint64_t row = bytesPerPixel * header->DIBXResolution;
  if (header->DIBYResolution != 0 && row > stateLength) return FALSE;
  return RangeFits(header->DIBOffset, row * header->DIBYResolution, stateLength);
}

BOOLEAN BlocksFit(const VIDEO_HARDWARE_STATE_HEADER* h, ULONG stateLength) {
  const struct {
    ULONG offset;
    uint64_t length;
  } blocks[] = {
      {h->BasicSequencerOffset, sizeof(VgaStateBlocks::Sequencer)},
      {h->BasicCrtContOffset, sizeof(VgaStateBlocks::Crtc)},
      {h->BasicGraphContOffset, sizeof(VgaStateBlocks::Graphics)},
      {h->BasicAttribContOffset, sizeof(VgaStateBlocks::Attribute)},
      {h->BasicDacOffset, sizeof(VgaStateBlocks::Dac)},
      {h->BasicLatchesOffset, sizeof(VgaStateBlocks::Latches)},
      {h->ExtendedSequencerOffset, sizeof(VgaStateBlocks::ExtendedSequencer)},
      {h->ExtendedCrtContOffset, sizeof(VgaStateBlocks::ExtendedCrtc)},
      {h->ExtendedGraphContOffset, 0},
      {h->ExtendedAttribContOffset, sizeof(VgaStateBlocks::ExtendedAttribute)},
      {h->ExtendedDacOffset, 0},
      {h->ExtendedMiscDataOffset, kMiscDataLength},
      {h->Plane1Offset, h->PlaneLength},
      {h->Plane2Offset, h->PlaneLength},
      {h->Plane3Offset, h->PlaneLength},
      {h->Plane4Offset, h->PlaneLength},
      {h->DIBXlatOffset, h->DIBXlatLength},
  };
  for (const auto& block : blocks) {
    if (!RangeFits(block.offset, block.length, stateLength)) return FALSE;
  }
  if ((h->VGAStateFlags & VIDEO_STATE_UNEMULATED_VGA_STATE) != 0 &&
      !RangeFits(h->ExtendedValidatorStateOffset, sizeof(SavedValidatorState), stateLength)) {
    return FALSE;
  }
  return DibFits(h, stateLength);
}

// Playback writes every entry through IoBase, so each must land inside the
// mapped VGA ports; the trap pair must be one the driver itself installs.
BOOLEAN ValidatorBlockSound(const SavedValidatorState* block) {
  const ULONG count = block->Count;
  if (count > kMaxSavedCount) return FALSE;
  for (ULONG i = 0; i < count; ++i) {
    const SavedValidatorEntry& entry = block->Entries[i];
    if (!RangeFits(entry.Port, ValidatorAccessBytes(entry.AccessType), VGA_IO_PORT_COUNT)) {
      return FALSE;
    }
  }
  const ULONG rows = block->NumTrappedAccessRanges;
  const ULONG table = block->TrappedAccessRanges;
  const ULONG full = static_cast<ULONG>(reinterpret_cast<uintptr_t>(FullVgaValidatorAccessRange));
  const ULONG minimal =
      static_cast<ULONG>(reinterpret_cast<uintptr_t>(MinimalVgaValidatorAccessRange));
  return (table == full && rows == VGA_NUM_FULL_TRAP_RANGES) ||
         (table == minimal && rows == VGA_NUM_MINIMAL_TRAP_RANGES);
}

const SavedValidatorState* ValidatorBlock(const VIDEO_HARDWARE_STATE_HEADER* header) {
  const UCHAR* state = reinterpret_cast<const UCHAR*>(header);
  return reinterpret_cast<const SavedValidatorState*>(state + header->ExtendedValidatorStateOffset);
}

VP_STATUS CheckState(const VIDEO_HARDWARE_STATE* request, ULONG inputLength) {
  if (inputLength < sizeof(VIDEO_HARDWARE_STATE)) return ERROR_INSUFFICIENT_BUFFER;
  if (request->StateLength < kVgaHardwareStateSize) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_HARDWARE_STATE_HEADER* header = request->StateHeader;
  if (!BlocksFit(header, request->StateLength)) return ERROR_INVALID_PARAMETER;
  // The planes go through the 64 KB window.
  if (header->PlaneLength > VGA_PLANE_SIZE) return ERROR_INVALID_PARAMETER;
  if ((header->VGAStateFlags & VIDEO_STATE_UNEMULATED_VGA_STATE) != 0) {
    if (header->ExtendedValidatorStateOffset == 0) return ERROR_INVALID_PARAMETER;
    if (!ValidatorBlockSound(ValidatorBlock(header))) {
      return ERROR_INVALID_PARAMETER;
    }
  }
  return NO_ERROR;
}

// Planes and latches through the 0xA0000 window, plane by plane, in write
// mode 0 with every bit of the CPU data going through.
VOID RestoreMemory(const VgaDeviceExtension* ext, const VIDEO_HARDWARE_STATE_HEADER* header) {
  const UCHAR* state = reinterpret_cast<const UCHAR*>(header);
  UCHAR* const window = ext->A0000View;

  // The saved misc output comes back with the registers.
  MapPlanesAtA0000(ext, nullptr);
  SelectWriteMode(ext, 0);
  GcWrite16(ext, GR08_BIT_MASK, 0xFF);
  GcWrite16(ext, GR03_DATA_ROTATE, 0x00);
  GcWrite16(ext, GR01_ENABLE_SET_RESET, 0x00);
  SeqSelect(ext, SR02_MAP_MASK);

  // One byte per plane at offset 0, read back once to fill all four latches;
  // the plane copy below writes over offset 0 and leaves the latches alone.
  const UCHAR* latches = state + header->BasicLatchesOffset;
  for (UCHAR p = 0; p < VGA_NUM_PLANES; ++p) {
    SeqWriteData(ext, kSr02Planes.Place(1 << p));
    VideoPortWriteRegisterUchar(window, latches[p]);
  }
  VideoPortReadRegisterUchar(window);

  const ULONG planeOffsets[VGA_NUM_PLANES] = {header->Plane1Offset, header->Plane2Offset,
                                              header->Plane3Offset, header->Plane4Offset};
  for (UCHAR p = 0; p < VGA_NUM_PLANES; ++p) {
    SeqWriteData(ext, kSr02Planes.Place(1 << p));
    VideoPortMoveMemory(window, const_cast<UCHAR*>(state + planeOffsets[p]), header->PlaneLength);
  }
}

VOID RestoreRegisters(VgaDeviceExtension* ext, const VIDEO_HARDWARE_STATE_HEADER* header,
                      Addressing addressing) {
  const UCHAR* state = reinterpret_cast<const UCHAR*>(header);
  const UCHAR* seq = state + header->BasicSequencerOffset;
  const UCHAR* crtc = state + header->BasicCrtContOffset;
  const UCHAR* gc = state + header->BasicGraphContOffset;
  const UCHAR* attr = state + header->BasicAttribContOffset;

  ZelUnlockKeyRegs(ext);
  SeqWrite16(ext, SR00_RESET, kSr00SyncReset);
  MiscWrite(ext, Slot(header, VGA_MISC_WRITE) & kMiscExternalClock.Keep());
  // SR00 stays as the running sequencer needs it, whatever was saved.
  for (UCHAR n = 1; n < VGA_NUM_SEQ_REGS; ++n)
    SeqWrite16(ext, n, seq[n]);
  GcWrite16(ext, GR06_MEMORY_MAP, gc[GR06_MEMORY_MAP]);
  SeqWrite16(ext, SR00_RESET, kSr00Run);

  // CR00 to CR07 unprotected first, so that they take their saved values.
  CrtcWrite16(ext, addressing, CR11_VERTICAL_RETRACE_END,
              crtc[CR11_VERTICAL_RETRACE_END] & kCr11Protect.Keep());
  for (UCHAR n = 0; n < VGA_NUM_CRTC_REGS; ++n)
    CrtcWrite16(ext, addressing, n, crtc[n]);
  for (UCHAR n = 0; n < VGA_NUM_GC_REGS; ++n)
    GcWrite16(ext, n, gc[n]);

  ResetAttributeFlipFlop(ext, addressing);
  for (UCHAR n = 0; n < VGA_NUM_ATTR_REGS; ++n)
    AttrWrite(ext, n, attr[n]);
  ZelLockKeyRegs(ext);
}

// Entries 1 to 255 first; entry 0 stays black until the screen comes back.
VOID RestoreDacTable(const VgaDeviceExtension* ext, const UCHAR* dac, ULONG first, ULONG end) {
  for (ULONG entry = first; entry < end; ++entry) {
    PortWrite8(ext, VGA_DAC_WRITE_INDEX, static_cast<UCHAR>(entry));
    for (ULONG c = 0; c < 3; ++c)
      PortWrite8(ext, VGA_DAC_DATA, dac[3 * entry + c]);
  }
}

// Leaves the DAC at the saved index, in the saved mode, with as many
// components of the triple moved as the save found.
VOID RestoreDacPosition(const VgaDeviceExtension* ext, const VIDEO_HARDWARE_STATE_HEADER* header,
                        const UCHAR* dac) {
  const UCHAR dacState = Slot(header, VGA_DAC_READ_INDEX);
  const UCHAR index = Slot(header, VGA_DAC_WRITE_INDEX);
  ULONG moved = kDacSlotMoved.Of(dacState);
  if (moved > kMaxDacPosition) moved = kMaxDacPosition;

  if (kDacSlotState.Of(dacState) == kDacStateReadMode) {
    // The read index is one ahead of the entry being read.
    PortWrite8(ext, VGA_DAC_READ_INDEX, static_cast<UCHAR>(index - 1));
    for (ULONG c = 0; c < moved; ++c)
      PortRead8(ext, VGA_DAC_DATA);
  } else {
    PortWrite8(ext, VGA_DAC_WRITE_INDEX, index);
    for (ULONG c = 0; c < moved; ++c)
      PortWrite8(ext, VGA_DAC_DATA, dac[3 * index + c]);
  }
}

}  // namespace

VP_STATUS VPAPI VgaRestoreHardwareState(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  const VIDEO_HARDWARE_STATE* request = static_cast<const VIDEO_HARDWARE_STATE*>(input);
  const VP_STATUS status = CheckState(request, inputLength);
  if (status != NO_ERROR) return status;

  const VIDEO_HARDWARE_STATE_HEADER* header = request->StateHeader;
  const UCHAR* state = reinterpret_cast<const UCHAR*>(header);
  const UCHAR* dac = state + header->BasicDacOffset;
  const Addressing addressing = AddressingOf(Slot(header, VGA_MISC_WRITE));
  const USHORT crtcIndexPort = CrtcIndexPort(addressing);
  const USHORT statusPort = StatusPort(addressing);

  BlackScreen(ext);

  RestoreMemory(ext, header);

  if ((header->VGAStateFlags & VIDEO_STATE_UNEMULATED_VGA_STATE) != 0) {
    VideoPortMoveMemory(&ext->TrappedValidatorCount,
                        const_cast<SavedValidatorState*>(ValidatorBlock(header)),
                        sizeof(SavedValidatorState));
    VideoPortSetTrappedEmulatorPorts(ext, ext->NumTrappedAccessRanges, ext->TrappedAccessRanges);
  }

  RestoreRegisters(ext, header, addressing);
  RestoreDacTable(ext, dac, 1, VGA_DAC_ENTRIES);

  PortWrite8(ext, statusPort, Slot(header, statusPort));
  PortWrite8(ext, VGA_SEQ_INDEX, Slot(header, VGA_SEQ_INDEX));
  PortWrite8(ext, crtcIndexPort, Slot(header, crtcIndexPort));
  PortWrite8(ext, VGA_GC_INDEX, Slot(header, VGA_GC_INDEX));

  ResetAttributeFlipFlop(ext, addressing);
  AttrSelect(ext, Slot(header, VGA_AC_INDEX));
  if (header->AttribIndexDataState == 0) ResetAttributeFlipFlop(ext, addressing);

  PortWrite8(ext, VGA_DAC_PEL_MASK, Slot(header, VGA_DAC_PEL_MASK));
  RestoreDacTable(ext, dac, 0, 1);
  RestoreDacPosition(ext, header, dac);
  return NO_ERROR;
}
