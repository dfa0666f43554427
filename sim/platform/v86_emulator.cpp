#include "sim/platform/v86_emulator.h"

#include <cstdio>
#include <stdexcept>

namespace sim::platform {
namespace {

unsigned EntrySize(EMULATOR_PORT_ACCESS_TYPE type) {
  switch (type) {
    case Uchar:
      return 1;
    case Ushort:
      return 2;
    case Ulong:
      return 4;
  }
  return 0;
}

bool Covers(const EMULATOR_ACCESS_ENTRY& e, uint16_t port) {
  const uint64_t span = uint64_t{e.NumConsecutivePorts} * EntrySize(e.AccessType);
  return port >= e.BasePort && port - e.BasePort < span;
}

bool Covers(const VIDEO_ACCESS_RANGE& r, uint16_t port) {
  const auto start = static_cast<uint64_t>(r.RangeStart.QuadPart);
  return r.RangeInIoSpace && port >= start && port - start < r.RangeLength;
}

}  // namespace

void V86Emulator::SetEmulatorTable(std::span<const EMULATOR_ACCESS_ENTRY> entries,
                                   ULONG_PTR context) {
  entries_.assign(entries.begin(), entries.end());
  context_ = context;
}

void V86Emulator::InstallTrapSet(std::span<const VIDEO_ACCESS_RANGE> rows) {
  trapSet_.assign(rows.begin(), rows.end());
  trapSetInstalled_ = true;
}

void V86Emulator::Reset() {
  entries_.clear();
  context_ = 0;
  trapSet_.clear();
  trapSetInstalled_ = false;
}

void V86Emulator::Restore(const State& s) {
  entries_ = s.entries;
  context_ = s.context;
  trapSetInstalled_ = s.trapSetInstalled;
  trapSet_ = s.trapSet;
}

bool V86Emulator::Trapped(uint16_t port) const {
  if (!trapSetInstalled_) {
    for (const auto& e : entries_) {
      if (Covers(e, port)) return true;
    }
    return false;
  }
  bool trapped = false;
  for (const auto& row : trapSet_) {
    if (Covers(row, port)) trapped = row.RangeVisible == 0;
  }
  return trapped;
}

bool V86Emulator::AccessTrapped(unsigned size, uint16_t port) const {
  for (unsigned i = 0; i < size; ++i) {
    if (Trapped(static_cast<uint16_t>(port + i))) return true;
  }
  return false;
}

// A row hands the validator only the directions its AccessMode names; an
// access in another direction finds no handler, and the session's own
// emulation performs it on the adapter, as for a port nobody validates.
const EMULATOR_ACCESS_ENTRY* V86Emulator::Row(unsigned size, uint16_t port, UCHAR mode) const {
  for (const auto& e : entries_) {
    if (EntrySize(e.AccessType) == size && Covers(e, port) && (e.AccessMode & mode) != 0) return &e;
  }
  return nullptr;
}

// A validator that refuses an access makes the session's instruction fail:
// the session faults, which the caller sees as an exception.
void V86Emulator::Check(VP_STATUS status, unsigned size, uint16_t port, bool write) {
  if (status == NO_ERROR) return;
  char text[96];
  std::snprintf(text, sizeof text, "V86 %s%u of port 0x%x refused by its validator: status %ld",
                write ? "out" : "in", 8 * size, port, static_cast<long>(status));
  throw std::runtime_error(text);
}

uint32_t V86Emulator::In(unsigned size, uint16_t port) {
  const EMULATOR_ACCESS_ENTRY* row =
      AccessTrapped(size, port) ? Row(size, port, EMULATOR_READ_ACCESS) : nullptr;
  if (!row || !row->Routine) return ports_.In(size, port);
  // Byte and word validators store only their low bytes: the rest stays 0.
  uint32_t data = 0;
  Check(CallDriver(gate_, row->Routine, reinterpret_cast<PVOID>(context_), port,
                   static_cast<UCHAR>(EMULATOR_READ_ACCESS), &data),
        size, port, false);
  return size == 4 ? data : data & ((1u << (8 * size)) - 1);
}

void V86Emulator::Out(unsigned size, uint16_t port, uint32_t value) {
  const EMULATOR_ACCESS_ENTRY* row =
      AccessTrapped(size, port) ? Row(size, port, EMULATOR_WRITE_ACCESS) : nullptr;
  if (!row || !row->Routine) {
    ports_.Out(size, port, value);
    return;
  }
  uint32_t data = size == 4 ? value : value & ((1u << (8 * size)) - 1);
  Check(CallDriver(gate_, row->Routine, reinterpret_cast<PVOID>(context_), port,
                   static_cast<UCHAR>(EMULATOR_WRITE_ACCESS), &data),
        size, port, true);
}

}  // namespace sim::platform
