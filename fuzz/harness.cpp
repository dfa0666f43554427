#include "fuzz/harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>

#include <sanitizer/asan_interface.h>

#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/adapter.h"
#include "sim/trace.h"
#include "tests/support/address_space.h"
#include "tests/support/side_effects.h"

// An i386 process under AddressSanitizer has little address space: every
// run frees megabytes of video memory copies, and a large quarantine of
// freed blocks would exhaust it.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0:quarantine_size_mb=32";
}

namespace fuzz {
namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

// ---------------------------------------------------------------- invariants

enum class Scope {
  Loading,  // discovery also reaches the PCI configuration ports
  Request,  // the VGA ports only; retrace and blanking waits end within two frames
  Session,  // a session's own accesses and the validators': the VGA ports only
};

// ---------------------------------------------------------------- mappings

// A stretch of the adapter's own address space, and what falls inside it.
struct Range {
  const char* what;
  uint64_t start, length;
  bool Holds(uint64_t at, uint64_t bytes) const {
    return at >= start && at - start <= length && bytes <= length - (at - start);
  }
};

std::string Hex64(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

// Nothing mapped that does not belong to the adapter: every range the
// driver claims, every view it holds and every mapping it handed a caller
// (whatever the request answered) lies inside one of the adapter's own
// ranges, no longer than it: its ports 0x3B0-0x3DF; the VGA window
// 0xA0000-0xBFFFF; the option ROM at 0xC0000, as long as its header says
// (byte 2, in 512-byte blocks: what the system firmware leaves there); and
// the 8 MB linear aperture where the driver placed it, its claim, which must
// be a place the aperture registers can hold (a 512 KB step, all of it
// below 4 GB).
void CheckMappings(sim::Machine& machine, const std::string& where) {
  constexpr uint64_t kApertureLength = 0x800000, kApertureStep = 0x80000;
  const std::span<const uint8_t> rom = machine.adapter().OptionRom();
  const Range ports{"its ports", 0x3B0, 0x30};
  Range memory[3] = {{"the VGA window", 0xA0000, 0x20000},
                     {"its option ROM", 0xC0000, rom.size() > 2 ? rom[2] * 512u : 0u},
                     {"the linear aperture", 0, 0}};
  size_t ranges = 2;  // the aperture's once its claim is seen
  auto fail = [&](const std::string& what, uint64_t at, uint64_t bytes, bool io) {
    std::string own, claims;
    for (size_t i = 0; i < ranges; ++i)
      own += std::string(i ? ", " : "") + memory[i].what + " " + Hex64(memory[i].start) + "+" +
             Hex64(memory[i].length);
    for (const VIDEO_ACCESS_RANGE& c : machine.Claims())
      claims += " " + Hex64(static_cast<uint64_t>(c.RangeStart.QuadPart)) + "+" +
                Hex64(c.RangeLength) + (c.RangeInIoSpace ? " (ports)" : "");
    Fail(where, what + " of " + Hex64(bytes) + " bytes at " + (io ? "port " : "") + Hex64(at) +
                    " reaches beyond the adapter's own " +
                    (io ? "ports 0x3b0-0x3df" : "memory (" + own + ")") +
                    "; the driver's claims:" + claims);
  };

  for (const VIDEO_ACCESS_RANGE& claim : machine.Claims()) {
    const auto start = static_cast<uint64_t>(claim.RangeStart.QuadPart);
    const uint64_t length = std::max<uint64_t>(claim.RangeLength, 1);
    if (claim.RangeInIoSpace) {
      if (!ports.Holds(start, length)) fail("a claim", start, length, true);
    } else if (!memory[0].Holds(start, length) && !memory[1].Holds(start, length)) {
      // The linear frame: one placement the aperture registers can decode.
      const bool placeable = start % kApertureStep == 0 && start + kApertureLength <= (1ull << 32);
      if (ranges > 2 || !placeable || length > kApertureLength)
        fail("a claim", start, length, false);
      memory[ranges++] = {"the linear aperture", start, kApertureLength};
    }
  }
  auto check = [&](const char* what, uint64_t at, uint64_t bytes, bool io) {
    bytes = std::max<uint64_t>(bytes, 1);
    const bool inside = io ? ports.Holds(at, bytes)
                           : std::any_of(memory, memory + ranges,
                                         [&](const Range& r) { return r.Holds(at, bytes); });
    if (!inside) fail(what, at, bytes, io);
  };
  for (const sim::View& view : machine.Views())
    check("a view", view.physical, view.length, view.inIoSpace);
  for (const sim::Mapping& mapping : machine.Mappings())
    check("a caller mapping", mapping.physical, mapping.length, mapping.inIoSpace);
}

// After a step: the accesses recorded since `mark`, every port access inside
// the adapter's block 0x3B0-0x3DF (or the PCI configuration ports while
// loading), and in requests no run of input status reads longer than two
// frames of the free-running timing and a read on each side; nothing mapped
// beyond the adapter (CheckMappings); then the driver's record at rest: at most 98 validator writes
// stay recorded, and CurrentMode is null or the row ModeIndex names. Clears the trace.
void CheckStep(sim::Machine& machine, size_t mark, Scope scope, const std::string& where) {
  constexpr size_t kLongestWait = 2 * sim::Adapter::kStatusReadsPerFrame + 2;
  const auto& entries = machine.trace().Entries();
  size_t statusRun = 0;
  for (size_t i = mark; i < entries.size(); ++i) {
    const sim::TraceEntry& e = entries[i];
    const uint32_t last = e.address + e.size - 1;
    const bool vga = e.address >= 0x3B0 && last <= 0x3DF;
    const bool pci = scope == Scope::Loading && e.address >= 0xCF8 && last <= 0xCFF;
    if ((e.kind == sim::AccessKind::In || e.kind == sim::AccessKind::Out) && !vga && !pci) {
      Fail(where, "access #" + std::to_string(i - mark) + " (" + sim::Format(e) +
                      ") lies outside the mapped port block 0x3b0-0x3df");
    }
    const bool statusRead =
        e.kind == sim::AccessKind::In && e.size == 1 && (e.address == 0x3DA || e.address == 0x3BA);
    statusRun = statusRead ? statusRun + 1 : 0;
    if (scope == Scope::Request && statusRun > kLongestWait) {
      Fail(where, "access #" + std::to_string(i - mark) + ": " + std::to_string(statusRun) +
                      " input status reads in a row; a wait on a moving status bit should have "
                      "ended after " +
                      std::to_string(kLongestWait));
    }
  }
  machine.trace().Clear();
  CheckMappings(machine, where);
  const auto* ext = static_cast<const VgaDeviceExtension*>(machine.DeviceExtension());
  if (ext == nullptr) return;
  if (ext->TrappedValidatorCount > 98) {
    Fail(where, "TrappedValidatorCount is " + std::to_string(ext->TrappedValidatorCount) +
                    " at rest; at most 98 writes stay recorded between accesses");
  }
  const VgaModeEntry* mode = ext->CurrentMode;
  if (mode == nullptr) return;
  const auto row = static_cast<ULONG>(mode - &ModesVGA[0]);  // beyond the table: huge
  if (row >= NumVideoModes || row != ext->ModeIndex) {
    Fail(where, "CurrentMode is row " + std::to_string(row) + " (of " +
                    std::to_string(NumVideoModes) + ") but ModeIndex is " +
                    std::to_string(ext->ModeIndex));
  }
}

// ------------------------------------------------------------------ requests

// Restore lengths beyond the state size stay below this.
constexpr ULONG kLargestState = kStateSize + 0x1000;

// clang-format off
const ULONG kAccepted[] = {
    IOCTL_VIDEO_ENABLE_VDM,                 IOCTL_VIDEO_SAVE_HARDWARE_STATE,
    IOCTL_VIDEO_RESTORE_HARDWARE_STATE,     IOCTL_VIDEO_QUERY_AVAIL_MODES,
    IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES,      IOCTL_VIDEO_QUERY_CURRENT_MODE,
    IOCTL_VIDEO_SET_CURRENT_MODE,           IOCTL_VIDEO_RESET_DEVICE,
    IOCTL_VIDEO_LOAD_AND_SET_FONT,          IOCTL_VIDEO_SET_PALETTE_REGISTERS,
    IOCTL_VIDEO_SET_COLOR_REGISTERS,        IOCTL_VIDEO_SET_CURSOR_ATTR,
    IOCTL_VIDEO_QUERY_CURSOR_ATTR,          IOCTL_VIDEO_SET_CURSOR_POSITION,
    IOCTL_VIDEO_QUERY_CURSOR_POSITION,      IOCTL_VIDEO_ENABLE_POINTER,
    IOCTL_VIDEO_DISABLE_POINTER,            IOCTL_VIDEO_SET_POINTER_ATTR,
    IOCTL_VIDEO_SET_POINTER_POSITION,       IOCTL_VIDEO_QUERY_POINTER_POSITION,
    IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, IOCTL_VIDEO_GET_BANK_SELECT_CODE,
    IOCTL_VIDEO_MAP_VIDEO_MEMORY,           IOCTL_VIDEO_UNMAP_VIDEO_MEMORY,
    IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES,
    IOCTL_VIDEO_SHARE_VIDEO_MEMORY,         IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY};
// clang-format on

// Record sizes and the lengths just around them.
const ULONG kLengths[] = {0,  1,  2,  3,  4,  5,  6,  7,   8,   9,    10,   11,   12,   15,
                          16, 20, 23, 24, 36, 52, 80, 102, 160, 1052, 1216, 4107, 8192, 65536};

ULONG ReadLength(Input& in) {
  const uint8_t kind = in.U8() & 3;
  if (kind == 2) return in.U16() % 2048;
  if (kind == 3) return in.U32() % kLargestState;
  const ULONG base = in.Pick(kLengths);
  const int nudge = static_cast<int>(in.U8() % 3) - 1;  // one below, on, one above
  return base == 0 && nudge < 0 ? 0 : base + nudge;
}

// A caller's buffer of exactly `length` bytes, filled with `fill`: the
// front of a heap block kept for its role (input, output, state), whose
// other bytes are poisoned, so that AddressSanitizer catches a driver that
// reads or writes one byte past it; between requests the whole block is
// poisoned, so that a pointer the driver kept from a request faults on its
// next use. A fresh heap block per request would catch the same at the cost
// of a mapping and its page faults for every large one.
class Block {
 public:
  enum Role { kInput, kOutput, kState };
  // Without `fill`, the bytes are the caller's to set, every one of them.
  Block(Role role, size_t length, std::optional<uint8_t> fill)
      : length(length), store_(Store(role)) {
    if (store_.empty() || store_.size() < length) {
      ASAN_UNPOISON_MEMORY_REGION(store_.data(), store_.size());
      store_.assign(std::max<size_t>(length, kLargestState), 0);
      ASAN_POISON_MEMORY_REGION(store_.data(), store_.size());
    }
    bytes = store_.data();
    ASAN_UNPOISON_MEMORY_REGION(bytes, length);
    if (fill) std::memset(bytes, *fill, length);
  }
  ~Block() {
    if (!kept_) ASAN_POISON_MEMORY_REGION(bytes, length);
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  std::span<const uint8_t> View() const { return {bytes, length}; }

  // The bytes as the request left them, kept in `kept` past the block (a
  // save's state, with no copy): the kept store and this block's trade
  // places, the one that comes back poisoned whole.
  std::span<const uint8_t> Keep(std::vector<uint8_t>& kept) {
    std::swap(kept, store_);
    ASAN_POISON_MEMORY_REGION(store_.data(), store_.size());
    kept_ = true;
    return View();
  }

  const size_t length;
  uint8_t* bytes;

 private:
  static std::vector<uint8_t>& Store(Role role) {
    static std::vector<uint8_t> stores[3];
    return stores[role];
  }
  std::vector<uint8_t>& store_;
  bool kept_ = false;
};

// Every setting of a profile as bytes: profiles with the same key make the
// same machine.
std::string ProfileKey(const sim::Profile& p) {
  static_assert(sizeof(void*) != 4 || sizeof(sim::Profile) == 104,
                "a new setting of the profile: add it to the key");
  std::string key;
  auto put = [&key](const auto& value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
  };
  put(p.revision), put(p.memoryMB), put(p.busWidth), put(p.memoryType), put(p.memoryClockMHz);
  put(p.strap), put(p.romKB), put(p.pciBus), put(p.pciDevice), put(p.onPciBus), put(p.bar0);
  put(p.romVendor), put(p.romDevice), put(p.romPcirOffset.has_value());
  put(p.romPcirOffset.value_or(0)), put(p.sr10Bit6), put(p.ramTop), put(p.eisaBus);
  const sim::Defects& d = p.defects;
  put(d.graphicsIndexMasked), put(d.bitMaskStuckLow), put(d.graphicsDataNotIndexed);
  put(d.sequencerIndexMasked), put(d.chain4Stuck);
  put(p.seqOverrides.size());
  for (const auto& [index, value] : p.seqOverrides)
    put(index), put(value);
  put(p.romImage.has_value());
  if (p.romImage) key.append(p.romImage->begin(), p.romImage->end());
  return key;
}

// Snapshots kept per profile, the most recently used last: the booted
// machine, and the driver loaded unless each execution loads it itself. A
// harness has one machine, which goes back to the snapshot its input's
// profile needs: at the cost of what the last execution changed when the
// profile is the last one's, else of the two states' video memory pages.
// A profile not kept costs a POST (on a machine of its own, whose booted
// snapshot the harness's machine then takes) and a load.
struct Kept {
  std::string key;
  sim::Snapshot snapshot;
};
constexpr size_t kKeptSnapshots = 256;
constexpr int kSlots = 2;

std::deque<Kept>& KeptSnapshots(int slot) {
  static std::deque<Kept> kept[kSlots];
  return kept[slot];
}

// The kept snapshot for `key`, moved to the back, or null.
const Kept* FindKept(int slot, const std::string& key) {
  auto& kept = KeptSnapshots(slot);
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    if (it->key.size() != key.size() || it->key != key) continue;
    if (it != kept.rbegin()) {
      Kept found = std::move(*it);
      kept.erase(std::next(it).base());
      kept.push_back(std::move(found));
    }
    return &kept.back();
  }
  return nullptr;
}

}  // namespace

void CopyInto(std::vector<uint8_t>& to, std::span<const uint8_t> from) {
  to.resize(from.size());
  if (!from.empty()) std::memcpy(to.data(), from.data(), from.size());
}

void Fail(const std::string& where, const std::string& what) {
  std::fprintf(stderr, "\n*** invariant broken at %s:\n%s\n", where.c_str(), what.c_str());
  std::fflush(stderr);
  std::abort();
}

sim::Profile ReadProfile(Input& in) {
  static const uint32_t kMemory[] = {1, 2, 4, 8};
  static const uint32_t kRom[] = {32, 32, 48, 64};
  static const uint32_t kStrap1Clocks[] = {66, 75, 83, 100};
  static const uint32_t kClocks[] = {50, 60, 66, 75, 80, 83, 90, 100};
  sim::Profile p;
  p.revision = (in.U8() & 1) ? 0x1A : 0x0B;  // a B1 and an A1
  p.memoryMB = in.Pick(kMemory);
  const uint8_t bits = in.U8();
  p.busWidth = (bits & 1) ? 64 : 32;
  p.memoryType = (bits >> 1) & 3;
  p.strap = (bits >> 3) & 1;
  p.sr10Bit6 = ((bits >> 4) & 1) != 0;
  p.memoryClockMHz = p.strap ? in.Pick(kStrap1Clocks) : in.Pick(kClocks);
  p.romKB = in.Pick(kRom);
  return p;
}

namespace {

sim::Machine* LoadFromSnapshot(const sim::Profile& profile, const std::string& where,
                               bool loadEachTime, const Start& start) {
  test::ReserveTopOfAddressSpace();
  static std::unique_ptr<sim::Machine> machines[kSlots];
  std::unique_ptr<sim::Machine>& machine = machines[start.slot];
  const std::string key = (loadEachTime ? "booted " : "loaded ") + std::to_string(start.opening) +
                          " " + ProfileKey(profile);
  const Kept* kept = FindKept(start.slot, key);
  if (kept) {
    machine->Rollback(kept->snapshot);
  } else {
    std::unique_ptr<sim::Machine> booted;
    try {
      booted = std::make_unique<sim::Machine>(profile);
    } catch (const std::invalid_argument&) {
      return nullptr;  // a profile no chip is built to
    }
    // The access invariants read the port accesses of the trace.
    booted->trace().Start(sim::Trace::Detail::Ports);
    if (machine) {
      machine->Rollback(booted->TakeSnapshot());
    } else {
      machine = std::move(booted);
    }
    if (!loadEachTime) {
      machine->Load();
      CheckStep(*machine, 0, Scope::Loading, where + ", loading the driver");
      if (start.open && machine->Started()) start.open(*machine);
    }
    auto& all = KeptSnapshots(start.slot);
    if (all.size() == kKeptSnapshots) all.pop_front();
    all.push_back({key, machine->TakeSnapshot()});
  }
  if (loadEachTime) {
    machine->Load();
    CheckStep(*machine, 0, Scope::Loading, where + ", loading the driver");
  }
  return machine->Started() ? machine.get() : nullptr;
}

}  // namespace

sim::Machine* LoadMachine(const sim::Profile& profile, const std::string& where,
                          bool loadEachTime) {
  return LoadFromSnapshot(profile, where, loadEachTime, {});
}

sim::Machine* LoadMachine(const sim::Profile& profile, const std::string& where,
                          const Start& start) {
  return LoadFromSnapshot(profile, where, false, start);
}

Request ReadRequest(Input& in) {
  Request r;
  const uint8_t kind = in.U8();
  r.code = kind < 240 ? in.Pick(kAccepted) : in.U32();
  if (kind >= 200 && kind < 240) r.code += (kind & 1) ? 4 : -4;
  const ULONG inLength = ReadLength(in);
  r.outputLength = ReadLength(in);
  const uint8_t fill = in.U8();
  r.outputFill = in.U8();
  r.sameBuffer = (fill & 1) != 0;
  // The first bytes from the input, the rest one fill value: the handlers
  // read their fixed parts from the front.
  r.input = in.Bytes(in.U8() % 72);
  if (r.input.size() > inLength) r.input.resize(inLength);
  r.inputLength = inLength;
  r.inputFill = fill;
  return r;
}

Answer Send(sim::Machine& machine, const Request& request, const std::string& where,
            const Sending& sending) {
  const auto inLength = request.inputLength.value_or(static_cast<ULONG>(request.input.size()));
  const uint8_t fill = request.outputFill;
  Block in(Block::kInput,
           request.sameBuffer ? std::max<size_t>(inLength, request.outputLength) : inLength, fill);
  Block out(Block::kOutput, request.sameBuffer ? 0 : request.outputLength, fill);
  std::memset(in.bytes, request.inputFill, inLength);
  if (!request.input.empty()) std::memcpy(in.bytes, request.input.data(), request.input.size());
  const Block& reply = request.sameBuffer ? in : out;

  // A hardware state record points at the state buffer: one of exactly the
  // size the save fills, or for a restore exactly the StateLength given.
  std::unique_ptr<Block> state;
  const bool save = request.code == IOCTL_VIDEO_SAVE_HARDWARE_STATE;
  const bool restore = request.code == IOCTL_VIDEO_RESTORE_HARDWARE_STATE;
  uint8_t* record = (save ? reply : in).bytes;
  if ((save || restore) && (save ? reply : in).length >= 4) {
    ULONG length = request.state ? request.state->size() : kStateSize;
    if (!request.state && restore && in.length >= 8) {
      std::memcpy(&length, record + 4, 4);
      length %= kLargestState;
      std::memcpy(record + 4, &length, 4);
    }
    state = std::make_unique<Block>(
        Block::kState, length,
        request.state ? std::nullopt : std::optional<uint8_t>(request.stateFill));
    if (request.state && length != 0) std::memcpy(state->bytes, request.state->data(), length);
    const auto pointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(state->bytes));
    std::memcpy(record, &pointer, 4);
  }

