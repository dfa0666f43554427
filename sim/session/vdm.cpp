// The session's processor is Unicorn's 16-bit x86. The host answers what the
// hardware of a virtual DOS machine would: port instructions (one hook per
// element of a string instruction), the video window (memory-mapped I/O
// decoded byte by byte, low byte first), and software interrupts, which
// Unicorn leaves to the host in real mode: they go through the vector table
// here as the processor would take them.
#include "sim/session/vdm.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>

#include "sim/adapter.h"
#include "sim/machine.h"
#include "sim/session/system_bios.h"

namespace sim::session {

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kPages = Vdm::kMemorySize / kPage;
// A restart drops about three pages of the video BIOS's code (those its
// initialisation writes variables into), a rollback the program's pages.
constexpr uint32_t kFlushAfterStaleCodePages = 256;
constexpr uint32_t kConventionalEnd = 0xA0000;
constexpr uint32_t kWindowStart = 0xA0000;
constexpr uint32_t kWindowEnd = 0xC0000;
constexpr uint32_t kVideoBiosBase = uint32_t{Vdm::kVideoBiosSegment} << 4;
constexpr uint32_t kVideoBiosLimit = 0xF0000;  // option ROMs end where the system BIOS starts
constexpr uint32_t kSystemBiosBase = uint32_t{kSystemBiosSegment} << 4;
constexpr uint32_t kHostReturnLinear = kSystemBiosBase + kHostReturn;
constexpr uint16_t kVideoBiosInit = 0x0003;
// Where calls the host makes (INT 10h, the BIOS's initialisation) keep their
// stack: below the top of conventional memory, clear of the program.
constexpr uint16_t kHostStackSegment = 0x8000;
constexpr uint16_t kHostStackTop = 0xFFFE;
constexpr uint8_t kHlt = 0xF4;
constexpr uint32_t kFlagCarry = 0x0001, kFlagTrap = 0x0100, kFlagInterrupt = 0x0200,
                   kFlagDirection = 0x0400;
constexpr uint16_t kFirstVgaPort = Adapter::kFirstPort, kLastVgaPort = Adapter::kLastPort;
constexpr size_t kMaxCommandTail = 126;  // its length byte and the closing CR around it
constexpr size_t kMaxComImage = 0x10000 - 0x100 - 2;  // the segment less PSP and a stack word

uint32_t Linear(uint16_t segment, uint16_t offset) {
  return (uint32_t{segment} << 4) + offset;
}

uint32_t AllOnes(unsigned size) {
  return size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

const char* ExceptionName(uint32_t vector) {
  switch (vector) {
    case 0x00:
      return "divide error (#DE)";
    case 0x01:
      return "debug exception (#DB)";
    case 0x03:
      return "breakpoint (#BP)";
    case 0x04:
      return "overflow (#OF)";
    case 0x05:
      return "bound range exceeded (#BR)";
    case 0x06:
      return "invalid opcode (#UD)";
    case 0x07:
      return "device not available (#NM)";
    case 0x0C:
      return "stack fault (#SS)";
    case 0x0D:
      return "general protection fault (#GP)";
    default:
      return "processor exception";
  }
}

struct EngineClose {
  void operator()(uc_engine* uc) const { uc_close(uc); }
};
struct ContextFree {
  void operator()(uc_context* context) const { uc_context_free(context); }
};

}  // namespace

struct Vdm::Impl {
  Machine* machine;
  Options options;
  std::unique_ptr<uc_engine, EngineClose> uc;
  std::vector<uint8_t> memory = std::vector<uint8_t>(kMemorySize, 0);
  std::vector<uint8_t> rom;                             // the video BIOS image as read
  std::shared_ptr<const std::vector<uint8_t>> powerOn;  // the 1 MB before the BIOS initialises
  uint32_t romEnd = 0;                                  // of its mapping, page-aligned
  uint32_t windowBegin = 0, windowEnd = 0;  // the part of 0xA0000-0xBFFFF the adapter answers

  std::function<void(const PortAccess&)> beforePort, afterPortRead;
  std::function<void(const WindowAccess&)> afterWindowRead, afterWindowWrite;

  // Pages whose code has run since the translation cache was last emptied,
  // and how many such pages were dropped since.
  std::bitset<kPages> executedPages;
  uint32_t staleCodePages = 0;

  // This run.
  uint64_t blocks = 0;
  uint64_t portAccesses = 0;
  uint32_t current = 0;  // linear address of the block being executed
  std::exception_ptr failure;
  bool exited = false;
  uint8_t exitCode = 0;
  Outcome last{End::Returned};
  std::vector<uint8_t> run;  // a string instruction's bytes for the window

  // A state to come back to: the processor, the 1 MB (shared by the states
  // kept while the RAM did not change), the counters.
  struct Kept {
    std::unique_ptr<uc_context, ContextFree> context;
    std::shared_ptr<const std::vector<uint8_t>> memory;
    uint64_t ports = 0;
    Outcome last{End::Returned};
  };
  Kept snapshot;  // Snapshot and Rollback's own
  // The memory image the RAM equals but for the pages marked written.
  std::shared_ptr<const std::vector<uint8_t>> image;
  std::bitset<kPages> written;
  std::vector<uint32_t> writtenPages;
  uint32_t rollbacks = 0;

