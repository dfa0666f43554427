#include "fuzz/harness.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>
#include <stdexcept>

#include "fuzz/invariants.h"
#include "miniport/device_extension.h"
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

// Restore lengths beyond the state size stay below this.
constexpr ULONG kLargestState = kStateSize + 0x1000;

const ULONG kAccepted[] = {
    IOCTL_VIDEO_ENABLE_VDM,
    IOCTL_VIDEO_SAVE_HARDWARE_STATE,
    IOCTL_VIDEO_RESTORE_HARDWARE_STATE,
    IOCTL_VIDEO_QUERY_AVAIL_MODES,
    IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES,
    IOCTL_VIDEO_QUERY_CURRENT_MODE,
    IOCTL_VIDEO_SET_CURRENT_MODE,
    IOCTL_VIDEO_RESET_DEVICE,
    IOCTL_VIDEO_LOAD_AND_SET_FONT,
    IOCTL_VIDEO_SET_PALETTE_REGISTERS,
    IOCTL_VIDEO_SET_COLOR_REGISTERS,
    IOCTL_VIDEO_SET_CURSOR_ATTR,
    IOCTL_VIDEO_QUERY_CURSOR_ATTR,
    IOCTL_VIDEO_SET_CURSOR_POSITION,
    IOCTL_VIDEO_QUERY_CURSOR_POSITION,
    IOCTL_VIDEO_ENABLE_POINTER,
    IOCTL_VIDEO_DISABLE_POINTER,
    IOCTL_VIDEO_SET_POINTER_ATTR,
    IOCTL_VIDEO_SET_POINTER_POSITION,
    IOCTL_VIDEO_QUERY_POINTER_POSITION,
    IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES,
    IOCTL_VIDEO_GET_BANK_SELECT_CODE,
    IOCTL_VIDEO_MAP_VIDEO_MEMORY,
    IOCTL_VIDEO_UNMAP_VIDEO_MEMORY,
    IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES,
    IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES,
    IOCTL_VIDEO_SHARE_VIDEO_MEMORY,
    IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY,
};

// Record sizes and the lengths just around them.
const ULONG kLengths[] = {0,  1,  2,  3,  4,  5,  6,  7,   8,   9,    10,   11,   12,   15,
                          16, 20, 23, 24, 36, 52, 80, 102, 160, 1052, 1216, 4107, 8192, 65536};

ULONG ReadLength(Input& in) {
  switch (in.U8() & 3) {
    case 0:
    case 1: {
      const ULONG base = in.Pick(kLengths);
      const int nudge = static_cast<int>(in.U8() % 3) - 1;  // one below, on, one above
      return base == 0 && nudge < 0 ? 0 : base + nudge;
    }
    case 2:
      return in.U16() % 2048;
    default:
      return in.U32() % kLargestState;
  }
}

// A heap block of exactly `length` bytes (an empty one for 0), so that
// AddressSanitizer catches a driver that reads or writes one byte past it.
// Blocks of a length used before come back instead of new ones: under
// AddressSanitizer a block of hundreds of KB is a mapping of its own, paid
// for in page faults every run.
struct Block {
  explicit Block(size_t length) : length(length), bytes(Take(length)) {}
  ~Block() { Give(length, std::move(bytes)); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  size_t length;
  std::unique_ptr<uint8_t[]> bytes;
  std::span<const uint8_t> View() const { return {bytes.get(), length}; }

 private:
  struct Kept {
    size_t length;
    std::unique_ptr<uint8_t[]> bytes;
  };
  static constexpr size_t kMaxKept = 8;
  static std::vector<Kept>& Spares() {
    static std::vector<Kept> spares;
    return spares;
  }
  static std::unique_ptr<uint8_t[]> Take(size_t length) {
    auto& spares = Spares();
    for (auto it = spares.begin(); it != spares.end(); ++it) {
      if (it->length != length) continue;
      std::unique_ptr<uint8_t[]> bytes = std::move(it->bytes);
      spares.erase(it);
      return bytes;
    }
    return std::unique_ptr<uint8_t[]>(new uint8_t[length]);
  }
  static void Give(size_t length, std::unique_ptr<uint8_t[]> bytes) {
    auto& spares = Spares();
    if (spares.size() == kMaxKept) spares.erase(spares.begin());
    spares.push_back({length, std::move(bytes)});
  }
};

// Bytes copied with memcpy: under AddressSanitizer on i386 the memmove that
// std::copy becomes goes byte by byte, and these are hundreds of KB.
void CopyInto(std::vector<uint8_t>& to, std::span<const uint8_t> from) {
  to.resize(from.size());
  if (!from.empty()) std::memcpy(to.data(), from.data(), from.size());
}

}  // namespace