  // Copies kept from one request to the next: their storage is reused. The
  // state buffer holds the request's state, or the fill byte throughout.
  static std::vector<uint8_t> inBefore, outBefore;
  // The registers now, and the adapter's change record from here on.
  static test::MachineState before;
  if (sending.checked) {
    CopyInto(inBefore, in.View());
    CopyInto(outBefore, out.View());
    test::Capture(machine, before);
  }

  const auto* ext = static_cast<const VgaDeviceExtension*>(machine.DeviceExtension());
  const bool pointerAvailable = ext->HardwarePointerAvailable != 0;
  const uint32_t mapsBefore = machine.CallCount(sim::Service::MapMemory);
  const size_t mark = machine.trace().Size();
  const sim::Machine::Result result =
      machine.Ioctl(request.code, inLength ? in.bytes : nullptr, inLength,
                    request.outputLength ? reply.bytes : nullptr, request.outputLength);
  const std::string done =
      where + ", request " + Hex(request.code) + " in " + std::to_string(inLength) + " out " +
      std::to_string(request.outputLength) + (request.sameBuffer ? " (one buffer)" : "") +
      " -> status " + std::to_string(result.status) + ", information " +
      std::to_string(result.information);

  const bool refused =
      sending.checked && (test::Refused(result.status) || result.status == ERROR_MORE_DATA);
  // A refusal's accesses, to show with a broken invariant (refusals make few).
  std::vector<sim::TraceEntry> accesses;
  if (refused) accesses = machine.trace().Since(mark);
  if (sending.checked) {
    CheckStep(machine, mark, Scope::Request, done);
  } else {
    machine.trace().Clear();
  }

