// Restore harness: a genuine hardware state buffer, saved on the model at
// start-up, mutated by the input (header fields, register blocks, the
// validator block, any byte) and handed to IOCTL_VIDEO_RESTORE_HARDWARE_STATE
// with any StateLength, in a buffer of exactly that length. A restore that
// succeeds is followed by a few accesses of the session it brought back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "fuzz/input.h"
#include "fuzz/invariants.h"

namespace {

constexpr uint32_t kHeaderSize = 156;
constexpr uint32_t kValidatorOffset = 999;
constexpr uint32_t kValidatorSize = 1216;
constexpr uint32_t kPlanesOffset = 2215;
constexpr uint32_t kHeaderFields = kHeaderSize / 4;
constexpr int kMaxPatches = 16;
constexpr int kMaxSessionAccesses = 8;

void Put32(std::vector<uint8_t>& bytes, uint32_t at, uint32_t value) {
  if (at + 4 <= bytes.size()) std::memcpy(bytes.data() + at, &value, 4);
}

uint32_t Get32(const std::vector<uint8_t>& bytes, uint32_t at) {
  uint32_t value = 0;
  if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

// A save with an empty recording, and one made while the sequencer was held
// in synchronous reset by the session, so that the validator block is in it.
struct Genuine {
  std::vector<uint8_t> plain;
  std::vector<uint8_t> recording;
};

std::vector<uint8_t> GenuineSave(sim::Machine& machine, const char* what) {
  static const std::vector<uint8_t> zeros(fuzz::kStateSize, 0);
  const fuzz::Answer answer = fuzz::Save(machine, zeros, std::string("restore set-up, ") + what);
  if (answer.result.status != NO_ERROR) {
    fuzz::Fail("restore set-up", std::string("the genuine save failed: ") + what);
  }
  return answer.state;
}

const Genuine& GenuineStates() {
  static const Genuine genuine = [] {
    Genuine g;
    auto machine = fuzz::LoadMachine(sim::Profile::Default(), "restore set-up");
    if (!machine) fuzz::Fail("restore set-up", "the default adapter did not load");
    fuzz::EnableVdm(*machine, "restore set-up");
    g.plain = GenuineSave(*machine, "no recording");
    // SR00 := 0x01 by the session: the validators start recording; two more
    // writes join the recording.
    machine->V86Out(1, 0x3C4, 0x00);
    machine->V86Out(1, 0x3C5, 0x01);
    machine->V86Out(2, 0x3CE, 0x0F05);
    machine->V86Out(1, 0x3C4, 0x02);
    machine->trace().Clear();
    g.recording = GenuineSave(*machine, "recording");
    if ((Get32(g.recording, offsetof(VIDEO_HARDWARE_STATE_HEADER, VGAStateFlags)) &
         VIDEO_STATE_UNEMULATED_VGA_STATE) == 0) {
      fuzz::Fail("restore set-up", "the save during a recording carries no validator state");
    }
    return g;
  }();
  return genuine;
}

uint32_t ReadStateLength(fuzz::Input& in) {
  switch (in.U8() & 7) {
    case 0:
      return fuzz::kStateSize - 1;
    case 1:
      return fuzz::kStateSize + in.U16() % 4096;
    case 2:
      return in.U32() % (fuzz::kStateSize + 4096);
    default:
      return fuzz::kStateSize;
  }
}

// One change to the buffer: a header field set to a telling value, or raw
// bytes in the header, the register blocks, the validator block or anywhere.
void Patch(fuzz::Input& in, std::vector<uint8_t>& state, uint32_t stateLength) {
  const uint8_t kind = in.U8();
  if (state.empty()) return;
  if (kind < 96) {
    const uint32_t at = 4 * in.Below(kHeaderFields);
    const uint32_t genuine = Get32(state, at);
    const uint32_t choices[] = {0,
                                1,
                                genuine + 1,
                                genuine - 1,
                                stateLength,
                                stateLength - 1,
                                stateLength - kValidatorSize,
                                0x10000,
                                0x10001,
                                0x7FFFFFFF,
                                0xFFFFFFFF};
    const uint32_t choice = in.Below(std::size(choices) + 1);
    Put32(state, at, choice < std::size(choices) ? choices[choice] : in.U32());
    return;
  }
  uint32_t at = 0;
  if (kind < 144) {
    at = in.Below(kPlanesOffset);  // header and register blocks
  } else if (kind < 224) {
    at = kValidatorOffset + in.Below(kValidatorSize);
  } else {
    at = in.U32() % static_cast<uint32_t>(state.size());
  }
  const std::vector<uint8_t> bytes = in.Bytes(1 + in.Below(8));
  for (size_t i = 0; i < bytes.size() && at + i < state.size(); ++i)
    state[at + i] = bytes[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Genuine& genuine = GenuineStates();
  fuzz::Input in({data, size});
  const sim::Profile profile = fuzz::ReadProfile(in);
  auto machine = fuzz::LoadMachine(profile, "restore");
  if (!machine) return 0;

  const uint8_t setup = in.U8();
  if (setup & 1) fuzz::EnableVdm(*machine, "restore");
  static const uint8_t kModes[] = {0, 1, 2, 12};
  if (setup & 6) fuzz::SetMode(*machine, kModes[(setup >> 1) & 3], "restore");

  const uint32_t stateLength = ReadStateLength(in);
  // The genuine bytes, then the input's fill up to the length (copied with
  // memcpy: std::copy of bytes is slow under AddressSanitizer on i386).
  const std::vector<uint8_t>& saved = (setup & 8) ? genuine.recording : genuine.plain;
  std::vector<uint8_t> state(stateLength, in.U8());
  if (!state.empty()) {
    std::memcpy(state.data(), saved.data(), std::min<size_t>(saved.size(), stateLength));
  }
  const int patches = in.Below(kMaxPatches + 1);
  for (int i = 0; i < patches; ++i)
    Patch(in, state, stateLength);

  const fuzz::Answer answer = fuzz::Restore(*machine, state, "restore");
  if (answer.result.status != NO_ERROR) return 0;

  // The session the buffer brought back goes on: its recorded writes are
  // played back through the validators.
  const int accesses = in.Below(kMaxSessionAccesses + 1);
  for (int i = 0; i < accesses; ++i) {
    const unsigned sizes[] = {1, 2, 4};
    const unsigned width = in.Pick(sizes);
    const auto port = static_cast<uint16_t>(0x3B0 + in.Below(0x30 - width + 1));
    const bool write = in.Bool();
    const uint32_t value = write ? in.U32() : 0;
    fuzz::SessionAccess(*machine, width, port, write, value,
                        "restore, session access " + std::to_string(i));
  }
  return 0;
}
