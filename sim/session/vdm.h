// A full-screen session as NT's virtual DOS machine runs it: real-mode x86
// code (the Unicorn CPU emulator, in this process beside the driver) in a
// 1 MB address space with the vector table and BIOS data area, the program,
// the video window reaching the adapter through the range the driver gave
// the platform, the session's video BIOS at 0xC0000 and a minimal system
// BIOS at 0xF0000.
//
// Port I/O goes as the platform grants it: VGA ports through the machine's
// V86 emulator (trapped ones to the driver's validators, the rest straight to
// the adapter), any other port to no device (writes lost, reads all ones).
// String I/O reaches the emulator one element at a time: the driver's
// emulator rows declare no string support, and for such a row NT's emulator
// makes one validator call per element, in order, as this CPU does for every
// string port instruction.
//
// The engine lives as long as the session; Snapshot and Rollback bring the
// processor and the session's memory back cheaply (the registers, and the
// 4 KB pages of RAM written since), so that one engine serves many runs.
// The session joins the machine behind its ports and window: a snapshot of
// that machine keeps the session's state too, and the machine's rollback
// brings the session back with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/platform_types.h"

namespace sim {
class Machine;
}

namespace sim::session {

// The session stopped on something a real processor or DOS would not have
// let pass: a processor exception, an interrupt with no handler, an access
// to memory nothing decodes, a validator's refusal, the bound of a run. The
// message names CS:IP and the bytes there: of the faulting instruction for
// an exception or an interrupt, else of the straight-line block it lies in.
class SessionError : public std::runtime_error {
 public:
  // What stopped it: the session's own code, or the platform behind its
  // ports and window (a validator's refusal, an error of the machine, an
  // exception from a hook).
  enum class Origin : uint8_t { Program, Platform };
  explicit SessionError(const std::string& what, Origin origin = Origin::Program)
      : std::runtime_error(what), origin_(origin) {}
  Origin origin() const { return origin_; }

 private:
  Origin origin_;
};

// The program-visible registers that INT 10h and DOS calls pass.
struct Registers {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0, ebp = 0;
  uint16_t ds = 0, es = 0;
  uint32_t eflags = 0x0002;  // bit 1 always reads 1
  bool operator==(const Registers&) const = default;
};

// One port access of the session as its instruction makes it (a string
// instruction makes one per element). `value` is the data written, or for
// a read the data read (0 before it is performed).
struct PortAccess {
  uint64_t sequence;  // 0 for the session's first port access since Reset/Snapshot
  uint16_t port;
  uint8_t size;  // 1, 2 or 4
  bool write;
  uint32_t value;
};

// A read or write of the session's video window, as the instruction made
// it (its bytes reach the window low byte first).
struct WindowAccess {
  uint32_t address;  // physical, 0xA0000-0xBFFFF
  uint8_t size;      // 1, 2 or 4 bytes
  uint32_t value;
};
using WindowRead = WindowAccess;

// How the session ended.
enum class End : uint8_t {
  Returned,  // an INT 10h the host called returned to it
  Halted,    // hlt
  Exited,    // INT 20h, or INT 21h function 4Ch (exit code in `exitCode`)
};

struct Outcome {
  End end;
  uint8_t exitCode = 0;
  uint64_t blocks = 0;  // straight-line blocks run (each iteration of a rep string instruction one)
};

enum class PortPath : uint8_t {
  // Through the platform's V86 emulator and the trap set in force: the
  // session as NT runs it.
  Emulator,
  // Straight to the adapter, nothing trapped and nothing traced: the same
  // code on bare hardware, the reference a trapped session must equal.
  Direct,
};

struct Options {
  std::string videoBios = "/usr/share/seabios/vgabios-isavga.bin";
  PortPath ports = PortPath::Emulator;
  // Straight-line blocks of code one run may execute before it is stopped
  // as endless (each iteration of a repeated string instruction is one; a
  // block holds one instruction or more).
  uint64_t blockLimit = 5'000'000;
  // A repeated string store or move into the window (rep stos, rep movs)
  // goes to the window from the host in one go, element after element as
  // the processor would make them, instead of one emulated memory access at
  // a time. Off: every element through the emulator.
  bool batchStrings = true;
};

class Vdm : public Companion {
 public:
  // Lays out the session's memory on `machine` (whose driver must have found
  // the adapter, for its video window) and runs the video BIOS's
  // initialisation at C000:0003. The session's port I/O follows the trap set
  // in force: enable VDM on the driver first for a session as NT runs it.
  explicit Vdm(Machine& machine, const Options& options = {});
  ~Vdm() override;
  Vdm(const Vdm&) = delete;
  Vdm& operator=(const Vdm&) = delete;

  // ---- running code
  // INT 10h with these registers, through the vector table as a program's
  // `int 10h` would, run until the handler returns; the registers it returns.
  Registers Int10(const Registers& in);
  // A DOS .COM image loaded at PSP:0100 behind a minimal PSP (INT 20h at
  // PSP:0000, the command tail at PSP:0080, at most 126 characters), run to
  // its end.
  Outcome RunCom(std::span<const uint8_t> image, std::string_view commandTail = {});
  const Outcome& LastOutcome() const;

  // ---- what the program does, as it does it
  // Before each port access, when the machine has not yet seen it: a full-
  // screen switch here (save, desktop, restore) falls between two of the
  // program's accesses, as a switch can on NT. Exceptions thrown here end
  // the run as a SessionError.
  void OnPortAccess(std::function<void(const PortAccess&)> before);
  // After each port read and each read of the video window, with the value
  // the program got.
  void OnPortRead(std::function<void(const PortAccess&)> after);
  void OnWindowRead(std::function<void(const WindowAccess&)> after);
  // After each write of the video window, with the value written.
  void OnWindowWrite(std::function<void(const WindowAccess&)> after);
  uint64_t PortAccesses() const;  // since the session began or was rolled back

  // ---- state
  // The processor and the 1 MB as they are now, to come back to; the
  // session takes one itself once its BIOS has initialised.
  void Snapshot();
  // Back to the last snapshot: registers, the RAM pages written since
  // (the translation cache of those pages dropped), counters and the last
  // outcome. Hooks stay.
  void Rollback();
  // From now on the session's ports and window reach this machine (a fresh
  // copy of the one it was built on, for instance), which it joins.
  void Attach(Machine& machine);

  // As the machine's companion: its snapshots keep the session's state
  // (sharing the memory image while the RAM is unchanged), and its rollback
  // puts it back; to a snapshot taken before the session joined, the
  // session goes back to its own snapshot.
  std::shared_ptr<const void> Keep() override;
  void PutBack(const void* kept) override;
  // The session as new: memory laid out again and the BIOS's initialisation
  // run once more against the attached machine; a snapshot of that.
  void Restart();

  // The 1 MB as the program sees its RAM and ROMs (the video window reads
  // as zeros here: it is the adapter's).
  std::span<const uint8_t> Memory() const;
  // Into the session's RAM (below 0xC0000), as a DOS loader would.
  void WriteMemory(uint32_t address, std::span<const uint8_t> bytes);
  Registers CurrentRegisters() const;
  uint16_t Cs() const;
  uint16_t Ip() const;

  // Where things live in the session's memory.
  static constexpr uint32_t kMemorySize = 0x100000;
  static constexpr uint16_t kVideoBiosSegment = 0xC000;
  static constexpr uint16_t kProgramSegment = 0x1000;  // the PSP of a .COM program

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim::session