  Impl(Machine& m, const Options& o) : machine(&m), options(o) {}

  // ---- registers

  uint32_t Reg(int id) const {
    uint32_t value = 0;
    uc_reg_read(uc.get(), id, &value);
    return value;
  }
  void SetReg(int id, uint32_t value) { uc_reg_write(uc.get(), id, &value); }

  uint16_t Cs() const { return static_cast<uint16_t>(Reg(UC_X86_REG_CS)); }

  // CS:IP of an address in the code running now, and the bytes there.
  std::string Where(uint32_t linear) const {
    const uint16_t cs = Cs();
    const auto ip = static_cast<uint16_t>(linear - (uint32_t{cs} << 4));
    std::string text = Hex(cs, 4) + ":" + Hex(ip, 4) + " (";
    for (uint32_t i = 0; i < 6; ++i) {
      if (linear + i >= kMemorySize) break;
      if (i) text += ' ';
      char byte[4];
      std::snprintf(byte, sizeof byte, "%02x", memory[linear + i]);
      text += byte;
    }
    return text + ")";
  }

  void Fail(const std::string& what, SessionError::Origin origin = SessionError::Origin::Program) {
    if (!failure) failure = std::make_exception_ptr(SessionError(what, origin));
    uc_emu_stop(uc.get());
  }
  bool Failed() const { return failure != nullptr; }

  // Runs `action`, turning anything it throws into the run's failure.
  template <typename Action>
  void Guarded(const char* what, Action action) {
    try {
      action();
    } catch (const SessionError& e) {
      Fail(std::string(what) + " in the block at " + Where(current) + ": " + e.what(), e.origin());
    } catch (const std::exception& e) {
      Fail(std::string(what) + " in the block at " + Where(current) + ": " + e.what(),
           SessionError::Origin::Platform);
    }
  }

  // ---- ports

  static bool ReachesVga(uint16_t port, unsigned size) {
    return port <= kLastVgaPort && port + size - 1 >= kFirstVgaPort;
  }

  uint32_t PortIn(uint16_t port, unsigned size) {
    if (!ReachesVga(port, size)) return AllOnes(size);
    if (options.ports == PortPath::Emulator) return machine->V86In(size, port);
    Adapter& a = machine->adapter();
    return size == 1 ? a.In8(port) : size == 2 ? a.In16(port) : a.In32(port);
  }

  void PortOut(uint16_t port, unsigned size, uint32_t value) {
    if (!ReachesVga(port, size)) return;
    if (options.ports == PortPath::Emulator) return machine->V86Out(size, port, value);
    Adapter& a = machine->adapter();
    if (size == 1) a.Out8(port, static_cast<uint8_t>(value));
    if (size == 2) a.Out16(port, static_cast<uint16_t>(value));
    if (size == 4) a.Out32(port, value);
  }

  static uint32_t OnIn(uc_engine*, uint32_t port, int size, void* self) {
    auto& s = *static_cast<Impl*>(self);
    const auto width = static_cast<uint8_t>(size);
    if (s.Failed()) return AllOnes(width);
    PortAccess access{s.portAccesses++, static_cast<uint16_t>(port), width, false, 0};
    s.Guarded("port read", [&] {
      if (s.beforePort) s.beforePort(access);
      access.value = s.PortIn(access.port, width);
      if (s.afterPortRead) s.afterPortRead(access);
    });
    return s.Failed() ? AllOnes(width) : access.value;
  }

  static void OnOut(uc_engine*, uint32_t port, int size, uint32_t value, void* self) {
    auto& s = *static_cast<Impl*>(self);
    if (s.Failed()) return;
    const auto width = static_cast<uint8_t>(size);
    const PortAccess access{s.portAccesses++, static_cast<uint16_t>(port), width, true,
                            value & AllOnes(width)};
    s.Guarded("port write", [&] {
      if (s.beforePort) s.beforePort(access);
      s.PortOut(access.port, width, access.value);
    });
  }

  // ---- the video window

  uint8_t WindowRead8(uint32_t address) {
    if (options.ports == PortPath::Emulator) return machine->V86Read8(address);
    return machine->adapter().MemRead8(address);
  }
  void WindowWrite8(uint32_t address, uint8_t value) {
    if (options.ports == PortPath::Emulator) return machine->V86Write8(address, value);
    machine->adapter().MemWrite8(address, value);
  }

  static uint64_t OnWindowRead(uc_engine*, uint64_t offset, unsigned size, void* self) {
    auto& s = *static_cast<Impl*>(self);
    if (s.Failed()) return 0;
    const auto address = static_cast<uint32_t>(s.windowBegin + offset);
    uint32_t value = 0;
    s.Guarded("window read", [&] { value = s.WindowRead(address, static_cast<uint8_t>(size)); });
    return value;
  }

  static void OnWindowWrite(uc_engine*, uint64_t offset, unsigned size, uint64_t value,
                            void* self) {
    auto& s = *static_cast<Impl*>(self);
    if (s.Failed()) return;
    const auto address = static_cast<uint32_t>(s.windowBegin + offset);
    s.Guarded("window write", [&] {
      s.WindowWrite(address, static_cast<uint8_t>(size), static_cast<uint32_t>(value));
    });
  }

