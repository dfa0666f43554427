// What must hold after every step of every harness. A broken invariant
// prints where (harness, step, request) and how, then aborts, which the
// fuzzer reports as a crash with the input that led there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/machine.h"

namespace fuzz {

std::string Hex(uint32_t value);

[[noreturn]] void Fail(const std::string& where, const std::string& what);

// The driver's record between two steps: at most 98 recorded validator
// writes, and CurrentMode null or the row ModeIndex names.
void CheckAtRest(sim::Machine& machine, const std::string& where);

enum class Scope {
  Loading,  // discovery also reaches the PCI configuration ports
  Request,  // the VGA ports only; retrace and blanking waits end within two frames
  Session,  // a session's own accesses and the validators': the VGA ports only
};

// The accesses recorded since `mark`: every port access inside the adapter's
// block 0x3B0-0x3DF (or the PCI configuration ports while loading), and in
// requests no run of input status reads longer than a wait that the
// free-running display timing ends. Clears the trace afterwards.
void CheckAccesses(sim::Machine& machine, size_t mark, Scope scope, const std::string& where);

}  // namespace fuzz
