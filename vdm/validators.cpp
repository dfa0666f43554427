// The trapped port validators of a full-screen session. Ordinary accesses go
// straight to the hardware; misc output is written with the clock-select bit
// cleared under a synchronous reset; and a synchronous reset that the session
// begins is recorded, not performed, until the session ends it, then replayed
// in one burst so that the sequencer spends only that burst in reset.
#include "miniport/registers.h"
#include "vdm/vdm.h"

namespace {

constexpr ULONG kSr00RunBits = kSr00Reset.Mask();  // both reset bits set: the sequencer runs

// Offsets from 0x3B0, as recorded.
constexpr ULONG kSeqIndexOffset = VGA_SEQ_INDEX - VGA_IO_BASE_PORT;

// A burst is the opening entry, at most 98 recorded writes and the closing
// write; at 99 the burst is played and recording goes on.
constexpr ULONG kForcedPlaybackCount = VGA_MAX_VALIDATOR_DATA - 1;

// The word write that holds or releases the sequencer: index 0, value in the
// high byte.
constexpr ULONG kHoldResetWord = (kSr00SyncReset << 8) | SR00_RESET;
constexpr ULONG kEndResetWord = (kSr00Run << 8) | SR00_RESET;

// The session may not pick the external clock.
constexpr ULONG kMiscClockSelect = kMiscExternalClock.Mask();

ULONG LoadData(PVOID data, UCHAR type) {
  switch (type) {
    case VGA_VALIDATOR_UCHAR_ACCESS:
      return *static_cast<PUCHAR>(data);
    case VGA_VALIDATOR_USHORT_ACCESS:
      return *static_cast<PUSHORT>(data);
    default:
      return *static_cast<PULONG>(data);
  }
}

VOID StoreData(PVOID data, UCHAR type, ULONG value) {
  switch (type) {
    case VGA_VALIDATOR_UCHAR_ACCESS:
      *static_cast<PUCHAR>(data) = static_cast<UCHAR>(value);
      break;
    case VGA_VALIDATOR_USHORT_ACCESS:
      *static_cast<PUSHORT>(data) = static_cast<USHORT>(value);
      break;
    default:
      *static_cast<PULONG>(data) = value;
      break;
  }
}

ULONG ReadPort(const VgaDeviceExtension* ext, USHORT port, UCHAR type) {
  switch (type) {
    case VGA_VALIDATOR_UCHAR_ACCESS:
      return PortRead8(ext, port);
    case VGA_VALIDATOR_USHORT_ACCESS:
      return PortRead16(ext, port);
    default:
      return PortRead32(ext, port);
  }
}

VOID WritePort(const VgaDeviceExtension* ext, USHORT port, UCHAR type, ULONG value) {
  switch (type) {
    case VGA_VALIDATOR_UCHAR_ACCESS:
      PortWrite8(ext, port, static_cast<UCHAR>(value));
      break;
    case VGA_VALIDATOR_USHORT_ACCESS:
      PortWrite16(ext, port, static_cast<USHORT>(value));
      break;
    default:
      PortWrite32(ext, port, value);
      break;
  }
}

VOID Append(VgaDeviceExtension* ext, ULONG offset, UCHAR type, ULONG value) {
  TrappedValidatorEntry& entry = ext->TrappedValidatorData[ext->TrappedValidatorCount];
  entry.Port = offset;
  entry.AccessType = type;
  entry.Data = value;
  ext->TrappedValidatorCount++;
}

// A byte write begins a reset through the SR00 data port, checked against
// the live index; word and doubleword writes carry index 0 and the SR00 value
// in one access to 0x3C4.
BOOLEAN BeginsReset(const VgaDeviceExtension* ext, USHORT port, UCHAR type, ULONG value) {
  if (type == VGA_VALIDATOR_UCHAR_ACCESS) {
    if (port != VGA_SEQ_DATA || (value & kSr00RunBits) == kSr00RunBits) return FALSE;
    return PortRead8(ext, VGA_SEQ_INDEX) == SR00_RESET;
  }
  return port == VGA_SEQ_INDEX && (value & 0xFF) == SR00_RESET &&
         ((value >> 8) & kSr00RunBits) != kSr00RunBits;
}

BOOLEAN EndsReset(const VgaDeviceExtension* ext, USHORT port, UCHAR type, ULONG value) {
  if (type == VGA_VALIDATOR_UCHAR_ACCESS) {
    return port == VGA_SEQ_DATA && (value & kSr00RunBits) == kSr00RunBits &&
           ext->SequencerAddressValue == SR00_RESET;
  }
  return port == VGA_SEQ_INDEX && (value & 0xFF) == SR00_RESET &&
         ((value >> 8) & kSr00RunBits) == kSr00RunBits;
}

// Misc output changes the clocks: write it only with the sequencer held in
// reset, and put the session's sequencer index back afterwards.
VOID WriteMiscUnderReset(const VgaDeviceExtension* ext, UCHAR type, ULONG value) {
  const UCHAR savedIndex = PortRead8(ext, VGA_SEQ_INDEX);
  SeqWrite16(ext, SR00_RESET, kSr00SyncReset);
  WritePort(ext, VGA_MISC_WRITE, type, value & ~kMiscClockSelect);
  SeqWrite16(ext, SR00_RESET, kSr00Run);
  PortWrite8(ext, VGA_SEQ_INDEX, savedIndex);
}

// The session's reset-starting write is held back as the first entry, and
// every VGA port is trapped until the reset ends.
VOID BeginRecording(VgaDeviceExtension* ext, USHORT port, UCHAR type, ULONG value) {
  VideoPortSetTrappedEmulatorPorts(ext, VGA_NUM_FULL_TRAP_RANGES, FullVgaValidatorAccessRange);
  ext->TrappedValidatorCount = 0;
  Append(ext, port - VGA_IO_BASE_PORT, type, value);
  ext->SequencerAddressValue = 0;
}

// Closes the burst with SR00 = 0x03, replays it in one go and gives the
// session its sequencer index back.
VOID PlayBack(VgaDeviceExtension* ext) {
  Append(ext, kSeqIndexOffset, VGA_VALIDATOR_USHORT_ACCESS, kEndResetWord);
  VideoPortSynchronizeExecution(ext, VpHighPriority, VgaPlaybackValidatorData, ext);
  PortWrite8(ext, VGA_SEQ_INDEX, static_cast<UCHAR>(ext->SequencerAddressValue));
}

VOID FinishRecording(VgaDeviceExtension* ext) {
  VideoPortSetTrappedEmulatorPorts(ext, VGA_NUM_MINIMAL_TRAP_RANGES,
                                   MinimalVgaValidatorAccessRange);
}

// The reset is still in progress: the next burst opens by holding the
// sequencer again. Holding it selects index 0, so the session's own index
// follows; its next data write belongs to that register, not to SR00.
VOID ContinueRecording(VgaDeviceExtension* ext) {
  ext->TrappedValidatorCount = 0;
  Append(ext, kSeqIndexOffset, VGA_VALIDATOR_USHORT_ACCESS, kHoldResetWord);
  if (ext->SequencerAddressValue != 0) {
    Append(ext, kSeqIndexOffset, VGA_VALIDATOR_UCHAR_ACCESS, ext->SequencerAddressValue);
  }
}

// A wide write that reaches the sequencer pair other than as an index/data
// write to 0x3C4 (a word at 0x3C3 or 0x3C5, a doubleword from 0x3C1 to
// 0x3C3 or at 0x3C5) could start or end a reset unseen, and one that reaches
// misc output from below it (a word at 0x3C1, a doubleword at 0x3C0) could
// change the clocks outside a reset: each is taken apart.
BOOLEAN SplitIntoBytes(USHORT port, UCHAR type) {
  if (type == VGA_VALIDATOR_UCHAR_ACCESS || port == VGA_SEQ_INDEX) return FALSE;
  const ULONG end = static_cast<ULONG>(port) + ValidatorAccessBytes(type);
  const BOOLEAN reachesSequencer = port <= VGA_SEQ_DATA && end > VGA_SEQ_INDEX;
  const BOOLEAN reachesMiscFromBelow = port < VGA_MISC_WRITE && end > VGA_MISC_WRITE;
  return reachesSequencer || reachesMiscFromBelow;
}

VP_STATUS Validate(PVOID context, ULONG port32, UCHAR accessMode, PVOID data, UCHAR type);

// The byte writes the wide one is made of, lowest port first, each through
// the byte validator; a misc output byte comes back with its clock select
// cleared, as the byte validator leaves it.
// Recursion one deep: the byte writes are never split again.
VOID WriteBytes(PVOID context, USHORT port, PVOID data, UCHAR type) {  // NOLINT(misc-no-recursion)
  ULONG value = LoadData(data, type);
  for (ULONG i = 0; i < ValidatorAccessBytes(type); ++i) {
    UCHAR byte = static_cast<UCHAR>(value >> (8 * i));
    Validate(context, port + i, EMULATOR_WRITE_ACCESS, &byte, VGA_VALIDATOR_UCHAR_ACCESS);
    value = (value & ~(0xFFUL << (8 * i))) | (static_cast<ULONG>(byte) << (8 * i));
  }
  StoreData(data, type, value);
}

// NOLINTNEXTLINE(misc-no-recursion): only through WriteBytes, one deep.
VP_STATUS Validate(PVOID context, ULONG port32, UCHAR accessMode, PVOID data, UCHAR type) {
  VgaDeviceExtension* ext = static_cast<VgaDeviceExtension*>(context);
  const USHORT port = static_cast<USHORT>(port32);
  const BOOLEAN isWrite = (accessMode & EMULATOR_WRITE_ACCESS) != 0;

  if (isWrite && SplitIntoBytes(port, type)) {
    WriteBytes(context, port, data, type);
    return NO_ERROR;
  }

  if (ext->TrappedValidatorCount == 0) {
    if (!isWrite) {
      StoreData(data, type, ReadPort(ext, port, type));
      return NO_ERROR;
    }
    const ULONG value = LoadData(data, type);
    if (port == VGA_MISC_WRITE) {
      WriteMiscUnderReset(ext, type, value);
    } else if (BeginsReset(ext, port, type, value)) {
      BeginRecording(ext, port, type, value);
    } else {
      WritePort(ext, port, type, value);
    }
    return NO_ERROR;
  }

  // Recording. A read needs the hardware as recorded so far: play the burst,
  // read, and go on recording.
  if (!isWrite) {
    PlayBack(ext);
    StoreData(data, type, ReadPort(ext, port, type));
    ContinueRecording(ext);
    return NO_ERROR;
  }

  ULONG value = LoadData(data, type);
  if (port == VGA_MISC_WRITE) {
    value &= ~kMiscClockSelect;
    StoreData(data, type, value);
  }
  Append(ext, port - VGA_IO_BASE_PORT, type, value);
  // The index the session leaves behind, which the end test of wide writes
  // already counts.
  if (port == VGA_SEQ_INDEX) ext->SequencerAddressValue = value & 0xFF;

  if (EndsReset(ext, port, type, value)) {
    PlayBack(ext);
    FinishRecording(ext);
    return NO_ERROR;
  }

  if (ext->TrappedValidatorCount < kForcedPlaybackCount) return NO_ERROR;
  PlayBack(ext);
  ContinueRecording(ext);
  return NO_ERROR;
}

}  // namespace

