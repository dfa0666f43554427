// The script commands. Each handler checks its own words and the session
// state, throws ScriptError for misuse, and prints only its result lines.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/adapter.h"
#include "sim/screen/screen.h"
#include "sim/trace.h"
#include "tools/zelctl/adapter_keys.h"
#include "tools/zelctl/display_state.h"
#include "tools/zelctl/format.h"
#include "tools/zelctl/ioctl_names.h"
#include "tools/zelctl/parse.h"
#include "tools/zelctl/session.h"

namespace zelctl {

namespace {

// ---------------------------------------------------------------------------
// Helpers

void ExpectCount(Args args, size_t count, std::string_view synopsis) {
  if (args.size() != count) throw ScriptError("usage: " + std::string(synopsis));
}

// A request buffer allocated at exactly its length, so that the sanitizer
// catches a driver that reads or writes past it.
class Buffer {
 public:
  Buffer() = default;
  explicit Buffer(size_t size) : size_(size) {
    if (size_ != 0) {
      bytes_ = std::make_unique<uint8_t[]>(size_);
      std::fill_n(bytes_.get(), size_, uint8_t{0xCC});
    }
  }
  uint8_t* data() { return bytes_.get(); }
  ULONG size() const { return static_cast<ULONG>(size_); }
  std::span<const uint8_t> bytes() const { return {bytes_.get(), size_}; }

