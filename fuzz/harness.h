// What the harnesses share: the input read as the choices of one run,
// adapter profiles, a loaded machine, and requests and session accesses
// checked against every invariant. A broken invariant prints where
// (harness, step, request) and how, then aborts, which the fuzzer reports
// as a crash with the input that led there.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/machine.h"
#include "sim/profile.h"

namespace fuzz {

// The fuzzer's bytes read front to back. Past the end every read gives 0,
// so any input, even an empty one, is a whole run.
class Input {
 public:
  explicit Input(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool Empty() const { return at_ >= bytes_.size(); }
  size_t Position() const { return at_; }  // bytes read so far
  uint8_t U8() { return Empty() ? 0 : bytes_[at_++]; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
  bool Bool() { return (U8() & 1) != 0; }
  // A value below `count` (count > 0).
  uint32_t Below(uint32_t count) { return count <= 256 ? U8() % count : U32() % count; }
  template <typename T, size_t N>
  const T& Pick(const T (&choices)[N]) {
    return choices[Below(N)];
  }
  // Up to `count` bytes, fewer when the input runs out.
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t n = Empty() ? 0 : std::min(count, bytes_.size() - at_);
    at_ += n;
    return {bytes_.begin() + at_ - n, bytes_.begin() + at_};
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what);

// A profile the model accepts: chip, memory size, bus width, memory type,
// strap and clock, ROM size, chosen by the input.
sim::Profile ReadProfile(Input& in);

// The machine of this profile, booted, with the driver loaded and its load
// checked like any step, from a snapshot kept for the profile: as if built
// and loaded afresh, at the cost of what the last execution on it changed.
// With `loadEachTime`, the snapshot is of the booted machine and the load
// runs (and is checked) on every call. Null when the profile cannot be
// encoded or no adapter was found. The machine stays with the harness.
sim::Machine* LoadMachine(const sim::Profile& profile, const std::string& where,
                          bool loadEachTime = false);

// The same for a harness that keeps more than one machine, or starts each
// execution from more than the load.
struct Start {
  int slot = 0;  // the harness's machine: 0 or 1, each with snapshots of its own
  // After the load, before the snapshot: what every execution of this
  // opening starts with (the opening's value is part of the snapshot's key).
  uint8_t opening = 0;
  std::function<void(sim::Machine&)> open{};
};
sim::Machine* LoadMachine(const sim::Profile& profile, const std::string& where,
                          const Start& start);

struct Request {
  ULONG code = 0;
  // The input buffer: its first bytes, then `inputFill` up to
  // `inputLength` (InputBufferLength; none: the first bytes alone).
  std::vector<uint8_t> input{};
  std::optional<ULONG> inputLength{};
  uint8_t inputFill = 0;
  ULONG outputLength = 0;
  uint8_t outputFill = 0;
  bool sameBuffer = false;  // METHOD_BUFFERED: one buffer of the larger length
  // Save and restore: the hardware state buffer the record points at,
  // allocated at exactly this size. Without it, a save gets a buffer of the
  // size a save fills and a restore one of the StateLength given.
  std::optional<std::span<const uint8_t>> state{};
  uint8_t stateFill = 0;  // without `state`: every byte of the state buffer
};

// What a request gave back: the output buffer (or the one buffer),
// valid until the next request, and a successful save's hardware state
// buffer, valid until the next successful save.
struct Answer {
  sim::Machine::Result result;
  std::span<const uint8_t> output;
  std::span<const uint8_t> state;
};

// Bytes copied with memcpy, the vector's storage reused: under
// AddressSanitizer on i386 the memmove that std::copy becomes goes byte by
// byte, and these are hundreds of KB.
void CopyInto(std::vector<uint8_t>& to, std::span<const uint8_t> from);

// The size of the hardware state buffer a save fills.
inline constexpr ULONG kStateSize = 264359;

// A request read from the input: a control code (accepted, a neighbour, or
// anything), lengths around the record sizes, contents and buffer sharing.
Request ReadRequest(Input& in);

// How a request is sent: checked against every invariant (unchecked: a
// machine that only serves as a reference), and where a successful save's
// state buffer is kept (none: a buffer of the machine's own, until its next
// save that keeps it there).
struct Sending {
  bool checked = true;
  std::vector<uint8_t>* keep = nullptr;
};

// Sends the request with heap buffers of exactly their lengths, then checks
// the invariants; a refusal must have changed nothing but what it may write.
Answer Send(sim::Machine& machine, const Request& request, const std::string& where,
            const Sending& sending = {});

// The requests the harnesses make on purpose, each checked as any other.
Answer EnableVdm(sim::Machine& machine, const std::string& where, const Sending& sending = {});
Answer SetMode(sim::Machine& machine, ULONG mode, const std::string& where,
               const Sending& sending = {});
// A save into a state buffer whose bytes are all `fill` before.
Answer Save(sim::Machine& machine, uint8_t fill, const std::string& where,
            const Sending& sending = {});
Answer Restore(sim::Machine& machine, std::span<const uint8_t> state, const std::string& where,
               const Sending& sending = {});
Answer ResetDevice(sim::Machine& machine, const std::string& where, const Sending& sending = {});

// A session's port access through the V86 emulator, then the checks; the
// value read (0 for a write).
uint32_t SessionAccess(sim::Machine& machine, unsigned width, uint16_t port, bool write,
                       uint32_t value, const std::string& where);

// The invariants after a session's accesses since `mark` (their ports, the
// mappings, the driver's record at rest); clears the trace.
void CheckSession(sim::Machine& machine, size_t mark, const std::string& where);

}  // namespace fuzz
