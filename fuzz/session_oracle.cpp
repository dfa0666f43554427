#include "fuzz/session_oracle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "miniport/device_extension.h"
#include "tests/support/full_screen_switch.h"

namespace fuzz {
namespace {

// Plane p's byte 0xFFFF is video memory byte 4 x 0xFFFF + p.
constexpr uint32_t kLatchBytes = test::kSavedVideoMemory - 4;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

const VgaDeviceExtension& Extension(sim::Machine& m) {
  return *static_cast<const VgaDeviceExtension*>(m.DeviceExtension());
}

// What the validators go by: the writes recorded so far and the sequencer
// index the session left. (The trap set in force is the platform's, and
// compared as such; the extension's copy of it is only what a save stores.)
std::vector<uint8_t> Validators(sim::Machine& m) {
  const VgaDeviceExtension& ext = Extension(m);
  const ULONG count = std::min<ULONG>(ext.TrappedValidatorCount, VGA_MAX_VALIDATOR_DATA);
  std::vector<uint8_t> bytes(sizeof count + count * sizeof(TrappedValidatorEntry) + 4);
  std::memcpy(bytes.data(), &ext.TrappedValidatorCount, sizeof count);
  std::memcpy(bytes.data() + sizeof count, ext.TrappedValidatorData,
              count * sizeof(TrappedValidatorEntry));
  std::memcpy(bytes.data() + bytes.size() - 4, &ext.SequencerAddressValue, 4);
  return bytes;
}

// The rest of the driver's state: the device extension with its pointers
// into views as which view and where in it (the machines' views lie at
// different addresses), and the driver's writable statics.
std::vector<uint8_t> DriverState(sim::Machine& m) {
  VgaDeviceExtension ext;
  std::memcpy(&ext, &Extension(m), sizeof ext);
  const auto* begin = reinterpret_cast<const uint8_t*>(&ext.TrappedValidatorCount);
  const auto* end =
      reinterpret_cast<const uint8_t*>(&ext.TrappedAccessRanges) + sizeof ext.TrappedAccessRanges;
  std::memset(&ext.TrappedValidatorCount, 0, static_cast<size_t>(end - begin));
  for (PUCHAR* pointer : {&ext.IoBase, &ext.FrameBufferView, &ext.A0000View, &ext.LinearFrameView,
                          &ext.PointerShapeAddress, &ext.RomView}) {
    const auto at = reinterpret_cast<uintptr_t>(*pointer);
    const auto& views = m.Views();
    for (size_t i = 0; i < views.size(); ++i) {
      if (at >= views[i].address && at - views[i].address < views[i].length) {
        *pointer = reinterpret_cast<PUCHAR>(((i + 1) << 24) | (at - views[i].address));
      }
    }
  }
  std::vector<uint8_t> state(reinterpret_cast<const uint8_t*>(&ext),
                             reinterpret_cast<const uint8_t*>(&ext) + sizeof ext);
  const std::span<const uint8_t> statics = m.DriverStatics();
  state.insert(state.end(), statics.begin(), statics.end());
  return state;
}

// Requests whose effect on the hardware does not depend on the mode the
// driver believes it is in, which a switch leaves as the reset's.
bool AnyMode(ULONG code) {
  return code == IOCTL_VIDEO_SET_CURRENT_MODE || code == IOCTL_VIDEO_RESET_DEVICE ||
         code == IOCTL_VIDEO_ENABLE_VDM || code == IOCTL_VIDEO_SAVE_HARDWARE_STATE ||
         code == IOCTL_VIDEO_RESTORE_HARDWARE_STATE;
}

std::array<uint8_t, 4> LatchBytes(sim::Machine& m) {
  std::array<uint8_t, 4> bytes{};
  for (uint32_t p = 0; p < 4; ++p)
    bytes[p] = m.adapter().FollowedVram()[kLatchBytes + p];
  return bytes;
}

// Where two register sets differ, a line each, the standard state by
// register and the rest by device.
std::vector<std::string> RegisterDifferences(const sim::VgaState& expectedVga,
                                             const sim::Adapter::Registers& e,
                                             const sim::VgaState& actualVga,
                                             const sim::Adapter::Registers& a) {
  std::vector<std::string> lines = sim::Diff(expectedVga, actualVga, 12);
  if (!(e.dac == a.dac)) lines.push_back("the DAC (the entry reads take from)");
  if (!(e.general == a.general)) lines.push_back("the display timing");
  if (!(e.zel == a.zel)) {
    for (int i = 0; i < 256; ++i) {
      if (e.zel.Stored(static_cast<uint8_t>(i)) != a.zel.Stored(static_cast<uint8_t>(i)))
        lines.push_back("SR" + Hex(static_cast<uint32_t>(i)).substr(2) + ": expected " +
                        Hex(e.zel.Stored(static_cast<uint8_t>(i))) + ", got " +
                        Hex(a.zel.Stored(static_cast<uint8_t>(i))));
    }
    lines.push_back("the Zel extensions (bank select " + Hex(e.zel.BankSelect()) + " and " +
                    Hex(a.zel.BankSelect()) + ", lock and key ports)");
  }
  return lines;
}

bool SameTraps(const std::vector<VIDEO_ACCESS_RANGE>& a, const std::vector<VIDEO_ACCESS_RANGE>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += "\n  " + line;
  return text;
}

}  // namespace

void SessionOracle::BeginStep(std::string what) {
  steps_.push_back(std::move(what));
  access_ = 0;
}

void SessionOracle::Access(Event::Kind kind, uint8_t size, uint32_t at, uint32_t value) {
  events_.push_back(
      {kind, size, static_cast<uint16_t>(steps_.size() - 1), at, value, 0, access_++});
}

void SessionOracle::In(unsigned size, uint16_t port, uint32_t value) {
  Access(Event::Kind::In, static_cast<uint8_t>(size), port, value);
}

void SessionOracle::Out(unsigned size, uint16_t port, uint32_t value) {
  Access(Event::Kind::Out, static_cast<uint8_t>(size), port, value);
}

void SessionOracle::Read(uint32_t address, uint8_t size, uint32_t value) {
  Access(Event::Kind::Read, size, address, value);
}

// Writes to consecutive addresses are one run: the window takes a run as
// that many byte writes.
void SessionOracle::Write(uint32_t address, uint8_t size, uint32_t value) {
  if (events_.empty() || events_.back().kind != Event::Kind::Write ||
      events_.back().step != steps_.size() - 1 ||
      events_.back().at + events_.back().length != address) {
    Access(Event::Kind::Write, size, address, static_cast<uint32_t>(bytes_.size()));
  }
  for (unsigned i = 0; i < size; ++i)
    bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  events_.back().length += size;
}

void SessionOracle::RequestComing(sim::Machine& switched, ULONG code) {
  if (AnyMode(code)) {
    found_.clear();
    return;
  }
  found_ = DriverState(switched);
  // Past a switch the reference may not follow this request, but only the
  // first one: from there on both drivers' states agree or it stopped.
  if (!checkpointDue_) return;
  checkpointDue_ = false;
  checkpoints_.push_back({static_cast<uint32_t>(requests_.size()), Take(switched)});
}

SessionOracle::Held SessionOracle::Take(sim::Machine& m) {
  sim::Adapter& a = m.adapter();
  Held held{a.RegisterState(), a.SaveRegisters(), {}, Validators(m), m.TrapSet()};
  a.FollowedVram().CopyHeld(held.memory);
  return held;
}

std::vector<std::string> SessionOracle::Differences(const Held& expected, sim::Machine& actual) {
  sim::Adapter& a = actual.adapter();
  std::vector<std::string> lines =
      RegisterDifferences(expected.vga, expected.registers, a.RegisterState(), a.SaveRegisters());
  if (auto at = a.FollowedVram().FirstDifference(expected.memory)) {
    lines.push_back("video memory " + Hex(*at) + ": expected " + Hex(expected.memory.At(*at)) +
                    ", got " + Hex(a.FollowedVram()[*at]));
  }
  if (Validators(actual) != expected.validators) lines.push_back("the validators' recording");
  if (!SameTraps(actual.TrapSet(), expected.traps)) lines.push_back("the trap set");
  return lines;
}

void SessionOracle::Request(Sent sent, const fuzz::Request& request, const Answer& answer) {
  Access(Event::Kind::Request, 0, request.code, static_cast<uint32_t>(requests_.size()));
  requests_.push_back({sent, request, answer.result, std::move(found_)});
  found_.clear();
}

void SessionOracle::SwitchBegins(sim::Machine& switched) {
  sim::Adapter& a = switched.adapter();
  switches_.push_back({.where = {},
                       .before = a.RegisterState(),
                       .registersBefore = a.SaveRegisters(),
                       .registersAfter = a.SaveRegisters(),
                       .latchBytesBefore = LatchBytes(switched),
                       .latchBytesAfter = {},
                       .unsavedAfter = {},
                       .validators = Validators(switched),
                       .traps = switched.TrapSet()});
  a.FollowedVram().StartTouchList();
}

void SessionOracle::SwitchEnded(sim::Machine& switched, const std::string& where) {
  Switch& s = switches_.back();
  sim::Adapter& a = switched.adapter();
  std::vector<std::string> lines =
      sim::Diff(test::AcceptedAfterSwitch(s.before), a.RegisterState(), 12);
  const auto latchBytes = LatchBytes(switched);
  for (size_t p = 0; p < 4; ++p) {
    if (latchBytes[p] != s.before.latches[p]) {
      lines.push_back("plane " + std::to_string(p) + " byte 0xffff: expected its latch " +
                      Hex(s.before.latches[p]) + ", got " + Hex(latchBytes[p]));
    }
  }
  const sim::Adapter::Registers after = a.SaveRegisters();
  const sim::vga::Dac& dac = s.registersBefore.dac;
  if (dac.ReadMode() &&
      after.dac.Fetched() != dac.Entry(static_cast<uint8_t>(dac.ReadAddress() - 1)))
    lines.push_back("the DAC entry being read out");
  if (Validators(switched) != s.validators) lines.push_back("the validators' recording");
  if (!SameTraps(switched.TrapSet(), s.traps)) lines.push_back("the trap set");
  if (!lines.empty()) Fail(where, "the switch changed what it must keep:" + Lines(lines));
  s.where = where;
  s.registersAfter = after;
  s.latchBytesAfter = latchBytes;
  a.FollowedVram().CopyPages(a.FollowedVram().TouchedPages(), test::kSavedVideoMemory,
                             s.unsavedAfter);
  a.FollowedVram().StopTouchList();
  checkpointDue_ = true;
  Access(Event::Kind::Switch, 0, 0, static_cast<uint32_t>(switches_.size() - 1));
}

std::string SessionOracle::Where(const Event& e) const {
  return "session oracle, " + steps_[e.step] + ", access #" + std::to_string(e.access);
}

// The reference at the point of the switch must be where the switched
// machine was; then it takes over what the switch may change: all the
// registers (the switch was checked to change only what it may), the
// latch bytes and what the switch wrote of the video memory that is not
// saved. (Video memory is compared at the end: a page the switch did not
// write must agree there, and one it wrote was the desktop's.)
void SessionOracle::ReplaySwitch(const Switch& s, sim::Machine& reference,
                                 const std::string& where) {
  sim::Adapter& r = reference.adapter();
  std::vector<std::string> lines;
  if (!(r.SaveRegisters() == s.registersBefore)) {
    lines = sim::Diff(s.before, r.RegisterState(), 12);
    lines.push_back("(a register of the DAC, the timing or the extensions)");
  }
  if (LatchBytes(reference) != s.latchBytesBefore)
    lines.push_back("the bytes at plane offset 0xffff");
  if (Validators(reference) != s.validators) lines.push_back("the validators' recording");
  if (!lines.empty()) {
    Fail(where, "before the switch (" + s.where +
                    "), the machine without switches already differs from the switched one "
                    "(expected: switched, got: without):" +
                    Lines(lines));
  }
  r.LoadRegisters(s.registersAfter);
  pastSwitch_ = true;
  for (uint32_t p = 0; p < 4; ++p)
    r.FollowedVram().Store(kLatchBytes + p, s.latchBytesAfter[p]);
  r.FollowedVram().Assign(s.unsavedAfter);
}

// False when the reference can no longer follow: a request whose effect
// depends on the driver's idea of the mode, which a switch left different.
bool SessionOracle::Replay(const Event& e, sim::Machine& reference) {
  const auto got = [&](const char* what, uint32_t expected, uint32_t actual) {
    if (expected == actual) return;
    Fail(Where(e), std::string(what) + std::to_string(8 * e.size) + " " + Hex(e.at) + " read " +
                       Hex(expected) + " with switches, " + Hex(actual) + " without");
  };
  switch (e.kind) {
    case Event::Kind::In:
      got("in", e.value, reference.V86In(e.size, static_cast<uint16_t>(e.at)));
      break;
    case Event::Kind::Out:
      reference.V86Out(e.size, static_cast<uint16_t>(e.at), e.value);
      break;
    case Event::Kind::Read: {
      uint32_t value = 0;
      for (unsigned i = 0; i < e.size; ++i)
        value |= uint32_t{reference.V86Read8(e.at + i)} << (8 * i);
      got("window read", e.value, value);
      break;
    }
    case Event::Kind::Write:
      reference.V86Write(e.at, {bytes_.data() + e.value, e.length});
      break;
    case Event::Kind::Request: {
      const Sending& r = requests_[e.value];
      if (!r.driver.empty() && DriverState(reference) != r.driver) {
        if (!pastSwitch_) Fail(Where(e), "the driver's state differs before any switch");
        // The reference stops here: up to here both must agree.
        const auto c = std::find_if(checkpoints_.begin(), checkpoints_.end(),
                                    [&](const Checkpoint& k) { return k.request == e.value; });
        if (c == checkpoints_.end())
          Fail(Where(e), "the driver's state differs after a request that both machines made");
        const std::vector<std::string> lines = Differences(c->held, reference);
        if (!lines.empty()) {
          Fail(Where(e),
               "where the machine without switches stops following, the switched one (expected) "
               "and it (got) differ:" +
                   Lines(lines));
        }
        return false;
      }
      Answer answer;
      if (r.sent == Sent::RestoreLast) {
        answer = Restore(reference, lastState_, Where(e), {.checked = false});
      } else {
        answer = Send(reference, r.request, Where(e),
                      {.checked = false, .keep = r.sent == Sent::SaveLast ? &lastSave_ : nullptr});
        if (r.sent == Sent::SaveLast && answer.result.status == NO_ERROR) lastState_ = answer.state;
      }
      if (answer.result.status != r.result.status ||
          answer.result.information != r.result.information) {
        Fail(Where(e), "request " + Hex(r.request.code) + " answered status " +
                           std::to_string(r.result.status) + ", information " +
                           std::to_string(r.result.information) + " with switches, status " +
                           std::to_string(answer.result.status) + ", information " +
                           std::to_string(answer.result.information) + " without");
      }
      break;
    }
    case Event::Kind::Switch:
      ReplaySwitch(switches_[e.value], reference, Where(e));
      break;
  }
  return true;
}

void SessionOracle::Replay(sim::Machine& reference, sim::Machine& switched) {
  for (const Event& e : events_) {
    try {
      if (!Replay(e, reference)) return;
    } catch (const std::exception& error) {
      Fail(Where(e), std::string("without switches: ") + error.what());
    }
  }
  sim::Adapter &r = reference.adapter(), &w = switched.adapter();
  std::vector<std::string> lines = RegisterDifferences(r.RegisterState(), r.SaveRegisters(),
                                                       w.RegisterState(), w.SaveRegisters());
  if (auto at =
          reference.adapter().FollowedVram().FirstDifference(switched.adapter().FollowedVram()))
    lines.push_back("video memory " + Hex(*at) + ": " +
                    Hex(reference.adapter().FollowedVram()[*at]) + " without switches, " +
                    Hex(switched.adapter().FollowedVram()[*at]) + " with");
  if (Validators(reference) != Validators(switched)) lines.push_back("the validators' recording");
  if (!SameTraps(reference.TrapSet(), switched.TrapSet())) lines.push_back("the trap set");
  if (!lines.empty()) {
    Fail("session oracle, at the end",
         "the machine without switches (expected) and the switched one (got) differ:" +
             Lines(lines));
  }
}

void SessionOracle::Clear() {
  events_.clear();
  steps_.clear();
  bytes_.clear();
  requests_.clear();
  switches_.clear();
  access_ = 0;
  checkpoints_.clear();
  checkpointDue_ = false;
  pastSwitch_ = false;
  lastState_ = {};
}

}  // namespace fuzz