 private:
  size_t size_ = 0;
  std::unique_ptr<uint8_t[]> bytes_;
};

// Large enough for the hardware state buffer, small enough to stay sane.
constexpr uint64_t kMaxBuffer = 16 * 1048576;

std::string ResultLine(const sim::Machine::Result& result) {
  return "status=" + std::to_string(result.status) + " info=" + std::to_string(result.information);
}

// ---------------------------------------------------------------------------
// Handlers

void Adapter(Session& session, Args args) {
  sim::Profile& profile = session.ProfileBeforeStart();
  sim::Profile changed = profile;
  for (const std::string_view word : args)
    ApplyAdapterSetting(changed, word);
  try {
    sim::DerivePowerOn(changed);
  } catch (const std::invalid_argument& e) {
    throw ScriptError(std::string("adapter: ") + e.what());
  }
  profile = changed;
}

void Start(Session& session, Args args) {
  ExpectCount(args, 0, "start");
  const ULONG status = session.Start();
  session.out() << "start status=" << status << '\n';
}

void Ioctl(Session& session, Args args) {
  if (args.empty()) throw ScriptError("usage: ioctl CODE [in=HEX] [out=N] [same]");
  const uint32_t code = ParseIoctlCode(args[0]);
  std::optional<std::vector<uint8_t>> input;
  std::optional<uint32_t> outLength;
  bool same = false;
  for (const std::string_view word : args.subspan(1)) {
    if (word == "same") {
      if (same) throw ScriptError("ioctl: 'same' given twice");
      same = true;
      continue;
    }
    const KeyValue kv = SplitKeyValue(word, "ioctl");
    if (kv.key == "in") {
      if (input) throw ScriptError("ioctl: in= given twice");
      input = ParseHexBytes(kv.value, "in");
    } else if (kv.key == "out") {
      if (outLength) throw ScriptError("ioctl: out= given twice");
      outLength = static_cast<uint32_t>(ParseSize(kv.value, "out", kMaxBuffer));
    } else {
      throw ScriptError("ioctl: unknown argument '" + std::string(word) + "'");
    }
  }
  sim::Machine& machine = session.Driver();

  const std::vector<uint8_t> inBytes = input.value_or(std::vector<uint8_t>{});
  const ULONG inLength = static_cast<ULONG>(inBytes.size());
  const ULONG outLen = outLength.value_or(0);
  sim::Machine::Result result{};
  Buffer inBuffer, outBuffer;
  if (same) {
    // One buffer as the I/O manager passes a buffered request: input first.
    outBuffer = Buffer(std::max(inLength, outLen));
    std::copy(inBytes.begin(), inBytes.end(), outBuffer.data());
    result = machine.Ioctl(code, outBuffer.data(), inLength, outBuffer.data(), outLen);
  } else {
    inBuffer = Buffer(inLength);
    std::copy(inBytes.begin(), inBytes.end(), inBuffer.data());
    outBuffer = Buffer(outLen);
    result = machine.Ioctl(code, inBuffer.data(), inLength, outBuffer.data(), outLen);
  }
  std::string line = ResultLine(result);
  if (outLength) line += " out=" + HexBytes(outBuffer.bytes());
  session.out() << line << '\n';
}

// The session's own accesses to the 0xA0000-0xBFFFF window.
constexpr uint32_t kV86WindowBase = 0xA0000;
constexpr uint32_t kV86WindowEnd = 0xC0000;

bool V86Memory(Session& session, Args args) {
  constexpr std::string_view kUsage =
      "v86 read8 ADDRESS, v86 write8 ADDRESS VALUE, or v86 fill ADDRESS HEX";
  const std::string_view access = args[0];
  if (access != "read8" && access != "write8" && access != "fill") return false;
  ExpectCount(args, access == "read8" ? 2 : 3, kUsage);
  const uint64_t address = ParseNumber(args[1], "address", 0xFFFFFFFF);
  std::vector<uint8_t> bytes;
  if (access == "write8") {
    bytes.push_back(static_cast<uint8_t>(ParseNumber(args[2], "value", 0xFF)));
  } else if (access == "fill") {
    bytes = ParseHexBytes(args[2], "fill");
  }
  const uint64_t end = address + std::max<size_t>(bytes.size(), 1);
  if (address < kV86WindowBase || end > kV86WindowEnd) {
    throw ScriptError("v86: " + std::string(args[1]) +
                      (bytes.size() > 1 ? "+" + std::to_string(bytes.size()) : "") +
                      " lies outside the window 0xa0000-0xbffff");
  }
  sim::Machine& machine = session.Driver();
  if (access == "read8") {
    // Read before printing, so that a live trace line comes first.
    const uint8_t value = machine.V86Read8(static_cast<uint32_t>(address));
    session.out() << "value=" << Hex(value, 2) << '\n';
    return true;
  }
  for (size_t i = 0; i < bytes.size(); ++i)
    machine.V86Write8(static_cast<uint32_t>(address + i), bytes[i]);
  return true;
}

void V86(Session& session, Args args) {
  constexpr std::string_view kUsage = "v86 in8|in16|in32 PORT, or v86 out8|out16|out32 PORT VALUE";
  if (args.empty()) throw ScriptError("usage: " + std::string(kUsage));
  if (V86Memory(session, args)) return;
  struct Access {
    std::string_view name;
    bool out;
    unsigned size;
  };
  constexpr Access kAccesses[] = {
      {"in8", false, 1}, {"in16", false, 2}, {"in32", false, 4},
      {"out8", true, 1}, {"out16", true, 2}, {"out32", true, 4},
  };
  const auto access = std::find_if(std::begin(kAccesses), std::end(kAccesses),
                                   [&](const Access& a) { return a.name == args[0]; });
  if (access == std::end(kAccesses)) {
    throw ScriptError("v86: unknown access '" + std::string(args[0]) + "'");
  }
  ExpectCount(args, access->out ? 3 : 2, kUsage);
  const auto port = static_cast<uint16_t>(ParseNumber(args[1], "port", 0xFFFF));
  const uint64_t maxValue = access->size == 4 ? 0xFFFFFFFF : (1ull << (8 * access->size)) - 1;
  const uint32_t value =
      access->out ? static_cast<uint32_t>(ParseNumber(args[2], "value", maxValue)) : 0;
  sim::Machine& machine = session.Driver();
  if (access->out) {
    machine.V86Out(access->size, port, value);
    return;
  }
  // Read before printing, so that the access's trace lines come first.
  const uint32_t read = machine.V86In(access->size, port);
  session.out() << "value=" << Hex(read, 2 * access->size) << '\n';
}

// ---- the full-screen session's own code

std::string Registers16(const sim::session::Registers& r) {
  return "AX=" + Hex(r.eax & 0xFFFF, 4) + " BX=" + Hex(r.ebx & 0xFFFF, 4) +
         " CX=" + Hex(r.ecx & 0xFFFF, 4) + " DX=" + Hex(r.edx & 0xFFFF, 4);
}

std::string Counted(Session& session) {
  const Session::SessionCounts counts = session.TakeCounts();
  return std::to_string(counts.vga) + " VGA port accesses, " + std::to_string(counts.trapped) +
         " trapped";
}

sim::session::Vdm& FullScreen(Session& session) {
  const bool fresh = !session.HasFullScreen();
  sim::session::Vdm& vdm = session.FullScreen();
  if (fresh) session.out() << "session: VDM enabled, the session's video BIOS initialised\n";
  return vdm;
}

void SessionCommand(Session& session, Args args) {
  constexpr std::string_view kUsage =
      "session bios MODE | session int10 AX=N [BX=N] [CX=N] [DX=N] | session run FILE.com";
  if (args.empty()) throw ScriptError("usage: " + std::string(kUsage));
  if (args[0] == "bios") {
    ExpectCount(args, 2, kUsage);
    const auto mode = static_cast<uint32_t>(ParseNumber(args[1], "mode", 0x7F));
    sim::session::Registers in;
    in.eax = mode;
    const sim::session::Registers out = FullScreen(session).Int10(in);
    session.out() << "mode " << Hex(mode, 2) << " set by the session's BIOS: " << Counted(session)
                  << " (" << Registers16(out) << ")\n";
    return;
  }
  if (args[0] == "int10") {
    if (args.size() < 2) throw ScriptError("usage: " + std::string(kUsage));
    sim::session::Registers in;
    bool axGiven = false;
    for (const std::string_view word : args.subspan(1)) {
      const KeyValue kv = SplitKeyValue(word, "session int10");
      const auto value = static_cast<uint32_t>(ParseNumber(kv.value, kv.key, 0xFFFF));
      if (kv.key == "AX") {
        in.eax = value;
        axGiven = true;
      } else if (kv.key == "BX") {
        in.ebx = value;
      } else if (kv.key == "CX") {
        in.ecx = value;
      } else if (kv.key == "DX") {
        in.edx = value;
      } else {
        throw ScriptError("session int10: unknown register '" + std::string(kv.key) + "'");
      }
    }
    if (!axGiven) throw ScriptError("session int10: AX= names the function");
    const sim::session::Registers out = FullScreen(session).Int10(in);
    session.out() << Registers16(out) << "; " << Counted(session) << '\n';
    return;
  }
  if (args[0] == "run") {
    ExpectCount(args, 2, kUsage);
    const std::string path(args[1]);
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ScriptError("session run: cannot open '" + path + "'");
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    const sim::session::Outcome end = FullScreen(session).RunCom(image);
    const std::string how = end.end == sim::session::End::Halted
                                ? "halted"
                                : "exited with code " + std::to_string(end.exitCode);
    session.out() << path << ": " << how << " after " << end.blocks << " blocks of code; "
                  << Counted(session) << '\n';
    return;
  }
  throw ScriptError("session: unknown action '" + std::string(args[0]) + "'");
}

void Screenshot(Session& session, Args args) {
  ExpectCount(args, 1, "screenshot FILE.png");
  const sim::screen::Image image = sim::screen::RenderScreen(session.StartedMachine().adapter());
  const std::string path(args[0]);
  if (!sim::screen::WritePng(image, path)) {
    throw std::runtime_error("screenshot: cannot write '" + path + "'");
  }
}

void Reg(Session& session, Args args) {
  constexpr std::string_view kUsage = "reg sr|cr|gr|ar INDEX, or reg misc|fcr|pel";
  if (args.empty()) throw ScriptError("usage: " + std::string(kUsage));
  struct Single {
    std::string_view name;
    uint8_t (sim::Adapter::*read)() const;
  };
  constexpr Single kSingles[] = {
      {"misc", &sim::Adapter::Misc},
      {"fcr", &sim::Adapter::FeatureControl},
      {"pel", &sim::Adapter::PelMask},
  };
  struct Indexed {
    std::string_view name;
    uint8_t lastIndex;
    uint8_t (sim::Adapter::*read)(uint8_t) const;
  };
  constexpr Indexed kIndexed[] = {
      {"sr", 0xFF, &sim::Adapter::Seq},
      {"cr", 0x18, &sim::Adapter::Crtc},
      {"gr", 0x08, &sim::Adapter::Gc},
      {"ar", 0x14, &sim::Adapter::Attr},
  };
  for (const Single& single : kSingles) {
    if (single.name != args[0]) continue;
    ExpectCount(args, 1, kUsage);
    const sim::Adapter& adapter = session.StartedMachine().adapter();
    session.out() << Hex((adapter.*single.read)(), 2) << '\n';
    return;
  }
  for (const Indexed& indexed : kIndexed) {
    if (indexed.name != args[0]) continue;
    ExpectCount(args, 2, kUsage);
    const auto index = static_cast<uint8_t>(ParseNumber(args[1], "index", indexed.lastIndex));
    const sim::Adapter& adapter = session.StartedMachine().adapter();
    session.out() << Hex((adapter.*indexed.read)(index), 2) << '\n';
    return;
  }
  throw ScriptError("reg: unknown register '" + std::string(args[0]) + "'");
}

void State(Session& session, Args args) {
  ExpectCount(args, 0, "state");
  PrintState(session.StartedMachine().adapter(), session.out());
}

void Dac(Session& session, Args args) {
  ExpectCount(args, 1, "dac INDEX");
  const auto index = static_cast<uint8_t>(ParseNumber(args[0], "index", 0xFF));
  const sim::Rgb rgb = session.StartedMachine().adapter().Dac(index);
  session.out() << Hex(rgb.r, 2) << ' ' << Hex(rgb.g, 2) << ' ' << Hex(rgb.b, 2) << '\n';
}

// OFFSET and LENGTH of a byte run inside `limit` bytes.
std::pair<uint32_t, uint32_t> Run(std::string_view offsetText, std::string_view lengthText,
                                  uint64_t limit, std::string_view where) {
  const uint64_t offset = ParseSize(offsetText, "offset", 0xFFFFFFFF);
  const uint64_t length = ParseSize(lengthText, "length", 0xFFFFFFFF);
  if (offset > limit || length > limit - offset) {
    throw ScriptError(std::string(where) + " holds " + Hex(static_cast<uint32_t>(limit), 1) +
                      " bytes: " + std::string(offsetText) + "+" + std::string(lengthText) +
                      " lies outside");
  }
  return {static_cast<uint32_t>(offset), static_cast<uint32_t>(length)};
}

void Vram(Session& session, Args args) {
  ExpectCount(args, 2, "vram OFFSET LENGTH");
  const sim::Adapter& adapter = session.StartedMachine().adapter();
  const std::span<const uint8_t> vram = adapter.Vram();
  const auto [offset, length] = Run(args[0], args[1], vram.size(), "vram: video memory");
  session.out() << HexBytes(vram.subspan(offset, length)) << '\n';
}

void Plane(Session& session, Args args) {
  ExpectCount(args, 3, "plane P OFFSET LENGTH");
  const auto plane = static_cast<int>(ParseNumber(args[0], "plane", 3));
  const sim::Adapter& adapter = session.StartedMachine().adapter();
  // Plane p, offset o is byte 4 * o + p of video memory.
  const auto [offset, length] = Run(args[1], args[2], adapter.Vram().size() / 4, "plane: a plane");
  std::vector<uint8_t> bytes(length);
  for (uint32_t i = 0; i < length; ++i)
    bytes[i] = adapter.PlaneByte(plane, offset + i);
  session.out() << HexBytes(bytes) << '\n';
}

void Trace(Session& session, Args args) {
  constexpr std::string_view kUsage = "usage: trace on|off, or trace on decoded";
  if (args.size() == 1 && args[0] == "on") {
    session.SetTracing(TraceStyle::Plain);
  } else if (args.size() == 2 && args[0] == "on" && args[1] == "decoded") {
    session.SetTracing(TraceStyle::Decoded);
  } else if (args.size() == 1 && args[0] == "off") {
    session.SetTracing(TraceStyle::Off);
  } else {
    throw ScriptError(std::string(kUsage));
  }
}

void Registry(Session& session, Args args) {
  ExpectCount(args, 0, "registry");
  for (const sim::Machine::RegistryValue& value : session.StartedMachine().Registry()) {
    session.out() << RegistryLine(value.name, value.data) << '\n';
  }
}

void Modes(Session& session, Args args) {
  ExpectCount(args, 0, "modes");
  sim::Machine& machine = session.Driver();
  VIDEO_NUM_MODES count{};
  const sim::Machine::Result counted =
      machine.Ioctl(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &count, sizeof count);
  if (counted.status != NO_ERROR) {
    session.out() << ResultLine(counted) << '\n';
    return;
  }
  const uint32_t step = count.ModeInformationLength;
  if (step == 0 || uint64_t{count.NumModes} * step > kMaxBuffer) {
    throw std::runtime_error("modes: the driver reports " + std::to_string(count.NumModes) +
                             " records of " + std::to_string(step) + " bytes");
  }
  Buffer records(size_t{count.NumModes} * step);
  const sim::Machine::Result listed =
      machine.Ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, records.data(), records.size());
  if (listed.status != NO_ERROR) {
    session.out() << ResultLine(listed) << '\n';
    return;
  }
  std::vector<VIDEO_MODE_INFORMATION> modes(count.NumModes);
  for (size_t i = 0; i < modes.size(); ++i) {
    std::memcpy(&modes[i], records.data() + i * step, std::min<size_t>(step, sizeof modes[i]));
  }
  session.out() << ModesTable(modes);
}

VIDEO_HARDWARE_STATE StateRecord(Session& session, ULONG length) {
  return {reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(session.States().bytes.data()), length};
}

void SaveState(Session& session, Args args) {
  ExpectCount(args, 0, "save");
  VIDEO_HARDWARE_STATE record = StateRecord(session, 0);
  const sim::Machine::Result result =
      session.Driver().Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, sizeof record);
  session.out() << ResultLine(result) << '\n';
}