sim::Profile ReadProfile(Input& in) {
  static const uint32_t kMemory[] = {1, 2, 4, 8};
  static const uint32_t kRom[] = {32, 32, 48, 64};
  static const uint32_t kStrap1Clocks[] = {66, 75, 83, 100};
  static const uint32_t kClocks[] = {50, 60, 66, 75, 80, 83, 90, 100};
  sim::Profile p;
  const uint8_t chip = in.U8();
  p.revision = (chip & 1) ? 0x1A : 0x0B;  // a B1 and an A1
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

// A power-on state met again starts from a copy of its adapter as the POST
// left it, untouched by any run, instead of running the POST again. The
// adapter is made from the power-on state alone (the rest of a profile goes
// to the PCI bridge and the claims, which every machine builds afresh), so
// the state's bytes are the key. Only a state met twice is kept: most
// profiles of a run are new, and keeping a copy costs about what the POST
// does.
std::string PowerOnKey(const sim::PowerOnState& s) {
  std::string key;
  auto add = [&key](const void* data, size_t size) {
    key.append(static_cast<const char*>(data), size);
  };
  add(&s.videoMemoryBytes, sizeof(s.videoMemoryBytes));
  add(s.extendedSeq.data(), s.extendedSeq.size());
  add(s.pciConfig.data(), s.pciConfig.size());
  const uint8_t defects[] = {s.defects.graphicsIndexMasked, s.defects.bitMaskStuckLow,
                             s.defects.graphicsDataNotIndexed, s.defects.sequencerIndexMasked,
                             s.defects.chain4Stuck};
  add(defects, sizeof(defects));
  add(s.optionRom.data(), s.optionRom.size());
  return key;
}

constexpr size_t kMaxBooted = 6;
constexpr size_t kMaxSeen = 4096;

std::unique_ptr<sim::Machine> Boot(const sim::Profile& profile) {
  struct Booted {
    std::string key;
    std::unique_ptr<const sim::Adapter> adapter;
  };
  static std::deque<Booted> booted;  // the oldest first
  static std::set<std::string> seen;
  const std::string key = PowerOnKey(sim::DerivePowerOn(profile));
  for (const Booted& b : booted) {
    if (b.key == key) return std::make_unique<sim::Machine>(profile, *b.adapter);
  }
  auto machine = std::make_unique<sim::Machine>(profile);
  if (seen.insert(key).second) {
    if (seen.size() > kMaxSeen) seen.clear();
    return machine;
  }
  if (booted.size() == kMaxBooted) booted.pop_front();
  booted.push_back({key, std::make_unique<const sim::Adapter>(machine->adapter())});
  return machine;
}

}  // namespace

std::unique_ptr<sim::Machine> LoadMachine(const sim::Profile& profile, const std::string& where) {
  test::ReserveTopOfAddressSpace();
  std::unique_ptr<sim::Machine> machine;
  try {
    machine = Boot(profile);
  } catch (const std::invalid_argument&) {
    return nullptr;  // a profile no chip is built to
  }
  // The access invariants read the port accesses of the trace.
  const size_t mark = machine->trace().Start(sim::Trace::Detail::Ports);
  machine->Load();
  CheckAccesses(*machine, mark, Scope::Loading, where + ", loading the driver");
  CheckAtRest(*machine, where + ", after loading the driver");
  if (!machine->Started()) return nullptr;
  return machine;
}

