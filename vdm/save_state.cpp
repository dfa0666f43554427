// IOCTL_VIDEO_SAVE_HARDWARE_STATE: captures the standard VGA state (registers,
// colour table, latches, four 64 KB planes and the validators' recording)
// when a full-screen session loses the screen.
#include "miniport/registers.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

namespace {

// The attribute probe changes bit 4 of the index it writes.
constexpr UCHAR kAttrProbeBit = 0x10;

// The byte whose latch image the save leaves in every plane.
constexpr ULONG kLatchOffset = 0xFFFF;

VOID FillLayout(VIDEO_HARDWARE_STATE_HEADER* header) {
  header->Length = sizeof(VIDEO_HARDWARE_STATE_HEADER);
  header->BasicSequencerOffset = VGA_STATE_OFFSET(Sequencer);
  header->BasicCrtContOffset = VGA_STATE_OFFSET(Crtc);
  header->BasicGraphContOffset = VGA_STATE_OFFSET(Graphics);
  header->BasicAttribContOffset = VGA_STATE_OFFSET(Attribute);
  header->BasicDacOffset = VGA_STATE_OFFSET(Dac);
  header->BasicLatchesOffset = VGA_STATE_OFFSET(Latches);
  header->ExtendedSequencerOffset = VGA_STATE_OFFSET(ExtendedSequencer);
  header->ExtendedCrtContOffset = VGA_STATE_OFFSET(ExtendedCrtc);
  header->ExtendedGraphContOffset = VGA_STATE_OFFSET(ExtendedAttribute);
  header->ExtendedAttribContOffset = VGA_STATE_OFFSET(ExtendedAttribute);
  header->ExtendedDacOffset = VGA_STATE_OFFSET(Validators);
  header->PlaneLength = VGA_PLANE_SIZE;
  header->Plane1Offset = VGA_STATE_OFFSET(Planes[0]);
  header->Plane2Offset = VGA_STATE_OFFSET(Planes[1]);
  header->Plane3Offset = VGA_STATE_OFFSET(Planes[2]);
  header->Plane4Offset = VGA_STATE_OFFSET(Planes[3]);
}

// Which components of the current triple the DAC has already moved: each
// transfer that advances the index shows where the triple ended.
VOID ProbeDacPosition(const VgaDeviceExtension* ext, VIDEO_HARDWARE_STATE_HEADER* header) {
  const UCHAR index = Slot(header, VGA_DAC_WRITE_INDEX);
  const BOOLEAN readMode = Slot(header, VGA_DAC_READ_INDEX) == kDacStateReadMode;
  for (UCHAR moved = 2; moved >= 1; --moved) {
    if (readMode) {
      PortRead8(ext, VGA_DAC_DATA);
    } else {
      PortWrite8(ext, VGA_DAC_DATA, 0x00);
    }
    if (PortRead8(ext, VGA_DAC_WRITE_INDEX) != index) {
      Slot(header, VGA_DAC_READ_INDEX) |= kDacSlotMoved.Place(moved);
      return;
    }
  }
}

VOID ReadDacEntry(const VgaDeviceExtension* ext, VgaStateBlocks* blocks, ULONG entry) {
  PortWrite8(ext, VGA_DAC_READ_INDEX, static_cast<UCHAR>(entry));
  for (ULONG c = 0; c < 3; ++c) {
    blocks->Dac[entry][c] = PortRead8(ext, VGA_DAC_DATA);
  }
}

}  // namespace