  void WindowWrite(uint32_t address, uint8_t size, uint32_t value) {
    for (unsigned i = 0; i < size && i < 4; ++i)
      WindowWrite8(address + i, static_cast<uint8_t>(value >> (8 * i)));
    if (afterWindowWrite) afterWindowWrite({address, size, value});
  }

  // Elements of `size` bytes stored one after the other from `address` on:
  // the window takes them as one run, which is the same byte writes.
  void WindowWriteRun(uint32_t address, uint8_t size, std::span<const uint8_t> bytes) {
    if (options.ports == PortPath::Emulator) {
      machine->V86Write(address, bytes);
    } else {
      machine->adapter().MemWrite(address, bytes);
    }
    if (!afterWindowWrite) return;
    for (uint32_t n = 0; n + size <= bytes.size(); n += size) {
      uint32_t value = 0;
      for (unsigned b = 0; b < size; ++b)
        value |= uint32_t{bytes[n + b]} << (8 * b);
      afterWindowWrite({address + n, size, value});
    }
  }

  uint32_t WindowRead(uint32_t address, uint8_t size) {
    uint32_t value = 0;
    for (unsigned i = 0; i < size && i < 4; ++i)
      value |= uint32_t{WindowRead8(address + i)} << (8 * i);
    if (afterWindowRead) afterWindowRead({address, size, value});
    return value;
  }

  // ---- RAM written since the memory image

  // The host wrote [begin, end) behind the processor's back: code
  // translated from it is stale.
  void HostWrote(uint32_t begin, uint32_t end) {
    MarkWritten(begin, end);
    for (uint32_t page = begin / kPage; end > begin && page <= (end - 1) / kPage; ++page) {
      if (executedPages[page]) DropTranslations(page * kPage, (page + 1) * kPage);
    }
  }

  void MarkWritten(uint32_t begin, uint32_t end) {
    if (end <= begin) return;
    for (uint32_t page = begin / kPage; page <= (end - 1) / kPage && page < kPages; ++page) {
      if (written[page]) continue;
      written[page] = true;
      writtenPages.push_back(page);
    }
  }

  // Every store of the code into RAM (the emulator takes each through its
  // slow path anyway, to find code it may have changed).
  static void OnRamWrite(uc_engine*, uc_mem_type, uint64_t address, int size, int64_t, void* self) {
    const auto at = static_cast<uint32_t>(address);
    static_cast<Impl*>(self)->MarkWritten(at, at + static_cast<uint32_t>(size));
  }

  // ---- blocks, interrupts, faults

  // Each straight-line block as it starts (a repeated string instruction
  // starts one per iteration): the run's bound, and the pages whose code ran.
  static void OnBlock(uc_engine*, uint64_t address, uint32_t size, void* self) {
    auto& s = *static_cast<Impl*>(self);
    s.current = static_cast<uint32_t>(address);
    const uint64_t last = address + (size ? size - 1 : 0);
    if (last < kMemorySize) {
      s.executedPages[s.current / kPage] = true;
      s.executedPages[last / kPage] = true;
    }
    if (++s.blocks > s.options.blockLimit && !s.Failed()) {
      s.Fail("the bound of " + std::to_string(s.options.blockLimit) + " blocks was reached at " +
             s.Where(s.current));
    }
    if (s.options.batchStrings && !s.Failed() && last < kMemorySize) s.BatchString(s.current);
  }