Request ReadRequest(Input& in) {
  Request r;
  const uint8_t kind = in.U8();
  if (kind < 200) {
    r.code = in.Pick(kAccepted);
  } else if (kind < 240) {
    r.code = in.Pick(kAccepted) + ((kind & 1) ? 4 : -4);
  } else {
    r.code = in.U32();
  }
  const ULONG inLength = ReadLength(in);
  r.outputLength = ReadLength(in);
  const uint8_t fill = in.U8();
  r.outputFill = in.U8();
  r.sameBuffer = (fill & 1) != 0;
  // The first bytes from the input, the rest one fill value: the handlers
  // read their fixed parts from the front.
  r.input = in.Bytes(in.U8() % 72);
  if (r.input.size() > inLength) r.input.resize(inLength);
  r.input.resize(inLength, fill);
  return r;
}

std::string Describe(const Request& r) {
  return "request " + Hex(r.code) + " in " + std::to_string(r.input.size()) + " out " +
         std::to_string(r.outputLength) + (r.sameBuffer ? " (one buffer)" : "");
}

Answer Send(sim::Machine& machine, const Request& request, const std::string& where) {
  const std::string at = where + ", " + Describe(request);
  const ULONG inLength = static_cast<ULONG>(request.input.size());
  const size_t oneLength = std::max<size_t>(inLength, request.outputLength);
  Block in(request.sameBuffer ? oneLength : inLength);
  Block out(request.sameBuffer ? 0 : request.outputLength);
  std::memset(in.bytes.get(), request.outputFill, in.length);
  if (inLength != 0) std::memcpy(in.bytes.get(), request.input.data(), inLength);
  std::memset(out.bytes.get(), request.outputFill, out.length);

  // A hardware state record points at the state buffer: one of exactly the
  // size the save fills, or for a restore exactly the StateLength given.
  std::unique_ptr<Block> state;
  const bool save = request.code == IOCTL_VIDEO_SAVE_HARDWARE_STATE;
  const bool restore = request.code == IOCTL_VIDEO_RESTORE_HARDWARE_STATE;
  const Block& recordBlock = save && !request.sameBuffer ? out : in;
  if ((save || restore) && recordBlock.length >= 4) {
    if (request.state) {
      state = std::make_unique<Block>(request.state->size());
      if (!request.state->empty()) {
        std::memcpy(state->bytes.get(), request.state->data(), request.state->size());
      }
    } else {
      ULONG length = kStateSize;
      if (restore && in.length >= 8) {
        std::memcpy(&length, in.bytes.get() + 4, 4);
        length %= kLargestState;
        std::memcpy(in.bytes.get() + 4, &length, 4);
      }
      state = std::make_unique<Block>(length);
      std::memset(state->bytes.get(), request.outputFill, length);
    }
  }
  if (state) {
    uint8_t* record = recordBlock.bytes.get();
    const auto pointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(state->bytes.get()));
    std::memcpy(record, &pointer, 4);
  }

  // Copies kept from one request to the next: their storage is reused.
  static std::vector<uint8_t> inBefore, outBefore, stateBefore;
  CopyInto(inBefore, in.View());
  CopyInto(outBefore, out.View());
  stateBefore.clear();
  if (state) CopyInto(stateBefore, state->View());
  // The registers now, and the adapter's change record from here on.
  static test::MachineState before;
  test::Capture(machine, before);

  const auto* ext = static_cast<const VgaDeviceExtension*>(machine.DeviceExtension());
  const bool pointerAvailable = ext->HardwarePointerAvailable != 0;
  const uint32_t mapsBefore = machine.CallCount(sim::Service::MapMemory);
  const size_t mark = machine.trace().Size();
  const sim::Machine::Result result =
      machine.Ioctl(request.code, inLength ? in.bytes.get() : nullptr, inLength,
                    request.sameBuffer ? (request.outputLength ? in.bytes.get() : nullptr)
                                       : (request.outputLength ? out.bytes.get() : nullptr),
                    request.outputLength);
  const std::string done = at + " -> status " + std::to_string(result.status) + ", information " +
                           std::to_string(result.information);

  const bool refused = test::Refused(result.status) || result.status == ERROR_MORE_DATA;
  // A refusal's accesses, to show with a broken invariant (refusals make few).
  std::vector<sim::TraceEntry> accesses;
  if (refused) accesses = machine.trace().Since(mark);
  CheckAccesses(machine, mark, Scope::Request, done);
  CheckAtRest(machine, done);

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
    test::CallerBuffers buffers{inBefore, in.View(), outBefore, out.View(), request.sameBuffer};
    if (!platformRefused) {
      for (const std::string& line :
           test::UnallowedBufferWrites(request.code, result.status, buffers))
        lines.push_back(line);
    }
    if (state && !std::equal(stateBefore.begin(), stateBefore.end(), state->bytes.get())) {
      lines.push_back("the hardware state buffer changed");
    }
    const auto allowed =
        test::AllowedRefusalInformation(request.code, result.status, ext->NumAvailableModes);
    if (!platformRefused &&
        std::find(allowed.begin(), allowed.end(), result.information) == allowed.end()) {
      lines.push_back("Information " + std::to_string(result.information) +
                      " is not what this refusal leaves (" + std::to_string(allowed.front()) + ")");
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
  Answer answer{result, {}, {}};
  const Block& outBlock = request.sameBuffer ? in : out;
  CopyInto(answer.output, outBlock.View());
  if (state && save) CopyInto(answer.state, state->View());
  return answer;
}

