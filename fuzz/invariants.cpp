#include "fuzz/invariants.h"

#include <cstdio>
#include <cstdlib>

#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/adapter.h"
#include "sim/trace.h"

namespace fuzz {
namespace {

constexpr ULONG kMaxRecordedAtRest = 98;
constexpr uint16_t kFirstPort = 0x3B0;
constexpr uint16_t kLastPort = 0x3DF;
constexpr uint16_t kPciAddressPort = 0xCF8;
constexpr uint16_t kPciLastDataPort = 0xCFF;
constexpr uint16_t kStatusColor = 0x3DA;
constexpr uint16_t kStatusMono = 0x3BA;
// A wait for a status bit to clear and then set ends within two frames of
// the free-running timing; one read more on each side.
constexpr size_t kLongestWait = 2 * sim::Adapter::kStatusReadsPerFrame + 2;

bool InBlock(uint32_t first, uint32_t last, uint32_t low, uint32_t high) {
  return first >= low && last <= high;
}

}  // namespace

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

void Fail(const std::string& where, const std::string& what) {
  std::fprintf(stderr, "\n*** invariant broken at %s:\n%s\n", where.c_str(), what.c_str());
  std::fflush(stderr);
  std::abort();
}

void CheckAtRest(sim::Machine& machine, const std::string& where) {
  const auto* ext = static_cast<const VgaDeviceExtension*>(machine.DeviceExtension());
  if (ext == nullptr) return;
  if (ext->TrappedValidatorCount > kMaxRecordedAtRest) {
    Fail(where, "TrappedValidatorCount is " + std::to_string(ext->TrappedValidatorCount) +
                    " at rest; at most 98 writes stay recorded between accesses");
  }
  const VgaModeEntry* mode = ext->CurrentMode;
  if (mode == nullptr) return;
  const VgaModeEntry* first = &ModesVGA[0];
  const VgaModeEntry* end = first + NumVideoModes;
  if (mode < first || mode >= end) {
    Fail(where, "CurrentMode " + Hex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mode))) +
                    " is no row of the mode table");
  }
  const auto row = static_cast<ULONG>(mode - first);
  if (row != ext->ModeIndex) {
    Fail(where, "CurrentMode is row " + std::to_string(row) + " but ModeIndex is " +
                    std::to_string(ext->ModeIndex));
  }
}

void CheckAccesses(sim::Machine& machine, size_t mark, Scope scope, const std::string& where) {
  sim::Trace& trace = machine.trace();
  const auto& entries = trace.Entries();
  size_t statusRun = 0;
  for (size_t i = mark; i < entries.size(); ++i) {
    const sim::TraceEntry& e = entries[i];
    const bool port = e.kind == sim::AccessKind::In || e.kind == sim::AccessKind::Out;
    if (port) {
      const uint32_t last = e.address + e.size - 1;
      const bool vga = InBlock(e.address, last, kFirstPort, kLastPort);
      const bool pci =
          scope == Scope::Loading && InBlock(e.address, last, kPciAddressPort, kPciLastDataPort);
      if (!vga && !pci) {
        Fail(where, "access #" + std::to_string(i - mark) + " (" + sim::Format(e) +
                        ") lies outside the mapped port block 0x3b0-0x3df");
      }
    }
    const bool statusRead = e.kind == sim::AccessKind::In && e.size == 1 &&
                            (e.address == kStatusColor || e.address == kStatusMono);
    statusRun = statusRead ? statusRun + 1 : 0;
    if (scope == Scope::Request && statusRun > kLongestWait) {
      Fail(where, "access #" + std::to_string(i - mark) + ": " + std::to_string(statusRun) +
                      " input status reads in a row; a wait on a moving status bit should have "
                      "ended after " +
                      std::to_string(kLongestWait));
    }
  }
  trace.Clear();
}

}  // namespace fuzz