  // A block that starts at `rep stos` or `rep movs` (16-bit addressing,
  // direction up) storing into the window is an iteration of that
  // instruction: every iteration but the last goes to the window here, one
  // element after the other, each read and written as the processor would
  // (a word or doubleword low byte first), and the emulator runs the last
  // itself. Elements that would leave the window, wrap their segment or
  // read anything but RAM, ROM or the window stay with the emulator.
  void BatchString(uint32_t at) {
    if (at + 5 > kMemorySize) return;
    bool wide = false;  // operand-size prefix: 32-bit elements
    int source = UC_X86_REG_DS;
    bool repeated = false;
    uint32_t i = at;
    for (; i < at + 4; ++i) {
      const uint8_t b = memory[i];
      if (b == 0xF3) {
        repeated = true;
      } else if (b == 0x66) {
        wide = true;
      } else if (b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E) {
        source = b == 0x26   ? UC_X86_REG_ES
                 : b == 0x2E ? UC_X86_REG_CS
                 : b == 0x36 ? UC_X86_REG_SS
                             : UC_X86_REG_DS;
      } else {
        break;
      }
    }
    const uint8_t opcode = memory[i];
    const bool store = opcode == 0xAA || opcode == 0xAB, move = opcode == 0xA4 || opcode == 0xA5;
    if (!repeated || !(store || move) || (Reg(UC_X86_REG_EFLAGS) & kFlagDirection)) return;
    const uint8_t size = (opcode & 1) ? (wide ? 4 : 2) : 1;
    const uint32_t ecx = Reg(UC_X86_REG_ECX), count = ecx & 0xFFFF;
    if (count < 2) return;
    const uint32_t bytes = (count - 1) * size;
    const uint32_t di = Reg(UC_X86_REG_EDI) & 0xFFFF, si = Reg(UC_X86_REG_ESI) & 0xFFFF;
    const uint32_t to = (Reg(UC_X86_REG_ES) << 4) + di;
    if (di + bytes > 0x10000 || to < windowBegin || to + bytes > windowEnd) return;
    uint32_t from = 0;
    bool fromWindow = false;
    if (move) {
      from = (Reg(source) << 4) + si;
      fromWindow = from >= windowBegin && from + bytes <= windowEnd;
      const bool fromMemory = from + bytes <= windowBegin ||
                              (from >= windowEnd && from + bytes <= romEnd) ||
                              (from >= kSystemBiosBase && from + bytes <= kMemorySize);
      if (si + bytes > 0x10000 || !(fromWindow || fromMemory)) return;
    }
    if (blocks + (count - 1) > options.blockLimit) return;
    Guarded("window write", [&] {
      if (fromWindow) {
        // Each read loads the latches the next write may use.
        for (uint32_t n = 0; n < bytes; n += size)
          WindowWrite(to + n, size, WindowRead(from + n, size));
        return;
      }
      const uint32_t pattern = Reg(UC_X86_REG_EAX);
      run.resize(bytes);
      for (uint32_t n = 0; n < bytes; ++n)
        run[n] = move ? memory[from + n] : static_cast<uint8_t>(pattern >> (8 * (n % size)));
      WindowWriteRun(to, size, run);
    });
    blocks += count - 1;
    SetReg(UC_X86_REG_ECX, (ecx & 0xFFFF0000u) | 1);
    SetReg(UC_X86_REG_EDI, (Reg(UC_X86_REG_EDI) & 0xFFFF0000u) | (di + bytes));
    if (move) SetReg(UC_X86_REG_ESI, (Reg(UC_X86_REG_ESI) & 0xFFFF0000u) | (si + bytes));
  }

  // An `int n` leaves IP after its two bytes (int3 and into: one byte); an
  // exception the processor raises leaves it on the faulting instruction.
  bool SoftwareInterrupt(uint32_t vector, uint32_t next) const {
    if (next > kMemorySize) return false;
    if (next >= 2 && memory[next - 2] == 0xCD && memory[next - 1] == vector) return true;
    if (next >= 1 && vector == 3 && memory[next - 1] == 0xCC) return true;
    return next >= 1 && vector == 4 && memory[next - 1] == 0xCE;
  }

  void Push16(uint16_t value) {
    const auto sp = static_cast<uint16_t>(Reg(UC_X86_REG_SP) - 2);
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    const uint32_t at = Linear(static_cast<uint16_t>(Reg(UC_X86_REG_SS)), sp);
    if (uc_mem_write(uc.get(), at, bytes, 2) != UC_ERR_OK) {
      throw SessionError("the stack at " + Hex(at, 5) + " is not writable memory");
    }
    HostWrote(at, at + 2);
    SetReg(UC_X86_REG_SP, sp);
  }

  static void OnInterrupt(uc_engine*, uint32_t vector, void* self) {
    auto& s = *static_cast<Impl*>(self);
    if (s.Failed()) return;
    const uint16_t cs = s.Cs();
    const auto ip = static_cast<uint16_t>(s.Reg(UC_X86_REG_EIP));
    const uint32_t next = Linear(cs, ip);
    if (!s.SoftwareInterrupt(vector, next)) {
      return s.Fail(std::string(ExceptionName(vector)) + " at " + s.Where(next));
    }
    const uint32_t at = vector == 3 || vector == 4 ? next - 1 : next - 2;
    const auto n = static_cast<uint8_t>(vector);
    if (Unhandled(s.memory, n)) {
      return s.Fail("INT " + Hex(n, 2) + "h at " + s.Where(at) + " has no handler");
    }
    if (HostVector(s.memory, n)) return s.ServeOnHost(n, at);
    s.Guarded("interrupt", [&] {
      // As the processor takes it: FLAGS, CS, IP pushed; IF and TF cleared.
      const uint32_t flags = s.Reg(UC_X86_REG_EFLAGS);
      s.Push16(static_cast<uint16_t>(flags));
      s.Push16(cs);
      s.Push16(ip);
      s.SetReg(UC_X86_REG_EFLAGS, flags & ~(kFlagInterrupt | kFlagTrap));
      const uint16_t offset = static_cast<uint16_t>(s.memory[4u * n] | s.memory[4u * n + 1] << 8);
      const uint16_t segment =
          static_cast<uint16_t>(s.memory[4u * n + 2] | s.memory[4u * n + 3] << 8);
      s.SetReg(UC_X86_REG_CS, segment);
      s.SetReg(UC_X86_REG_EIP, offset);
    });
  }

