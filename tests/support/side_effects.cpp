#include "tests/support/side_effects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "miniport/device_extension.h"

namespace test {
namespace {

constexpr size_t kBankSelectFixedPart = 52;

std::string Hex(uint32_t value, int width = 2) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*x", width, value);
  return text;
}

// Difference lines up to `limit`; the last line then says how many more differ.
struct Lines {
  size_t limit, omitted = 0;
  std::vector<std::string> lines{};
  void Add(std::string line) {
    if (lines.size() < limit)
      lines.push_back(std::move(line));
    else
      ++omitted;
  }
  std::vector<std::string> Take() {
    if (omitted != 0) lines.push_back("... and " + std::to_string(omitted) + " more");
    return std::move(lines);
  }
};

// `base`: where the spans start in what they are part of.
void CompareBytes(const std::string& what, std::span<const uint8_t> before,
                  std::span<const uint8_t> after, Lines& lines, size_t base = 0) {
  if (std::equal(before.begin(), before.end(), after.begin(), after.end())) return;
  if (before.size() != after.size()) {
    lines.Add(what + ": size " + std::to_string(before.size()) + " -> " +
              std::to_string(after.size()));
    return;
  }
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    lines.Add(what + " " + Hex(static_cast<uint32_t>(base + i), 4) + ": " + Hex(before[i]) +
              " -> " + Hex(after[i]));
  }
}

// Everything but the video memory.
void CaptureRegisters(sim::Machine& machine, MachineState& s) {
  s.extension.clear();
  if (const auto* ext = static_cast<const uint8_t*>(machine.DeviceExtension())) {
    s.extension.resize(sizeof(VgaDeviceExtension));
    std::memcpy(s.extension.data(), ext, sizeof(VgaDeviceExtension));
  }
  sim::Adapter& a = machine.adapter();
  s.vga = a.RegisterState();  // the planes are in the video memory
  s.seq = a.SeqAll();
  s.bankSelect = a.BankSelect();
  s.extendedUnlocked = a.ExtendedUnlocked();
  s.keyPort3BF = a.KeyPort3BF();
  s.keyPortMode = a.KeyPortMode();
  const auto& traps = machine.TrapSet();
  const auto* rows = reinterpret_cast<const uint8_t*>(traps.data());
  s.trapSet.assign(rows, rows + traps.size() * sizeof(VIDEO_ACCESS_RANGE));
}

}  // namespace

void Capture(sim::Machine& machine, MachineState& into) {
  CaptureRegisters(machine, into);
  machine.adapter().StartChangeRecord();
}

std::vector<std::string> ChangesSince(const MachineState& before, sim::Machine& machine,
                                      size_t limit) {
  static MachineState after;  // its storage reused
  CaptureRegisters(machine, after);
  const sim::Adapter& adapter = machine.adapter();
  Lines lines{limit};
  CompareBytes("device extension", before.extension, after.extension, lines);
  if (!(before.vga == after.vga)) {
    for (const std::string& line : sim::Diff(before.vga, after.vga, limit))
      lines.Add("VGA " + line);
  }
  auto compare = [&lines](const char* what, uint8_t was, uint8_t now) {
    if (was != now) lines.Add(std::string(what) + ": " + Hex(was) + " -> " + Hex(now));
  };
  for (size_t i = 5; i < before.seq.size(); ++i) {
    if (before.seq[i] == after.seq[i]) continue;
    compare(("SR" + Hex(static_cast<uint32_t>(i)).substr(2)).c_str(), before.seq[i], after.seq[i]);
  }
  compare("bank select 0x3CD", before.bankSelect, after.bankSelect);
  compare("extended registers unlocked", before.extendedUnlocked, after.extendedUnlocked);
  compare("key port 0x3BF", before.keyPort3BF, after.keyPort3BF);
  compare("mode key port", before.keyPortMode, after.keyPortMode);
  if (adapter.VramWrittenWhole()) {
    lines.Add("video memory: written as a whole by hand (the video BIOS's clear)");
  }
  for (const auto& page : adapter.WrittenPages()) {
    for (size_t i = 0; i < page.now.size(); ++i) {
      if (page.before[i] == page.now[i]) continue;
      lines.Add("video memory " + Hex(static_cast<uint32_t>(page.offset + i), 4) + ": " +
                Hex(page.before[i]) + " -> " + Hex(page.now[i]));
    }
  }
  CompareBytes("trap set", before.trapSet, after.trapSet, lines);
  return lines.Take();
}

