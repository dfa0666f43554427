// ZelIsPresent: proves the chip from its option ROM and PCI configuration
// space, sizes the video memory, reads the memory bus, type and clock, has
// the modes validated and reports the hardware in the registry.
#include "detect/detect.h"
#include "miniport/address_map.h"
#include "miniport/range.h"
#include "miniport/registers.h"
#include "modes/modes.h"

namespace {

constexpr USHORT kZelVendor = 0x1F4B;
constexpr USHORT kZelDevice = 0x7A52;

// The option ROM: size in 512-byte blocks at byte 2, the offset of the PCI
// data structure at 0x18, and the IDs inside that structure.
constexpr ULONG kRomSizeBlocks = 0x02;
constexpr ULONG kRomPcirPointer = 0x18;
constexpr ULONG kPcirVendor = 4;
constexpr ULONG kPcirDevice = 6;

// Configuration mechanism #1, reached through a 16-port view at 0xCF0.
constexpr ULONG kPciPortsPhysical = 0x0CF0;
constexpr ULONG kPciPortCount = 16;
constexpr ULONG kPciAddressOffset = 0x08;  // 0xCF8
constexpr ULONG kPciDataOffset = 0x0C;     // 0xCFC
constexpr ULONG kPciBus1First = 0x80010000;
constexpr ULONG kPciBus1Last = 0x8001F800;  // device 31
constexpr ULONG kPciBus0First = 0x80000800;
constexpr ULONG kPciBus0Last = 0x8000A000;  // device 20
constexpr ULONG kPciDeviceStep = 0x800;
constexpr ULONG kPciRegBar0 = 0x10;
constexpr ULONG kPciRegRevision = 0x08;

constexpr ULONG kHighLinearBase = 0x20000000;

// Chip kinds by revision low nibble.
constexpr UCHAR kChipA1 = 11;
constexpr UCHAR kChipB1 = 12;
constexpr UCHAR kFirstB1Revision = 10;

constexpr ULONG kReferenceKHz = 14318;

const WCHAR kChipTypeValue[] = u"HardwareInformation.ChipType";
const WCHAR kDacTypeValue[] = u"HardwareInformation.DacType";
const WCHAR kMemorySizeValue[] = u"HardwareInformation.MemorySize";
const WCHAR kAdapterStringValue[] = u"HardwareInformation.AdapterString";
const WCHAR kChipNameA1[] = u"Zel A1";
const WCHAR kChipNameB1[] = u"Zel B1";
const WCHAR kDacName[] = u"Zel";
const WCHAR kAdapterString[] = u"Zel Compatible";

USHORT RomRead16(PUCHAR rom, ULONG offset) {
  const UCHAR low = VideoPortReadRegisterUchar(rom + offset);
  const UCHAR high = VideoPortReadRegisterUchar(rom + offset + 1);
  return static_cast<USHORT>(low | (high << 8));
}

struct RomIds {
  BOOLEAN known;
  USHORT vendor;
  USHORT device;
};

// Reads the IDs from the ROM's PCI data structure and the ROM size. A
// structure whose IDs would lie outside the mapped window leaves the IDs
// unknown.
RomIds ReadOptionRom(VgaDeviceExtension* ext) {
  RomIds ids = {FALSE, 0, 0};
  PUCHAR rom = static_cast<PUCHAR>(
      VideoPortGetDeviceBase(ext, PhysicalAddress(kOptionRomPhysical), kOptionRomWindow, 0));
  if (rom == nullptr) return ids;

  const ULONG pcir = RomRead16(rom, kRomPcirPointer);
  if (RangeFits(pcir + kPcirDevice, sizeof(USHORT), kOptionRomWindow)) {
    ids.vendor = RomRead16(rom, pcir + kPcirVendor);
    ids.device = RomRead16(rom, pcir + kPcirDevice);
    ids.known = TRUE;
  }
  ext->BiosRomSizeKb = static_cast<USHORT>(VideoPortReadRegisterUchar(rom + kRomSizeBlocks) >> 1);

  VideoPortFreeDeviceBase(ext, rom);
  return ids;
}

ULONG PciRead32(PUCHAR ports, ULONG address) {
  VideoPortWritePortUlong(reinterpret_cast<PULONG>(ports + kPciAddressOffset), address);
  return VideoPortReadPortUlong(reinterpret_cast<PULONG>(ports + kPciDataOffset));
}

// Probes function 0 of each device from first to last for the given ID
// dword; 0 when none matches.
ULONG PciFind(PUCHAR ports, ULONG first, ULONG last, ULONG ids) {
  for (ULONG address = first; address <= last; address += kPciDeviceStep) {
    if (PciRead32(ports, address) == ids) return address;
  }
  return 0;
}

// Scans bus 1, then bus 0, for the chip; on a match takes the frame-buffer
// base (when the BAR holds one) and the revision. Returns the revision, or 0
// when nothing answered: a chip with no configuration space is taken as the
// first kind.
UCHAR ScanPci(VgaDeviceExtension* ext, const RomIds& ids) {
  PUCHAR ports = static_cast<PUCHAR>(
      VideoPortGetDeviceBase(ext, PhysicalAddress(kPciPortsPhysical), kPciPortCount, 1));
  if (ports == nullptr) return 0;

  const ULONG wanted = (static_cast<ULONG>(ids.device) << 16) | ids.vendor;
  ULONG found = PciFind(ports, kPciBus1First, kPciBus1Last, wanted);
  if (found == 0) found = PciFind(ports, kPciBus0First, kPciBus0Last, wanted);

  UCHAR revision = 0;
  if (found != 0) {
    // A memory BAR holds its base in the bits above its size: the 8 MB
    // aperture starts on an 8 MB step whatever the lower bits read.
    const ULONG base = PciRead32(ports, found + kPciRegBar0) & ~(kLinearFrameLength - 1);
    if (base != 0) VgaAccessRange[VGA_LINEAR_ACCESS_RANGE].RangeStart = PhysicalAddress(base);

    VideoPortWritePortUlong(reinterpret_cast<PULONG>(ports + kPciAddressOffset),
                            found + kPciRegRevision);
    revision = VideoPortReadPortUchar(ports + kPciDataOffset);
  }

  VideoPortFreeDeviceBase(ext, ports);
  return revision;
}

// 64-bit when bit 4 is clear and either of bits 2..1 is set, or when bit 4
// and both of bits 2..1 are set.
ULONG BusWidth(UCHAR sr0c) {
  const UCHAR bits2To1 = kSr0cBusBits2To1.Of(sr0c);
  if (kSr0cBusBit4.Of(sr0c) == 0) return bits2To1 != 0 ? 64 : 32;
  return bits2To1 == 3 ? 64 : 32;
}

ULONG MemorySize(const VgaDeviceExtension* ext, UCHAR sr10) {
  if (kSr10EightMegabytes.Of(sr10)) return 0x800000;
  switch (kSr0fMemorySize.Of(SeqRead(ext, SR0F_SIZE_AND_REFRESH))) {
    case 0:
      return 0x100000;
    case 1:
      return 0x200000;
    case 2:
      return 0x400000;
    default: {
      // Bank count from SR2F; a bank is 512 KB on a 64-bit bus, 256 KB on 32.
      const ULONG unit = ext->MemoryBusWidth == 64 ? 0x80000 : 0x40000;
      return (kSr2fMemoryUnits.Of(SeqRead(ext, SR2F_MEMORY_BANKS)) + 1) * unit;
    }
  }
}

UCHAR MemoryType(const VgaDeviceExtension* ext) {
  const UCHAR sr23 = SeqRead(ext, SR23_MEMORY_TYPE);
  const UCHAR sr33 = SeqRead(ext, SR33_MEMORY_KIND);
  if (kSr33MemoryType2.Of(sr33) || kSr33MemoryType3.Of(sr33)) {
    return kSr33MemoryType3.Of(sr33) ? 3 : 2;
  }
  return kSr23MemoryType1.Of(sr23) ? 1 : 0;
}

USHORT MemoryClockMHz(const VgaDeviceExtension* ext, UCHAR sr10) {
  // Strapped boards select one of four fixed clocks in SR10.
  if (ext->MemoryStrapFlag) {
    switch (kSr10StrapClock.Of(sr10)) {
      case 1:
        return 75;
      case 2:
        return 83;
      case 3:
        return 100;
      default:
        return 66;
    }
  }

  // Synthesizer: f = 14.318 MHz * N / (P * D).
  const UCHAR sr13 = SeqRead(ext, SR13_MCLK_POST);
  const UCHAR sr28 = SeqRead(ext, SR28_MCLK_NUMERATOR);
  const UCHAR sr29 = SeqRead(ext, SR29_MCLK_DENOMINATOR);
  ULONG n = kSr28Numerator.Of(sr28) + 1;
  if (kSr28NumeratorDoubled.Of(sr28)) n *= 2;
  const ULONG d = kSr29Denominator.Of(sr29) + 1;
  ULONG p = kSr29PostDivider.Of(sr29) + 1;
  if (kSr13PostDoubled.Of(sr13)) p *= 2;
  const ULONG kHz = (n * kReferenceKHz) / (p * d);
  return static_cast<USHORT>((kHz + 500) / 1000);
}

VOID SetRegistryValue(VgaDeviceExtension* ext, const WCHAR* name, const void* data, ULONG length) {
  VideoPortSetRegistryParameters(ext, const_cast<PWSTR>(name), const_cast<PVOID>(data), length);
}

}  // namespace