  void ServeOnHost(uint8_t n, uint32_t at) {
    ServiceRegisters r{Reg(UC_X86_REG_EAX), Reg(UC_X86_REG_EBX), Reg(UC_X86_REG_ECX),
                       Reg(UC_X86_REG_EDX), (Reg(UC_X86_REG_EFLAGS) & kFlagCarry) != 0};
    const Service service = Serve(n, r, memory);
    switch (service.kind) {
      case Service::Kind::Unprovided:
        return Fail(service.what + " at " + Where(at) + " is not provided in a session");
      case Service::Kind::Exit:
        exited = true;
        exitCode = service.exitCode;
        uc_emu_stop(uc.get());
        return;
      case Service::Kind::Answered:
        break;
    }
    SetReg(UC_X86_REG_EAX, r.eax);
    SetReg(UC_X86_REG_EBX, r.ebx);
    SetReg(UC_X86_REG_ECX, r.ecx);
    SetReg(UC_X86_REG_EDX, r.edx);
    const uint32_t flags = Reg(UC_X86_REG_EFLAGS);
    SetReg(UC_X86_REG_EFLAGS, r.carry ? flags | kFlagCarry : flags & ~kFlagCarry);
  }

  static bool OnBadMemory(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t,
                          void* self) {
    auto& s = *static_cast<Impl*>(self);
    const bool write = type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT;
    const bool fetch = type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT;
    const bool rom = type == UC_MEM_WRITE_PROT;
    s.Fail(std::string(fetch   ? "execution"
                       : write ? "a write"
                               : "a read") +
           " of " + std::to_string(size) + " bytes at " + Hex(static_cast<uint32_t>(address), 5) +
           (rom ? ", read-only memory," : ", where nothing answers,") + " by the block at " +
           s.Where(s.current));
    return false;
  }

  // ---- layout

  void Check(uc_err err, const char* what) const {
    if (err != UC_ERR_OK) throw SessionError(std::string(what) + ": " + uc_strerror(err));
  }

  void ReadVideoBios() {
    std::ifstream file(options.videoBios, std::ios::binary);
    rom.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) rom.clear();
    if (rom.size() < 3 || rom[0] != 0x55 || rom[1] != 0xAA) {
      throw SessionError("no option ROM in '" + options.videoBios +
                         "' (Debian's seabios package has it)");
    }
    const uint32_t declared = uint32_t{rom[2]} * 512;
    romEnd = (kVideoBiosBase + std::max<uint32_t>(declared, rom.size()) + kPage - 1) & ~(kPage - 1);
    if (romEnd > kVideoBiosLimit) throw SessionError("the video BIOS is larger than 192 KB");
  }

  // The part of 0xA0000-0xBFFFF that the driver told the platform to give
  // sessions; the rest of it is ordinary memory of the session.
  void FindWindow() {
    if (options.ports == PortPath::Direct) {
      windowBegin = kWindowStart;
      windowEnd = kWindowEnd;
      return;
    }
    const VIDEO_PORT_CONFIG_INFO& config = machine->ConfigInfo();
    const uint64_t start = static_cast<uint64_t>(config.VdmPhysicalVideoMemoryAddress.QuadPart);
    const uint64_t end = start + config.VdmPhysicalVideoMemoryLength;
    windowBegin = static_cast<uint32_t>(std::clamp<uint64_t>(start, kWindowStart, kWindowEnd));
    windowEnd = static_cast<uint32_t>(std::clamp<uint64_t>(end, windowBegin, kWindowEnd));
    if (windowBegin % kPage || windowEnd % kPage) {
      throw SessionError(
          "the driver's video window for sessions (" + Hex(static_cast<uint32_t>(start), 5) + ", " +
          std::to_string(config.VdmPhysicalVideoMemoryLength) + " bytes) is not in whole pages");
    }
  }

  void MapRam(uint32_t begin, uint32_t end, uint32_t protection) {
    if (end > begin) {
      Check(uc_mem_map_ptr(uc.get(), begin, end - begin, protection, memory.data() + begin),
            "mapping the session's memory");
    }
  }

  void Open() {
    uc_engine* engine = nullptr;
    Check(uc_open(UC_ARCH_X86, UC_MODE_16, &engine), "starting the session's processor");
    uc.reset(engine);
    FindWindow();
    MapRam(0, kConventionalEnd, UC_PROT_ALL);
    MapRam(kWindowStart, windowBegin, UC_PROT_ALL);
    if (windowEnd > windowBegin) {
      Check(uc_mmio_map(uc.get(), windowBegin, windowEnd - windowBegin, OnWindowRead, this,
                        OnWindowWrite, this),
            "mapping the video window");
    }
    MapRam(windowEnd, kWindowEnd, UC_PROT_ALL);
    MapRam(kVideoBiosBase, romEnd, UC_PROT_ALL);
    MapRam(kSystemBiosBase, kMemorySize, UC_PROT_READ | UC_PROT_EXEC);

    uc_hook hook;
    Check(uc_hook_add(uc.get(), &hook, UC_HOOK_INSN, reinterpret_cast<void*>(OnIn), this, 1, 0,
                      UC_X86_INS_IN),
          "hooking in");
    Check(uc_hook_add(uc.get(), &hook, UC_HOOK_INSN, reinterpret_cast<void*>(OnOut), this, 1, 0,
                      UC_X86_INS_OUT),
          "hooking out");
    Check(uc_hook_add(uc.get(), &hook, UC_HOOK_INTR, reinterpret_cast<void*>(OnInterrupt), this, 1,
                      0),
          "hooking interrupts");
    Check(uc_hook_add(uc.get(), &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(OnBlock), this, 1, 0),
          "hooking blocks");
    Check(uc_hook_add(uc.get(), &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(OnBadMemory),
                      this, 1, 0),
          "hooking memory faults");
    // The RAM around the window (the ROMs are read-only once initialised).
    Check(uc_hook_add(uc.get(), &hook, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(OnRamWrite), this,
                      0, windowBegin - 1),
          "hooking RAM writes");
    if (windowEnd < kWindowEnd) {
      Check(uc_hook_add(uc.get(), &hook, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(OnRamWrite),
                        this, windowEnd, kWindowEnd - 1),
            "hooking RAM writes");
    }
  }