void RestoreState(Session& session, Args args) {
  ExpectCount(args, 0, "restore");
  VIDEO_HARDWARE_STATE record = StateRecord(session, session.States().restoreLength);
  const sim::Machine::Result result = session.Driver().Ioctl(IOCTL_VIDEO_RESTORE_HARDWARE_STATE,
                                                             &record, sizeof record, nullptr, 0);
  session.out() << ResultLine(result) << '\n';
}

void StatePeek(Session& session, Args args) {
  ExpectCount(args, 2, "state-peek OFFSET LENGTH");
  const auto [offset, length] =
      Run(args[0], args[1], StateStore::kSize, "state-peek: the state buffer");
  session.out() << HexBytes(
                       std::span<const uint8_t>(session.States().bytes).subspan(offset, length))
                << '\n';
}

void StatePoke(Session& session, Args args) {
  ExpectCount(args, 2, "state-poke OFFSET HEX");
  const std::vector<uint8_t> bytes = ParseHexBytes(args[1], "state-poke");
  const auto [offset, length] =
      Run(args[0], std::to_string(bytes.size()), StateStore::kSize, "state-poke: the state buffer");
  std::copy_n(bytes.begin(), length, session.States().bytes.begin() + offset);
}

// A longer StateLength than the buffer would let the driver read past it.
void StateLength(Session& session, Args args) {
  ExpectCount(args, 1, "state-length N");
  session.States().restoreLength =
      static_cast<ULONG>(ParseNumber(args[0], "state-length", StateStore::kSize));
}

