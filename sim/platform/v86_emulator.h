// The V86 emulator's side of a full-screen session: which port accesses it
// traps, and which validator of the driver's emulator table it hands them to.
//
// Until the driver installs a trap set, every port its emulator table names
// is trapped. Afterwards the installed rows decide, in order, the last row
// covering a port winning (RangeVisible 1: direct, 0: trapped); a port no row
// covers is direct. A wide access is trapped when any of its bytes is, as
// the processor's I/O permission map decides. A row validates only the
// directions its AccessMode names; a validator's refusal throws.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "miniport/videoport.h"
#include "sim/pe/driver_call.h"
#include "sim/platform/port_bus.h"

namespace sim::platform {

class V86Emulator {
 public:
  V86Emulator(PortBus& ports, const DriverCallGate& gate) : ports_(ports), gate_(gate) {}

  // The emulator table and context from a successful find-adapter.
  void SetEmulatorTable(std::span<const EMULATOR_ACCESS_ENTRY> entries, ULONG_PTR context);
  void InstallTrapSet(std::span<const VIDEO_ACCESS_RANGE> rows);
  const std::vector<VIDEO_ACCESS_RANGE>& TrapSet() const { return trapSet_; }
  void Reset();

  // What the emulator holds, for snapshots.
  struct State {
    std::vector<EMULATOR_ACCESS_ENTRY> entries;
    ULONG_PTR context;
    bool trapSetInstalled;
    std::vector<VIDEO_ACCESS_RANGE> trapSet;
  };
  State Save() const { return {entries_, context_, trapSetInstalled_, trapSet_}; }
  void Restore(const State& s);

  bool Trapped(uint16_t port) const;
  uint32_t In(unsigned size, uint16_t port);
  void Out(unsigned size, uint16_t port, uint32_t value);

 private:
  bool AccessTrapped(unsigned size, uint16_t port) const;
  // The validator row for a trapped access of this size and direction, or
  // null: then the access goes to the hardware like an untrapped one.
  const EMULATOR_ACCESS_ENTRY* Row(unsigned size, uint16_t port, UCHAR mode) const;
  // Throws std::runtime_error naming the access when status is not NO_ERROR.
  static void Check(VP_STATUS status, unsigned size, uint16_t port, bool write);

  PortBus& ports_;
  const DriverCallGate& gate_;
  std::vector<EMULATOR_ACCESS_ENTRY> entries_;
  ULONG_PTR context_ = 0;
  bool trapSetInstalled_ = false;
  std::vector<VIDEO_ACCESS_RANGE> trapSet_;
};

}  // namespace sim::platform