Answer EnableVdm(sim::Machine& machine, const std::string& where) {
  Request vdm;
  vdm.code = IOCTL_VIDEO_ENABLE_VDM;
  return Send(machine, vdm, where + ", enable VDM");
}

Answer SetMode(sim::Machine& machine, uint8_t mode, const std::string& where) {
  Request set;
  set.code = IOCTL_VIDEO_SET_CURRENT_MODE;
  set.input = {mode, 0, 0, 0};
  return Send(machine, set, where + ", mode set");
}

Answer Save(sim::Machine& machine, std::span<const uint8_t> buffer, const std::string& where) {
  Request save;
  save.code = IOCTL_VIDEO_SAVE_HARDWARE_STATE;
  save.outputLength = sizeof(VIDEO_HARDWARE_STATE);
  save.state = buffer;
  return Send(machine, save, where + ", save");
}

Answer Restore(sim::Machine& machine, std::span<const uint8_t> state, const std::string& where) {
  Request restore;
  restore.code = IOCTL_VIDEO_RESTORE_HARDWARE_STATE;
  restore.input.assign(sizeof(VIDEO_HARDWARE_STATE), 0);
  const auto length = static_cast<uint32_t>(state.size());
  std::memcpy(restore.input.data() + 4, &length, 4);
  restore.state = state;
  return Send(machine, restore, where + ", restore");
}

void SessionAccess(sim::Machine& machine, unsigned width, uint16_t port, bool write, uint32_t value,
                   const std::string& where) {
  const size_t mark = machine.trace().Size();
  const std::string what = where + (write ? ", out" : ", in") + std::to_string(8 * width) + " " +
                           Hex(port) + (write ? " " + Hex(value) : "");
  if (write) {
    machine.V86Out(width, port, value);
  } else {
    machine.V86In(width, port);
  }
  CheckAccesses(machine, mark, Scope::Session, what);
  CheckAtRest(machine, what);
}

}  // namespace fuzz