bool Refused(VP_STATUS status) {
  return status != NO_ERROR && status != ERROR_MORE_DATA;
}

std::vector<std::string> UnallowedBufferWrites(ULONG code, VP_STATUS status,
                                               const CallerBuffers& buffers, size_t limit) {
  Lines lines{limit};
  // A buffer as it may be now: as it went in, with the allowance applied to
  // its first bytes (no allowance reaches further); the rest as it went in.
  auto check = [&](const std::string& what, std::span<const uint8_t> before,
                   std::span<const uint8_t> after, bool input, bool output) {
    if (before.size() != after.size()) return CompareBytes(what, before, after, lines);
    uint8_t head[kBankSelectFixedPart];
    const size_t n = std::min(sizeof head, before.size());
    std::copy_n(before.begin(), n, head);
    if (input && code == IOCTL_VIDEO_SET_CURRENT_MODE && status == ERROR_INVALID_PARAMETER &&
        n >= 4)
      head[3] &= 0x7F;  // the mode number's bit 31, written back cleared
    if (output && code == IOCTL_VIDEO_GET_BANK_SELECT_CODE && status == ERROR_MORE_DATA)
      std::copy_n(after.begin(), n, head);  // the fixed part may hold anything
    CompareBytes(what, {head, n}, after.first(n), lines);
    CompareBytes(what, before.subspan(n), after.subspan(n), lines, n);
  };
  // One buffer: the output allowance applies to the input bytes.
  if (buffers.sameBuffer) {
    check("buffer", buffers.inBefore, buffers.inAfter, true, true);
  } else {
    check("input buffer", buffers.inBefore, buffers.inAfter, true, false);
    check("output buffer", buffers.outBefore, buffers.outAfter, false, true);
  }
  return lines.Take();
}

bool RefusalHidesPointer(ULONG code, VP_STATUS status, std::span<const uint8_t> input,
                         bool pointerAvailable) {
  constexpr size_t kPointerRecord = 1052;
  constexpr ULONG kLargestPointer = 64;
  constexpr ULONG kAnimateUpdate = 0x10;
  if (!pointerAvailable || code != IOCTL_VIDEO_SET_POINTER_ATTR ||
      status != ERROR_INVALID_PARAMETER || input.size() < kPointerRecord) {
    return false;
  }
  ULONG head[3];  // flags, width, height
  std::memcpy(head, input.data(), sizeof head);
  return head[1] <= kLargestPointer && head[2] <= kLargestPointer &&
         (head[0] & (VIDEO_MODE_MONO_POINTER | kAnimateUpdate)) == 0;
}

void HidePointer(MachineState& before) {
  before.vga.seqIndex = 0x06;
  before.seq[0x06] &= static_cast<uint8_t>(~0x40);  // SR06 bit 6: pointer on
}

std::vector<ULONG> AllowedRefusalInformation(ULONG code, VP_STATUS status, ULONG availableModes) {
  if (code == IOCTL_VIDEO_GET_BANK_SELECT_CODE && status == ERROR_MORE_DATA) return {52};
  if (status != ERROR_INSUFFICIENT_BUFFER) return {0};
  if (code == IOCTL_VIDEO_QUERY_AVAIL_MODES) return {availableModes * 80};
  if (code == IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES) return {8};
  if (code == IOCTL_VIDEO_QUERY_CURRENT_MODE) return {80};
  if (code == IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES) return {24};
  return {0};
}

}  // namespace test