  // A mapping the platform refused (an empty share view) reaches the caller
  // as the platform's status, with the record and the byte count filled as
  // the service left them: the driver's own checks had passed. The hardware
  // must still be untouched.
  const bool platformRefused = machine.CallCount(sim::Service::MapMemory) != mapsBefore;
  if (refused) {
    if (test::RefusalHidesPointer(request.code, result.status, std::span(inBefore).first(inLength),
                                  pointerAvailable)) {
      test::HidePointer(before);
    }
    auto lines = test::ChangesSince(before, machine);
    if (!platformRefused) {
      const test::CallerBuffers buffers{inBefore, in.View(), outBefore, out.View(),
                                        request.sameBuffer};
      const auto writes = test::UnallowedBufferWrites(request.code, result.status, buffers);
      lines.insert(lines.end(), writes.begin(), writes.end());
      const auto allowed =
          test::AllowedRefusalInformation(request.code, result.status, ext->NumAvailableModes);
      if (std::find(allowed.begin(), allowed.end(), result.information) == allowed.end()) {
        lines.push_back("Information " + std::to_string(result.information) +
                        " is not what this refusal leaves (" + std::to_string(allowed.front()) +
                        ")");
      }
    }
    if (state && state->length != 0 &&
        (request.state ? std::memcmp(state->bytes, request.state->data(), state->length) != 0
                       : state->bytes[0] != request.stateFill ||
                             std::memcmp(state->bytes, state->bytes + 1, state->length - 1) != 0)) {
      lines.push_back("the hardware state buffer changed");
    }
    if (!lines.empty()) {
      std::string what = "a refused request changed what it must leave alone:";
      for (const auto& line : lines)
        what += "\n  " + line;
      what += "\nits accesses:";
      for (size_t i = 0; i < accesses.size() && i < 40; ++i)
        what += "\n  " + sim::Format(accesses[i]);
      Fail(done, what);
    }
  }
  machine.adapter().StopChangeRecord();
  static std::vector<uint8_t> output;
  CopyInto(output, reply.View());
  const bool saved = state && save && result.status == NO_ERROR;
  // Each machine's saves are kept apart, unless the caller keeps them.
  static std::map<const sim::Machine*, std::vector<uint8_t>> kept;
  return {result, output,
          saved ? state->Keep(sending.keep ? *sending.keep : kept[&machine])
                : std::span<const uint8_t>()};
}

