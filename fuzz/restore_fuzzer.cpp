// Restore harness: a genuine hardware state buffer, saved on the model at
// start-up, mutated by the input (header fields, register blocks, the
// validator block, any byte) and handed to IOCTL_VIDEO_RESTORE_HARDWARE_STATE
// with any StateLength, in a buffer of exactly that length. A restore that
// succeeds is followed by a few accesses of the session it brought back.
#include <cstring>
#include <iterator>

#include "fuzz/harness.h"

namespace {

// Where the header (39 fields), the register blocks, the validator block
// and the planes lie in a save.
constexpr uint32_t kHeaderSize = 156;
constexpr uint32_t kValidatorOffset = 999;
constexpr uint32_t kValidatorSize = 1216;
constexpr uint32_t kPlanesOffset = 2215;

// A save with an empty recording ([0]), and one made while the sequencer was
// held in synchronous reset by the session, so that the validator block is
// in it ([1]).
const std::vector<uint8_t>* GenuineStates() {
  static std::vector<uint8_t> genuine[2];
  if (!genuine[0].empty()) return genuine;
  const char* where = "restore set-up";
  sim::Machine* machine = fuzz::LoadMachine(sim::Profile::Default(), where);
  if (!machine) fuzz::Fail(where, "the default adapter did not load");
  fuzz::EnableVdm(*machine, where);
  for (auto& state : genuine) {
    if (&state == &genuine[1]) {
      // SR00 := 0x01 by the session: the validators start recording; two
      // more writes join the recording.
      machine->V86Out(1, 0x3C4, 0x00);
      machine->V86Out(1, 0x3C5, 0x01);
      machine->V86Out(2, 0x3CE, 0x0F05);
      machine->V86Out(1, 0x3C4, 0x02);
      machine->trace().Clear();
    }
    const fuzz::Answer answer = fuzz::Save(*machine, 0x00, where);
    if (answer.result.status != NO_ERROR) fuzz::Fail(where, "a genuine save failed");
    fuzz::CopyInto(state, answer.state);
  }
  const auto* header = reinterpret_cast<const VIDEO_HARDWARE_STATE_HEADER*>(genuine[1].data());
  if ((header->VGAStateFlags & VIDEO_STATE_UNEMULATED_VGA_STATE) == 0)
    fuzz::Fail(where, "the save during a recording carries no validator state");
  return genuine;
}

// One change to the buffer: a header field set to a telling value, or raw
// bytes in the header, the register blocks, the validator block or anywhere.
void Patch(fuzz::Input& in, std::vector<uint8_t>& state) {
  const uint8_t kind = in.U8();
  if (state.empty()) return;
  const auto length = static_cast<uint32_t>(state.size());
  if (kind < 96) {
    const uint32_t at = 4 * in.Below(kHeaderSize / 4);
    uint32_t genuine = 0;
    if (at + 4 <= length) std::memcpy(&genuine, &state[at], 4);
    const uint32_t choices[] = {
        0,       1,       genuine + 1, genuine - 1, length, length - 1, length - kValidatorSize,
        0x10000, 0x10001, 0x7FFFFFFF,  0xFFFFFFFF};
    const uint32_t choice = in.Below(std::size(choices) + 1);
    const uint32_t value = choice < std::size(choices) ? choices[choice] : in.U32();
    if (at + 4 <= length) std::memcpy(&state[at], &value, 4);
    return;
  }
  uint32_t at = kind < 144   ? in.Below(kPlanesOffset)  // header and register blocks
                : kind < 224 ? kValidatorOffset + in.Below(kValidatorSize)
                             : in.U32() % length;
  for (uint8_t byte : in.Bytes(1 + in.Below(8)))
    if (at < length) state[at++] = byte;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kModes[] = {0, 1, 2, 12};
  static const unsigned kWidths[] = {1, 2, 4};
  const std::vector<uint8_t>* genuine = GenuineStates();
  fuzz::Input in({data, size});
  sim::Machine* machine = fuzz::LoadMachine(fuzz::ReadProfile(in), "restore");
  if (!machine) return 0;

  const uint8_t setup = in.U8();
  if (setup & 1) fuzz::EnableVdm(*machine, "restore");
  if (setup & 6) fuzz::SetMode(*machine, kModes[(setup >> 1) & 3], "restore");

  // A StateLength: the right one, one short, a little long, or anything.
  uint32_t stateLength = fuzz::kStateSize;
  const uint8_t lengthKind = in.U8() & 7;
  if (lengthKind == 0) stateLength = fuzz::kStateSize - 1;
  if (lengthKind == 1) stateLength = fuzz::kStateSize + in.U16() % 4096;
  if (lengthKind == 2) stateLength = in.U32() % (fuzz::kStateSize + 4096);
  // The genuine bytes, then the input's fill up to the length (copied with
  // memcpy: std::copy of bytes is slow under AddressSanitizer on i386).
  const std::vector<uint8_t>& saved = genuine[(setup >> 3) & 1];
  static std::vector<uint8_t> state;  // its storage reused
  state.assign(stateLength, in.U8());
  if (!state.empty()) std::memcpy(state.data(), saved.data(), std::min(saved.size(), state.size()));
  for (uint32_t i = 0, patches = in.Below(17); i < patches; ++i)
    Patch(in, state);
  if (fuzz::Restore(*machine, state, "restore").result.status != NO_ERROR) return 0;

  // The session the buffer brought back goes on: its recorded writes are
  // played back through the validators.
  for (uint32_t i = 0, accesses = in.Below(9); i < accesses; ++i) {
    const unsigned width = in.Pick(kWidths);
    const auto port = static_cast<uint16_t>(0x3B0 + in.Below(0x30 - width + 1));
    const bool write = in.Bool();
    fuzz::SessionAccess(*machine, width, port, write, write ? in.U32() : 0,
                        "restore, session access " + std::to_string(i));
  }
  return 0;
}