constexpr Command kCommands[] = {
    {"adapter", "adapter KEY=VALUE ...", "before start: set the adapter profile", Adapter},
    {"start", "start", "load the driver as the video port does", Start},
    {"ioctl", "ioctl CODE [in=HEX] [out=N] [same]", "one request through VgaStartIO", Ioctl},
    {"v86",
     "v86 in8|in16|in32 PORT | v86 out8|out16|out32 PORT VALUE | v86 read8 ADDRESS | "
     "v86 write8 ADDRESS VALUE | v86 fill ADDRESS HEX",
     "a full-screen session's port access through the V86 emulator, or its access to the "
     "0xA0000-0xBFFFF window (fill writes the bytes in order)",
     V86},
    {"session",
     "session bios MODE | session int10 AX=N [BX=N] [CX=N] [DX=N] | session run FILE.com",
     "real code in a full-screen session (VDM enabled and the session's video BIOS, "
     "SeaVGABIOS, initialised at first use): the BIOS's mode set, any INT 10h call, or a DOS "
     ".COM program; its port I/O goes through the driver's trap tables",
     SessionCommand},
    {"screenshot", "screenshot FILE.png", "the screen as the adapter shows it now, as a PNG",
     Screenshot},
    {"reg", "reg sr|cr|gr|ar INDEX | reg misc|fcr|pel",
     "read an adapter register (no side effects)", Reg},
    {"state", "state",
     "the adapter decoded: every VGA and Zel register with its fields, then what the monitor "
     "gets (mode, timing, clock, sync, memory, window and bank, aperture, pointer)",
     State},
    {"dac", "dac INDEX", "read a colour table entry: 0xRR 0xGG 0xBB", Dac},
    {"vram", "vram OFFSET LENGTH", "video memory as the aperture sees it", Vram},
    {"plane", "plane P OFFSET LENGTH", "plane P (0 to 3) at a planar offset", Plane},
    {"trace", "trace on|off | trace on decoded",
     "print every hardware access as it happens; 'decoded' adds what each one means: "
     "registers by name and field, an index and its data accesses on one line, status polls "
     "and runs of window bytes folded into one line each",
     Trace},
    {"registry", "registry", "the registry values the driver wrote, in order", Registry},
    {"modes", "modes", "the valid modes as a table", Modes},
    {"save", "save", "IOCTL_VIDEO_SAVE_HARDWARE_STATE into the console's state buffer", SaveState},
    {"restore", "restore", "IOCTL_VIDEO_RESTORE_HARDWARE_STATE from the state buffer",
     RestoreState},
    {"state-peek", "state-peek OFFSET LENGTH", "bytes of the state buffer", StatePeek},
    {"state-poke", "state-poke OFFSET HEX", "write bytes into the state buffer", StatePoke},
    {"state-length", "state-length N",
     "the StateLength the next restore passes (default and largest 264359)", StateLength},
};

}  // namespace

std::span<const Command> Commands() {
  return kCommands;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace zelctl
