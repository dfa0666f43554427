// Session harness: a full-screen session's trapped port accesses (bytes,
// words and dwords, reads and writes, anywhere in 0x3B0-0x3DF) through the
// V86 emulator and the driver's validators, interleaved with VDM enable,
// hardware state saves, restores of what was saved, and other requests.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The ports a DOS program and the validators care most about, so that
  // runs reach them often; the others come from the whole block.
  static const uint16_t kBusyPorts[] = {0x3C4, 0x3C5, 0x3CE, 0x3CF, 0x3D4, 0x3D5, 0x3C0,
                                        0x3DA, 0x3C7, 0x3C8, 0x3C9, 0x3C2, 0x3CC, 0x3C6};
  static const unsigned kWidths[] = {1, 1, 1, 2, 2, 4};
  static const uint8_t kModes[] = {0, 1, 2, 12, 40};
  fuzz::Input in({data, size});
  sim::Machine* machine = fuzz::LoadMachine(fuzz::ReadProfile(in), "session");
  if (!machine) return 0;

  std::span<const uint8_t> saved;  // the last state a save filled
  for (int step = 0; step < 96 && !in.Empty(); ++step) {
    const std::string where = "session step " + std::to_string(step);
    const uint8_t op = in.U8();
    if (op < 176) {
      const unsigned width = in.Pick(kWidths);
      const uint16_t port = in.Bool() ? in.Pick(kBusyPorts) : 0x3B0 + in.Below(0x30);
      const bool write = in.U8() < 192;
      const uint32_t value = !write ? 0 : width == 1 ? in.U8() : width == 2 ? in.U16() : in.U32();
      // Every byte of the access inside the block.
      fuzz::SessionAccess(*machine, width, std::min<uint16_t>(port, 0x3E0 - width), write, value,
                          where);
    } else if (op < 192) {
      fuzz::EnableVdm(*machine, where);
    } else if (op < 208) {
      const fuzz::Answer answer = fuzz::Save(*machine, in.U8(), where);
      if (answer.result.status == NO_ERROR) saved = answer.state;
    } else if (op < 224) {
      if (!saved.empty()) fuzz::Restore(*machine, saved, where);
    } else if (op < 240) {
      fuzz::SetMode(*machine, in.Pick(kModes), where);
    } else {
      fuzz::Send(*machine, fuzz::ReadRequest(in), where);
    }
  }
  return 0;
}