VP_STATUS VPAPI VgaValidatorUcharEntry(PVOID Context, ULONG Port, UCHAR AccessMode, PVOID Data) {
  return Validate(Context, Port, AccessMode, Data, VGA_VALIDATOR_UCHAR_ACCESS);
}

VP_STATUS VPAPI VgaValidatorUshortEntry(PVOID Context, ULONG Port, UCHAR AccessMode, PVOID Data) {
  return Validate(Context, Port, AccessMode, Data, VGA_VALIDATOR_USHORT_ACCESS);
}

VP_STATUS VPAPI VgaValidatorUlongEntry(PVOID Context, ULONG Port, UCHAR AccessMode, PVOID Data) {
  return Validate(Context, Port, AccessMode, Data, VGA_VALIDATOR_ULONG_ACCESS);
}

VP_STATUS VgaEnableVdm(VgaDeviceExtension* ext) {
  ext->TrappedValidatorCount = 0;
  ext->SequencerAddressValue = 0;
  ext->NumTrappedAccessRanges = VGA_NUM_MINIMAL_TRAP_RANGES;
  ext->TrappedAccessRanges = MinimalVgaValidatorAccessRange;
  VideoPortSetTrappedEmulatorPorts(ext, ext->NumTrappedAccessRanges, ext->TrappedAccessRanges);
  return NO_ERROR;
}