VP_STATUS VPAPI VgaSaveHardwareState(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                     PULONG information) {
  if (outputLength < sizeof(VIDEO_HARDWARE_STATE)) {
    *information = 0;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  VIDEO_HARDWARE_STATE* request = static_cast<VIDEO_HARDWARE_STATE*>(output);
  *information = sizeof(VIDEO_HARDWARE_STATE);
  request->StateLength = kVgaHardwareStateSize;

  VIDEO_HARDWARE_STATE_HEADER* header = request->StateHeader;
  VgaStateBlocks* blocks = reinterpret_cast<VgaStateBlocks*>(header + 1);
  UCHAR* const window = ext->A0000View;
  VideoPortZeroMemory(header, sizeof(VIDEO_HARDWARE_STATE_HEADER));
  FillLayout(header);

  const UCHAR misc = MiscRead(ext);
  Slot(header, VGA_MISC_WRITE) = misc;
  const Addressing addressing = AddressingOf(misc);
  const USHORT crtcIndexPort = CrtcIndexPort(addressing);
  const USHORT statusPort = StatusPort(addressing);

  PortWrite8(ext, VGA_VIDEO_ENABLE, kVideoEnableOn);

  Slot(header, VGA_DAC_PEL_MASK) = PortRead8(ext, VGA_DAC_PEL_MASK);
  Slot(header, VGA_DAC_WRITE_INDEX) = PortRead8(ext, VGA_DAC_WRITE_INDEX);
  Slot(header, VGA_DAC_READ_INDEX) = PortRead8(ext, VGA_DAC_READ_INDEX);
  ProbeDacPosition(ext, header);

  ReadDacEntry(ext, blocks, 0);

  BlackScreen(ext);  // for the rest of the save

  // The flip-flop as the session left it: nothing may reset it before the
  // probe below has seen which state it is in.
  const UCHAR attrIndex = PortRead8(ext, VGA_AC_INDEX);
  Slot(header, VGA_AC_INDEX) = attrIndex;
  const UCHAR attrData = PortRead8(ext, VGA_AC_DATA_READ);

  Slot(header, VGA_SEQ_INDEX) = PortRead8(ext, VGA_SEQ_INDEX);

  SeqWrite16(ext, SR00_RESET, kSr00SyncReset);

  // A probe write that leaves the index as it was went to a data register:
  // that register gets its value back.
  PortWrite8(ext, VGA_AC_INDEX, attrIndex ^ kAttrProbeBit);
  if (PortRead8(ext, VGA_AC_INDEX) == attrIndex) {
    header->AttribIndexDataState = 1;
    AttrWrite(ext, attrIndex, attrData);
  } else {
    header->AttribIndexDataState = 0;
  }
  ResetAttributeFlipFlop(ext, CurrentAddressing(ext));

  SeqWrite16(ext, SR00_RESET, kSr00Run);

  for (ULONG entry = 1; entry < VGA_DAC_ENTRIES; ++entry)
    ReadDacEntry(ext, blocks, entry);

  Slot(header, statusPort) = PortRead8(ext, VGA_FEATURE_READ);
  Slot(header, crtcIndexPort) = PortRead8(ext, crtcIndexPort);
  Slot(header, VGA_GC_INDEX) = PortRead8(ext, VGA_GC_INDEX);

  for (UCHAR n = 0; n < VGA_NUM_SEQ_REGS; ++n) {
    blocks->Sequencer[n] = SeqRead(ext, n);
  }

  // CR10 and CR11 read back only with CR03 bit 7 set; CR03 is saved as found.
  const UCHAR cr03 =
      CrtcModifyField(ext, addressing, CR03_HORIZONTAL_BLANK_END, kCr03RetraceReadable, 1);
  for (UCHAR n = 0; n < VGA_NUM_CRTC_REGS; ++n) {
    blocks->Crtc[n] = CrtcRead(ext, addressing, n);
  }
  blocks->Crtc[CR03_HORIZONTAL_BLANK_END] = cr03;

  for (UCHAR n = 0; n < VGA_NUM_GC_REGS; ++n) {
    blocks->Graphics[n] = GcRead(ext, n);
  }

  // The index goes out with bit 5 clear: the display stays off.
  for (UCHAR n = 0; n < VGA_NUM_ATTR_REGS; ++n) {
    ResetAttributeFlipFlop(ext, addressing);
    blocks->Attribute[n] = AttrRead(ext, n);
  }

  MapPlanesAtA0000(ext, &misc);
  SeqWrite16(ext, SR02_MAP_MASK, kSr02Planes.Mask());
  SelectWriteMode(ext, 1);

  // Write mode 1 stores the latches themselves: one write puts them in
  // reach of plain reads, at the cost of the byte at that offset.
  VideoPortWriteRegisterUchar(window + kLatchOffset, 0x00);
  GcSelect(ext, GR04_READ_MAP);
  for (UCHAR p = 0; p < VGA_NUM_PLANES; ++p) {
    GcWriteData(ext, p);
    blocks->Latches[p] = VideoPortReadRegisterUchar(window + kLatchOffset);
  }

  header->VGAStateFlags = VIDEO_STATE_NON_STANDARD_VGA;
  if (ext->TrappedValidatorCount != 0) {
    header->VGAStateFlags |= VIDEO_STATE_UNEMULATED_VGA_STATE;
    header->ExtendedValidatorStateOffset = VGA_STATE_OFFSET(Validators);
    SavedValidatorState* validators = &blocks->Validators;
    VideoPortMoveMemory(validators, &ext->TrappedValidatorCount, sizeof(SavedValidatorState));
    // The block carries the trap set in force: while recording, every VGA
    // port is trapped, and the restore must trap the session's remaining
    // writes the same way.
    validators->NumTrappedAccessRanges = VGA_NUM_FULL_TRAP_RANGES;
    validators->TrappedAccessRanges =
        static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(FullVgaValidatorAccessRange));
  } else {
    header->ExtendedValidatorStateOffset = 0;
  }
  header->VGAStateFlags |= VIDEO_STATE_PACKED_CHAIN4_MODE;

  GcSelect(ext, GR04_READ_MAP);
  for (UCHAR p = 0; p < VGA_NUM_PLANES; ++p) {
    GcWriteData(ext, p);
    VideoPortMoveMemory(blocks->Planes[p], window, VGA_PLANE_SIZE);
  }
  return NO_ERROR;
}