BOOLEAN ZelIsPresent(VgaDeviceExtension* ext) {
  // The extended sequencer registers stay open for the rest of the driver.
  SeqWrite16(ext, SR05_UNLOCK, kSr05UnlockKey);
  if (SeqReadData(ext) != kSr05ReadsUnlocked) return FALSE;

  const RomIds ids = ReadOptionRom(ext);
  if (!ids.known || ids.vendor != kZelVendor) return FALSE;

  const UCHAR sr10 = SeqRead(ext, SR10_MEMORY_CONFIG);
  if (kSr10HighAperture.Of(sr10))
    VgaAccessRange[VGA_LINEAR_ACCESS_RANGE].RangeStart = PhysicalAddress(kHighLinearBase);

  const UCHAR revision = ScanPci(ext, ids);

  if (ids.device != kZelDevice) return FALSE;

  ext->MemoryStrapFlag = kSr0dMemoryStrap.Of(SeqRead(ext, SR0D_STRAPS));
  ext->ChipType = (revision & 0x0F) >= kFirstB1Revision ? kChipB1 : kChipA1;
  ext->MemoryBusWidth = BusWidth(SeqRead(ext, SR0C_BUS_CONFIG));

  ext->VideoMemorySize = MemorySize(ext, sr10);
  MemoryMaps[VGA_LINEAR_MEMORY_MAP].Length = ext->VideoMemorySize;

  ext->MemoryType = MemoryType(ext);
  ext->MemoryClockMHz = MemoryClockMHz(ext, sr10);

  VgaValidateModes(ext);

  // Reported for information only: a failed write changes nothing.
  if (ext->ChipType == kChipB1) {
    SetRegistryValue(ext, kChipTypeValue, kChipNameB1, sizeof(kChipNameB1));
  } else {
    SetRegistryValue(ext, kChipTypeValue, kChipNameA1, sizeof(kChipNameA1));
  }
  SetRegistryValue(ext, kDacTypeValue, kDacName, sizeof(kDacName));
  SetRegistryValue(ext, kMemorySizeValue, &ext->VideoMemorySize, sizeof(ext->VideoMemorySize));
  SetRegistryValue(ext, kAdapterStringValue, kAdapterString, sizeof(kAdapterString));
  return TRUE;
}
