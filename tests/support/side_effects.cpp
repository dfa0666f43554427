#include "tests/support/side_effects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "miniport/device_extension.h"

namespace test {
namespace {

std::string Hex(uint32_t value, int width = 2) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*x", width, value);
  return text;
}

// Appends "what: before -> after" until `limit` lines; the last line then
// says how many more differ.
class Lines {
 public:
  explicit Lines(size_t limit) : limit_(limit) {}
  void Add(const std::string& line) {
    if (lines_.size() < limit_) {
      lines_.push_back(line);
    } else {
      ++omitted_;
    }
  }
  std::vector<std::string> Take() {
    if (omitted_ != 0) lines_.push_back("... and " + std::to_string(omitted_) + " more");
    return std::move(lines_);
  }

 private:
  size_t limit_;
  size_t omitted_ = 0;
  std::vector<std::string> lines_;
};

void CompareBytes(const std::string& what, std::span<const uint8_t> before,
                  std::span<const uint8_t> after, Lines& lines) {
  if (std::equal(before.begin(), before.end(), after.begin(), after.end())) return;
  if (before.size() != after.size()) {
    lines.Add(what + ": size " + std::to_string(before.size()) + " -> " +
              std::to_string(after.size()));
    return;
  }
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    lines.Add(what + " " + Hex(static_cast<uint32_t>(i), 4) + ": " + Hex(before[i]) + " -> " +
              Hex(after[i]));
  }
}

}  // namespace

MachineState Capture(sim::Machine& machine) {
  MachineState s;
  Capture(machine, s);
  return s;
}