  // Memory as at power-on, the video BIOS writable while it initialises
  // (shadow RAM, as the system BIOS leaves it during option-ROM init).
  void LayOut() {
    if (!powerOn) {
      auto bytes = std::make_shared<std::vector<uint8_t>>(kMemorySize, 0);
      LayOutSystemBios(*bytes);
      std::copy(rom.begin(), rom.end(), bytes->begin() + kVideoBiosBase);
      powerOn = std::move(bytes);
    }
    image = nullptr;
    Reload(powerOn);
    Check(uc_mem_protect(uc.get(), kVideoBiosBase, romEnd - kVideoBiosBase, UC_PROT_ALL),
          "opening the video BIOS");
  }

  // Code translated from [begin, end) is stale: memory there changed behind
  // the processor's back. (The control takes 64-bit addresses through
  // varargs: they must be passed as such.)
  void DropTranslations(uint64_t begin, uint64_t end) {
    if (end <= begin) return;
    for (uint64_t page = begin / kPage; page <= (end - 1) / kPage && page < kPages; ++page)
      staleCodePages += executedPages[page];
    uc_ctl_remove_cache(uc.get(), begin, end);
  }

  // Unicorn 2.0.1 crashes when its translation buffer fills in the middle
  // of a run (its own flush leaves a dangling jump), and dropped
  // translations stay in the buffer. So the cache is emptied between runs,
  // well before that: once the pages dropped since the last emptying held
  // code that had run. (A program rewriting its own code tens of thousands
  // of times within one run can still fill it.)
  void FlushTranslationsIfStale() {
    if (staleCodePages < kFlushAfterStaleCodePages) return;
    uc_ctl_flush_tlb(uc.get());
    staleCodePages = 0;
    executedPages.reset();
  }

  // Memory becomes `image` in the page at `page`; code translated from it
  // is dropped when it changes (the ROMs' translations serve every run).
  void ReloadPage(const std::vector<uint8_t>& from, uint32_t page) {
    const uint32_t at = page * kPage;
    if (std::memcmp(&memory[at], &from[at], kPage) == 0) return;
    std::memcpy(&memory[at], &from[at], kPage);
    if (executedPages[page]) DropTranslations(at, at + kPage);
  }

  // Memory becomes `to` below `end`, page by page: the pages written since
  // the image when `to` is the image, else every page.
  void Reload(const std::shared_ptr<const std::vector<uint8_t>>& to, uint32_t end = kMemorySize) {
    if (to == image) {
      for (uint32_t page : writtenPages) {
        if (page * kPage < end) ReloadPage(*to, page);
      }
    } else {
      for (uint32_t page = 0; page * kPage < end; ++page)
        ReloadPage(*to, page);
    }
    image = to;
    written.reset();
    writtenPages.clear();
  }

  // The RAM equals the image: what the written pages are there to tell.
  // Checked after every rollback in debug builds, after every 64th in
  // others, so that a write the session missed cannot pass for long.
  void CheckAgainstImage() {
#ifdef NDEBUG
    if (++rollbacks % 64 != 0) return;
#endif
    for (uint32_t at = 0; at < kWindowEnd; at += kPage) {
      if (std::memcmp(&memory[at], &(*image)[at], kPage) == 0) continue;
      std::fprintf(stderr, "a session rollback left RAM page 0x%05x unlike its snapshot\n", at);
      std::abort();
    }
  }

  void InitialiseVideoBios() {
    // A far call to C000:0003, as the system BIOS makes it for an ISA ROM.
    SetHostStack();
    SetReg(UC_X86_REG_EAX, 0xFFFF);  // no PCI location
    SetReg(UC_X86_REG_DS, 0);
    SetReg(UC_X86_REG_ES, 0);
    SetReg(UC_X86_REG_EFLAGS, 0x0002);
    Push16(kSystemBiosSegment);
    Push16(kHostReturn);
    SetReg(UC_X86_REG_CS, kVideoBiosSegment);
    Run(Linear(kVideoBiosSegment, kVideoBiosInit), true);
    Check(uc_mem_protect(uc.get(), kVideoBiosBase, romEnd - kVideoBiosBase,
                         UC_PROT_READ | UC_PROT_EXEC),
          "closing the video BIOS");
  }

  void SetHostStack() {
    SetReg(UC_X86_REG_SS, kHostStackSegment);
    SetReg(UC_X86_REG_ESP, kHostStackTop);
  }

