// Identification harness: arbitrary adapter profiles (revision, memory
// straps, bus width, clocks, PCI placement and BAR, ROM IDs and PCI data
// structure, register defects) and option ROM images through the driver's
// load; an adapter that was found then answers the mode queries and sets
// one of the modes it lists.
#include <stdexcept>

#include "fuzz/harness.h"

namespace {

// Every field free within what the model can encode: a setting the model
// refuses never reaches the driver, and a C++ exception thrown under
// qemu-i386 can upset AddressSanitizer's stack bookkeeping in long runs.
// Raw register values beyond the settings come in through seqOverrides.
sim::Profile ReadWildProfile(fuzz::Input& in) {
  static const uint32_t kMemory[] = {1, 2, 4, 8};
  static const uint32_t kRom[] = {32, 48, 64, 0, 1, 16, 127};
  static const uint32_t kStrap1Clocks[] = {66, 75, 83, 100};
  static const uint32_t kRamTop[] = {0x04000000, 0x00100000, 0xE0000000, 0xE0800000, 0xFFFFFFFF};
  sim::Profile p;
  const uint8_t flags = in.U8();
  p.revision = in.U8();
  p.memoryMB = in.Pick(kMemory);
  p.busWidth = (in.U8() & 1) ? 64 : 32;
  p.memoryType = in.U8() & 3;
  p.strap = in.U8() & 1;
  p.memoryClockMHz = p.strap ? in.Pick(kStrap1Clocks) : in.U8();
  // Clocks the memory clock synthesizer cannot give (with strap 0).
  for (uint32_t unencodable : {0, 171, 201, 228, 230})
    if (p.memoryClockMHz == unencodable) p.memoryClockMHz = 100;
  p.romKB = in.Pick(kRom);
  p.pciBus = in.U8();
  p.pciDevice = in.U8() & 0x3F;
  p.onPciBus = (flags & 4) == 0;
  if (flags & 8) p.bar0 = in.U32();
  if (flags & 16) {
    p.romVendor = in.U16();
    p.romDevice = in.U16();
  }
  if (flags & 32) p.romPcirOffset = in.U16();
  p.sr10Bit6 = (flags & 64) != 0;
  p.ramTop = in.Pick(kRamTop);
  const uint8_t defects = in.U8();
  if (flags & 128) {
    p.defects.graphicsIndexMasked = defects & 1;
    p.defects.bitMaskStuckLow = (defects & 2) ? in.U8() : 0;
    p.defects.graphicsDataNotIndexed = defects & 4;
    p.defects.sequencerIndexMasked = defects & 8;
    p.defects.chain4Stuck = defects & 16;
    p.defects.graphicsIndexThreeBits = defects & 32;
    p.defects.zelBankAbsent = defects & 64;
  }
  for (uint32_t i = 0, overrides = in.Below(5); i < overrides; ++i) {
    const auto index = static_cast<uint8_t>(0x05 + in.Below(0xFB));
    p.seqOverrides[index] = in.U8();
  }
  return p;
}

// The ROM the settings build, then bytes changed, cut short or grown.
void FuzzRom(fuzz::Input& in, sim::Profile& p) {
  const uint8_t how = in.U8();
  if (how < 128) return;
  std::vector<uint8_t> rom;
  try {
    rom = sim::DerivePowerOn(p).optionRom;
  } catch (const std::invalid_argument&) {
    return;
  }
  if (how & 1) rom.resize(in.U32() % 0x20000, in.U8());
  for (uint32_t i = 0, patches = in.Below(9); i < patches && !rom.empty(); ++i) {
    // The header, the PCI data structure and its pointer are where the
    // identification looks; half the patches land in the first 0x80 bytes.
    const uint32_t at = in.Bool() ? in.Below(0x80) : in.U32();
    rom[at % rom.size()] = in.U8();
  }
  p.romImage = std::move(rom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in({data, size});
  sim::Profile profile = ReadWildProfile(in);
  FuzzRom(in, profile);
  sim::Machine* machine = fuzz::LoadMachine(profile, "identification", /*loadEachTime=*/true);
  if (!machine) return 0;

  const fuzz::Answer count = fuzz::Send(
      *machine,
      {.code = IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, .outputLength = sizeof(VIDEO_NUM_MODES)},
      "identification, mode count");
  if (count.result.status != NO_ERROR) return 0;
  const ULONG modes = reinterpret_cast<const VIDEO_NUM_MODES*>(count.output.data())->NumModes;
  const auto length = static_cast<ULONG>(modes * sizeof(VIDEO_MODE_INFORMATION));
  const fuzz::Answer list =
      fuzz::Send(*machine, {.code = IOCTL_VIDEO_QUERY_AVAIL_MODES, .outputLength = length},
                 "identification, mode list");
  if (list.result.status != NO_ERROR || modes == 0) return 0;
  // The mode the input picks among those listed.
  const auto* listed = reinterpret_cast<const VIDEO_MODE_INFORMATION*>(list.output.data());
  fuzz::SetMode(*machine, listed[in.Below(modes)].ModeIndex, "identification");
  return 0;
}