Answer EnableVdm(sim::Machine& machine, const std::string& where, const Sending& sending) {
  return Send(machine, {.code = IOCTL_VIDEO_ENABLE_VDM}, where + ", enable VDM", sending);
}

Answer SetMode(sim::Machine& machine, ULONG mode, const std::string& where,
               const Sending& sending) {
  Request set{.code = IOCTL_VIDEO_SET_CURRENT_MODE, .input = std::vector<uint8_t>(4)};
  std::memcpy(set.input.data(), &mode, 4);
  return Send(machine, set, where + ", mode set", sending);
}

Answer Save(sim::Machine& machine, uint8_t fill, const std::string& where, const Sending& sending) {
  return Send(machine,
              {.code = IOCTL_VIDEO_SAVE_HARDWARE_STATE,
               .outputLength = sizeof(VIDEO_HARDWARE_STATE),
               .stateFill = fill},
              where + ", save", sending);
}

Answer Restore(sim::Machine& machine, std::span<const uint8_t> state, const std::string& where,
               const Sending& sending) {
  Request restore{.code = IOCTL_VIDEO_RESTORE_HARDWARE_STATE,
                  .input = std::vector<uint8_t>(sizeof(VIDEO_HARDWARE_STATE)),
                  .state = state};
  const auto length = static_cast<uint32_t>(state.size());
  std::memcpy(restore.input.data() + 4, &length, 4);
  return Send(machine, restore, where + ", restore", sending);
}

Answer ResetDevice(sim::Machine& machine, const std::string& where, const Sending& sending) {
  return Send(machine, {.code = IOCTL_VIDEO_RESET_DEVICE}, where + ", reset", sending);
}

uint32_t SessionAccess(sim::Machine& machine, unsigned width, uint16_t port, bool write,
                       uint32_t value, const std::string& where) {
  const size_t mark = machine.trace().Size();
  uint32_t read = 0;
  if (write) {
    machine.V86Out(width, port, value);
  } else {
    read = machine.V86In(width, port);
  }
  CheckSession(machine, mark,
               where + (write ? ", out" : ", in") + std::to_string(8 * width) + " " + Hex(port) +
                   (write ? " " + Hex(value) : ""));
  return read;
}

void CheckSession(sim::Machine& machine, size_t mark, const std::string& where) {
  CheckStep(machine, mark, Scope::Session, where);
}

}  // namespace fuzz
