// What the harnesses share: adapter profiles from fuzz input, a loaded
// machine, and requests sent with buffers of exactly their stated lengths
// and checked against every invariant.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz/input.h"
#include "miniport/videoport.h"
#include "sim/machine.h"
#include "sim/profile.h"

namespace fuzz {

// A profile the model accepts: chip, memory size, bus width, memory type,
// strap and clock, ROM size, chosen by the input.
sim::Profile ReadProfile(Input& in);

// Builds the machine and loads the driver, checking the load like any step.
// Null when the profile cannot be encoded or no adapter was found. A
// power-on state met before starts from its adapter as the POST left it
// instead of running the POST again.
std::unique_ptr<sim::Machine> LoadMachine(const sim::Profile& profile, const std::string& where);

struct Request {
  ULONG code = 0;
  std::vector<uint8_t> input;  // exactly InputBufferLength bytes
  ULONG outputLength = 0;
  uint8_t outputFill = 0;
  bool sameBuffer = false;  // METHOD_BUFFERED: one buffer of the larger length
  // Save and restore: the hardware state buffer the record points at,
  // allocated at exactly this size. Without it, a save gets a buffer of the
  // size discovery reported and a restore one of the StateLength given.
  // The bytes stay the caller's and must outlive the request.
  std::optional<std::span<const uint8_t>> state;
};

struct Answer {
  sim::Machine::Result result;
  std::vector<uint8_t> output;  // the output buffer (or the one buffer) afterwards
  std::vector<uint8_t> state;   // a save's hardware state buffer afterwards
};

// Sends the request with heap buffers of exactly their lengths, then checks
// the invariants; a refusal must have changed nothing but what it may write.
Answer Send(sim::Machine& machine, const Request& request, const std::string& where);

// The size of the hardware state buffer a save fills.
inline constexpr ULONG kStateSize = 264359;

// A request read from the input: a control code (accepted, a neighbour, or
// anything), lengths around the record sizes, contents and buffer sharing.
Request ReadRequest(Input& in);

std::string Describe(const Request& request);

// The requests the harnesses make on purpose, each checked as any other.
Answer EnableVdm(sim::Machine& machine, const std::string& where);
Answer SetMode(sim::Machine& machine, uint8_t mode, const std::string& where);
// A save into `buffer`, a restore of `state` (StateLength its size).
Answer Save(sim::Machine& machine, std::span<const uint8_t> buffer, const std::string& where);
Answer Restore(sim::Machine& machine, std::span<const uint8_t> state, const std::string& where);

// A session's port access through the V86 emulator, then the checks.
void SessionAccess(sim::Machine& machine, unsigned width, uint16_t port, bool write, uint32_t value,
                   const std::string& where);

}  // namespace fuzz
