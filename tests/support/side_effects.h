// What a refused request must leave alone: the device extension, the
// adapter's whole register state and video memory, the trap set, and the
// caller's buffers apart from the few bytes a refusal may write. Shared by
// the refusal tests and the fuzz harnesses; no GoogleTest in here.
//
// Video memory is not copied: Capture starts the adapter's change record,
// and ChangesSince compares only the pages written since.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/adapter.h"
#include "sim/machine.h"

namespace test {

struct MachineState {
  std::vector<uint8_t> extension;
  sim::VgaState vga;               // registers only: the planes are part of vram
  std::array<uint8_t, 256> seq{};  // every sequencer index as stored, the Zel ones included
  uint8_t bankSelect = 0;
  bool extendedUnlocked = false;
  uint8_t keyPort3BF = 0;
  uint8_t keyPortMode = 0;
  std::vector<uint8_t> trapSet;  // the installed trap rows, byte for byte
};

// Everything above into `into` (reusing its storage), taken without side
// effects on what the adapter answers, and the start of its change record.
void Capture(sim::Machine& machine, MachineState& into);

// Every difference between `before` and the machine as it is now, one per
// line ("device extension 0x0010: 0x00 -> 0x05", "SR35: 0x00 ->
// 0x20", "video memory 0x1234: 0x00 -> 0x41"), at most `limit` lines.
std::vector<std::string> ChangesSince(const MachineState& before, sim::Machine& machine,
                                      size_t limit = 20);

// Statuses after which a request counts as refused.
bool Refused(VP_STATUS status);

// The caller's buffers as one request saw them. When input and output are
// one buffer, `sameBuffer` is set and only the input spans are used.
struct CallerBuffers {
  std::span<const uint8_t> inBefore, inAfter;
  std::span<const uint8_t> outBefore, outAfter;
  bool sameBuffer = false;
};

// The caller's bytes a request with this code and status changed beyond
// what a refusal (or the partial answer of ERROR_MORE_DATA) may write: the
// cleared bit 31 of a refused mode number, the fixed part of the bank-select
// record. Empty when nothing else changed.
std::vector<std::string> UnallowedBufferWrites(ULONG code, VP_STATUS status,
                                               const CallerBuffers& buffers, size_t limit = 20);

// The one refusal that may touch the adapter: with the hardware pointer
// available, a pointer shape that passes the length and size checks but is
// not monochrome hides the pointer (SR06 bit 6 cleared, the sequencer index
// left at 0x06) unless its flags ask for an animated update, and is then
// refused.
bool RefusalHidesPointer(ULONG code, VP_STATUS status, std::span<const uint8_t> input,
                         bool pointerAvailable);
// `before` as that refusal leaves it.
void HidePointer(MachineState& before);

// The Information values a refusal of this code may leave: the size a query
// tells a caller whose buffer is short, else 0. `availableModes` is the
// device extension's NumAvailableModes.
std::vector<ULONG> AllowedRefusalInformation(ULONG code, VP_STATUS status, ULONG availableModes);

}  // namespace test