namespace {

// Everything but the video memory.
void CaptureRegisters(sim::Machine& machine, MachineState& s) {
  s.extension.clear();
  if (const auto* ext = static_cast<const uint8_t*>(machine.DeviceExtension())) {
    s.extension.assign(ext, ext + sizeof(VgaDeviceExtension));
  }
  sim::Adapter& a = machine.adapter();
  s.vga = a.RegisterState();  // the planes are in the video memory below
  for (size_t i = 0; i < s.seq.size(); ++i)
    s.seq[i] = a.Seq(static_cast<uint8_t>(i));
  s.bankSelect = a.BankSelect();
  s.extendedUnlocked = a.ExtendedUnlocked();
  s.keyPort3BF = a.KeyPort3BF();
  s.keyPortMode = a.KeyPortMode();
  const auto& traps = machine.TrapSet();
  const auto* rows = reinterpret_cast<const uint8_t*>(traps.data());
  s.trapSet.assign(rows, rows + traps.size() * sizeof(VIDEO_ACCESS_RANGE));
}

std::vector<std::string> Differences(const MachineState& before, const MachineState& after,
                                     const sim::Adapter& adapter, size_t limit) {
  Lines lines(limit);
  CompareBytes("device extension", before.extension, after.extension, lines);
  if (!(before.vga == after.vga)) {
    for (const std::string& line : sim::Diff(before.vga, after.vga, limit))
      lines.Add("VGA " + line);
  }
  for (size_t i = 5; i < before.seq.size(); ++i) {
    if (before.seq[i] != after.seq[i]) {
      lines.Add("SR" + Hex(static_cast<uint32_t>(i)).substr(2) + ": " + Hex(before.seq[i]) +
                " -> " + Hex(after.seq[i]));
    }
  }
  auto compare = [&lines](const char* what, uint8_t was, uint8_t now) {
    if (was != now) lines.Add(std::string(what) + ": " + Hex(was) + " -> " + Hex(now));
  };
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

}  // namespace

void Capture(sim::Machine& machine, MachineState& into) {
  CaptureRegisters(machine, into);
  machine.adapter().StartChangeRecord();
}

std::vector<std::string> ChangesSince(const MachineState& before, sim::Machine& machine,
                                      size_t limit) {
  MachineState now;
  CaptureRegisters(machine, now);
  return Differences(before, now, machine.adapter(), limit);
}

bool Refused(VP_STATUS status) {
  return status != NO_ERROR && status != ERROR_MORE_DATA;
}

namespace {

constexpr size_t kBankSelectFixedPart = 52;

// The bytes of one buffer after the request, as the allowance has them:
// `free` marks bytes that may hold anything.
struct Expectation {
  std::vector<uint8_t> bytes;
  std::vector<bool> free;
};

Expectation Unchanged(std::span<const uint8_t> before) {
  return {std::vector<uint8_t>(before.begin(), before.end()),
          std::vector<bool>(before.size(), false)};
}

void Check(const std::string& what, const Expectation& expected, std::span<const uint8_t> actual,
           Lines& lines) {
  if (expected.bytes.size() != actual.size()) {
    lines.Add(what + ": size changed");
    return;
  }
  // Most buffers come back as they went: one comparison, no byte loop.
  if (actual.empty() || std::memcmp(expected.bytes.data(), actual.data(), actual.size()) == 0) {
    return;
  }
  for (size_t i = 0; i < actual.size(); ++i) {
    if (expected.free[i] || expected.bytes[i] == actual[i]) continue;
    lines.Add(what + " byte " + std::to_string(i) + ": expected " + Hex(expected.bytes[i]) +
              ", got " + Hex(actual[i]));
  }
}

}  // namespace

std::vector<std::string> UnallowedBufferWrites(ULONG code, VP_STATUS status,
                                               const CallerBuffers& buffers, size_t limit) {
  Lines lines(limit);
  Expectation in = Unchanged(buffers.inBefore);
  Expectation out = Unchanged(buffers.outBefore);
  // One buffer: the output allowance applies to the input bytes.
  Expectation& outTarget = buffers.sameBuffer ? in : out;

  if (code == IOCTL_VIDEO_SET_CURRENT_MODE && status == ERROR_INVALID_PARAMETER &&
      in.bytes.size() >= 4) {
    in.bytes[3] &= 0x7F;  // the mode number's bit 31, written back cleared
  }
  if (code == IOCTL_VIDEO_GET_BANK_SELECT_CODE && status == ERROR_MORE_DATA) {
    for (size_t i = 0; i < kBankSelectFixedPart && i < outTarget.free.size(); ++i) {
      outTarget.free[i] = true;
    }
  }

  Check(buffers.sameBuffer ? "buffer" : "input buffer", in, buffers.inAfter, lines);
  if (!buffers.sameBuffer) Check("output buffer", out, buffers.outAfter, lines);
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
  ULONG flags, width, height;
  std::memcpy(&flags, input.data(), 4);
  std::memcpy(&width, input.data() + 4, 4);
  std::memcpy(&height, input.data() + 8, 4);
  return width <= kLargestPointer && height <= kLargestPointer &&
         (flags & VIDEO_MODE_MONO_POINTER) == 0 && (flags & kAnimateUpdate) == 0;
}

void HidePointer(MachineState& before) {
  constexpr uint8_t kSr06 = 0x06;
  constexpr uint8_t kPointerOn = 0x40;
  before.vga.seqIndex = kSr06;
  before.seq[kSr06] &= static_cast<uint8_t>(~kPointerOn);
}

std::vector<ULONG> AllowedRefusalInformation(ULONG code, VP_STATUS status, ULONG availableModes) {
  if (status != ERROR_INSUFFICIENT_BUFFER) {
    if (code == IOCTL_VIDEO_GET_BANK_SELECT_CODE && status == ERROR_MORE_DATA) return {52};
    return {0};
  }
  switch (code) {
    case IOCTL_VIDEO_QUERY_AVAIL_MODES:
      return {availableModes * 80};
    case IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES:
      return {8};
    case IOCTL_VIDEO_QUERY_CURRENT_MODE:
      return {80};
    case IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES:
      return {24};
    default:
      return {0};
  }
}

}  // namespace test