  // ---- running

  // From `begin` (linear, CS already set) until the code returns to the
  // host's return address, halts, exits or fails.
  const Outcome& Run(uint32_t begin, bool expectReturn) {
    FlushTranslationsIfStale();
    blocks = 0;
    failure = nullptr;
    exited = false;
    current = begin;
    const uc_err err = uc_emu_start(uc.get(), begin, kHostReturnLinear, 0, 0);
    if (failure) std::rethrow_exception(failure);
    const uint32_t pc = Linear(Cs(), static_cast<uint16_t>(Reg(UC_X86_REG_EIP)));
    if (err == UC_ERR_INSN_INVALID) throw SessionError("invalid opcode (#UD) at " + Where(pc));
    if (err != UC_ERR_OK) {
      throw SessionError(std::string(uc_strerror(err)) + " at " + Where(current));
    }
    if (exited) {
      last = {End::Exited, exitCode, blocks};
    } else if (pc == kHostReturnLinear) {
      last = {End::Returned, 0, blocks};
    } else if (pc > 0 && pc <= kMemorySize && memory[pc - 1] == kHlt) {
      // Nothing else stops Unicorn without an error: a hlt, IP after it.
      last = {End::Halted, 0, blocks};
    } else {
      throw SessionError("the processor stopped at " + Where(pc) + " for no reason");
    }
    if (expectReturn && last.end != End::Returned) {
      throw SessionError(std::string(last.end == End::Halted ? "hlt" : "an exit") + " at " +
                         Where(current) + " before the call returned");
    }
    return last;
  }

  // The state now; the memory image is shared while no page was written
  // since it, else the 1 MB as it is becomes the new image.
  Kept KeepState() {
    Kept kept;
    uc_context* context = nullptr;
    Check(uc_context_alloc(uc.get(), &context), "allocating a context");
    kept.context.reset(context);
    uc_context_save(uc.get(), context);
    if (!image || !writtenPages.empty()) {
      image = std::make_shared<const std::vector<uint8_t>>(memory);
      written.reset();
      writtenPages.clear();
    }
    kept.memory = image;
    kept.ports = portAccesses;
    kept.last = last;
    return kept;
  }

  void PutBack(const Kept& kept) {
    uc_context_restore(uc.get(), kept.context.get());
    // The ROMs are read-only once the video BIOS has initialised: only RAM
    // can differ from the state kept.
    Reload(kept.memory, kWindowEnd);
    CheckAgainstImage();
    portAccesses = kept.ports;
    last = kept.last;
  }
};

Vdm::Vdm(Machine& machine, const Options& options)
    : impl_(std::make_unique<Impl>(machine, options)) {
  impl_->ReadVideoBios();
  impl_->Open();
  Restart();
  machine.Join(*this);
}

Vdm::~Vdm() {
  impl_->machine->Leave(*this);
}

void Vdm::Restart() {
  impl_->LayOut();
  impl_->portAccesses = 0;
  impl_->InitialiseVideoBios();
  impl_->last = {End::Returned};
  impl_->image = nullptr;  // the initialisation wrote its ROM too
  impl_->snapshot = impl_->KeepState();
}

Registers Vdm::Int10(const Registers& in) {
  Impl& s = *impl_;
  s.SetHostStack();
  s.SetReg(UC_X86_REG_EAX, in.eax);
  s.SetReg(UC_X86_REG_EBX, in.ebx);
  s.SetReg(UC_X86_REG_ECX, in.ecx);
  s.SetReg(UC_X86_REG_EDX, in.edx);
  s.SetReg(UC_X86_REG_ESI, in.esi);
  s.SetReg(UC_X86_REG_EDI, in.edi);
  s.SetReg(UC_X86_REG_EBP, in.ebp);
  s.SetReg(UC_X86_REG_DS, in.ds);
  s.SetReg(UC_X86_REG_ES, in.es);
  s.SetReg(UC_X86_REG_EFLAGS, in.eflags | 0x0002);
  // As a program's `int 10h` just before the host's return address: taken
  // through the vector table like any other.
  const uint16_t offset = static_cast<uint16_t>(s.memory[0x40] | s.memory[0x41] << 8);
  const uint16_t segment = static_cast<uint16_t>(s.memory[0x42] | s.memory[0x43] << 8);
  if (Unhandled(s.memory, 0x10)) throw SessionError("INT 10h has no handler");
  s.Push16(static_cast<uint16_t>(in.eflags | 0x0002));
  s.Push16(kSystemBiosSegment);
  s.Push16(kHostReturn);
  s.SetReg(UC_X86_REG_EFLAGS, (in.eflags | 0x0002) & ~(kFlagInterrupt | kFlagTrap));
  s.SetReg(UC_X86_REG_CS, segment);
  s.Run(Linear(segment, offset), true);
  return CurrentRegisters();
}

Outcome Vdm::RunCom(std::span<const uint8_t> image, std::string_view commandTail) {
  Impl& s = *impl_;
  if (commandTail.size() > kMaxCommandTail) {
    throw SessionError("a command tail holds at most " + std::to_string(kMaxCommandTail) +
                       " characters");
  }
  if (image.size() > kMaxComImage) {
    throw SessionError("a .COM image holds at most " + std::to_string(kMaxComImage) +
                       " bytes, not " + std::to_string(image.size()));
  }
  // The PSP: INT 20h at offset 0 (where a `ret` from the program lands),
  // the top of memory, the command tail.
  uint8_t* psp = s.memory.data() + Linear(kProgramSegment, 0);
  std::fill(psp, psp + 0x100, 0);
  psp[0x00] = 0xCD;
  psp[0x01] = 0x20;
  psp[0x02] = static_cast<uint8_t>(kConventionalEnd >> 4);
  psp[0x03] = static_cast<uint8_t>(kConventionalEnd >> 12);
  psp[0x80] = static_cast<uint8_t>(commandTail.size());
  std::copy(commandTail.begin(), commandTail.end(), psp + 0x81);
  psp[0x81 + commandTail.size()] = 0x0D;
  std::copy(image.begin(), image.end(), psp + 0x100);
  s.HostWrote(Linear(kProgramSegment, 0), Linear(kProgramSegment, 0x100) + image.size());
  for (const int id : {UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_SS, UC_X86_REG_CS})
    s.SetReg(id, kProgramSegment);
  for (const int id : {UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                       UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP})
    s.SetReg(id, 0);
  s.SetReg(UC_X86_REG_EFLAGS, 0x0202);
  s.SetReg(UC_X86_REG_ESP, 0xFFFE);  // holding the 0 a `ret` takes to PSP:0000
  s.memory[Linear(kProgramSegment, 0xFFFE)] = 0;
  s.memory[Linear(kProgramSegment, 0xFFFF)] = 0;
  s.HostWrote(Linear(kProgramSegment, 0xFFFE), Linear(kProgramSegment, 0xFFFF) + 1);
  return s.Run(Linear(kProgramSegment, 0x100), false);
}

const Outcome& Vdm::LastOutcome() const {
  return impl_->last;
}

void Vdm::OnPortAccess(std::function<void(const PortAccess&)> before) {
  impl_->beforePort = std::move(before);
}
void Vdm::OnPortRead(std::function<void(const PortAccess&)> after) {
  impl_->afterPortRead = std::move(after);
}
void Vdm::OnWindowRead(std::function<void(const WindowAccess&)> after) {
  impl_->afterWindowRead = std::move(after);
}
void Vdm::OnWindowWrite(std::function<void(const WindowAccess&)> after) {
  impl_->afterWindowWrite = std::move(after);
}
uint64_t Vdm::PortAccesses() const {
  return impl_->portAccesses;
}

void Vdm::Snapshot() {
  impl_->snapshot = impl_->KeepState();
}
void Vdm::Rollback() {
  impl_->PutBack(impl_->snapshot);
}

std::shared_ptr<const void> Vdm::Keep() {
  return std::make_shared<const Impl::Kept>(impl_->KeepState());
}

void Vdm::PutBack(const void* kept) {
  impl_->PutBack(kept ? *static_cast<const Impl::Kept*>(kept) : impl_->snapshot);
}

void Vdm::Attach(Machine& machine) {
  Impl& s = *impl_;
  Machine* previous = s.machine;
  const uint32_t begin = s.windowBegin, end = s.windowEnd;
  s.machine = &machine;
  s.FindWindow();
  if (s.windowBegin != begin || s.windowEnd != end) {
    s.machine = previous;
    s.windowBegin = begin;
    s.windowEnd = end;
    throw SessionError("the machine attached gives sessions another video window");
  }
  previous->Leave(*this);
  machine.Join(*this);
}

std::span<const uint8_t> Vdm::Memory() const {
  return impl_->memory;
}

void Vdm::WriteMemory(uint32_t address, std::span<const uint8_t> bytes) {
  Impl& s = *impl_;
  if (address > kWindowEnd || bytes.size() > kWindowEnd - address) {
    throw std::out_of_range("Vdm::WriteMemory: only the session's RAM, below 0xC0000");
  }
  std::copy(bytes.begin(), bytes.end(), s.memory.begin() + address);
  s.HostWrote(address, static_cast<uint32_t>(address + bytes.size()));
}

Registers Vdm::CurrentRegisters() const {
  const Impl& s = *impl_;
  return {s.Reg(UC_X86_REG_EAX),
          s.Reg(UC_X86_REG_EBX),
          s.Reg(UC_X86_REG_ECX),
          s.Reg(UC_X86_REG_EDX),
          s.Reg(UC_X86_REG_ESI),
          s.Reg(UC_X86_REG_EDI),
          s.Reg(UC_X86_REG_EBP),
          static_cast<uint16_t>(s.Reg(UC_X86_REG_DS)),
          static_cast<uint16_t>(s.Reg(UC_X86_REG_ES)),
          s.Reg(UC_X86_REG_EFLAGS)};
}

uint16_t Vdm::Cs() const {
  return impl_->Cs();
}
uint16_t Vdm::Ip() const {
  return static_cast<uint16_t>(impl_->Reg(UC_X86_REG_EIP));
}

}  // namespace sim::session
