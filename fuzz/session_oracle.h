// The session fuzzer's oracle: a full-screen switch must be invisible to the
// session. The machine that runs the session with switches records what the
// session did to the hardware (port accesses, window reads and writes, the
// console's requests) and, for each switch, the adapter before and after
// it. A second machine, which never switches, then does the same session
// again: the session's code is a function of what it reads, so while every
// read agrees it makes exactly these accesses. Every read must agree, the
// switch may change only what test::AcceptedAfterSwitch and the state that
// is not saved allow (the reference takes those over at the same point),
// and at the end the two machines must hold the same registers, video
// memory and validator state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "sim/adapter.h"
#include "sim/machine.h"

namespace fuzz {

class SessionOracle {
 public:
  // ---- recorded on the machine with switches, in order
  void BeginStep(std::string what);
  void In(unsigned size, uint16_t port, uint32_t value);
  void Out(unsigned size, uint16_t port, uint32_t value);
  void Read(uint32_t address, uint8_t size, uint32_t value);
  void Write(uint32_t address, uint8_t size, uint32_t value);
  // A request about to be made (the driver's state as it finds it), then
  // made, with its answer; a save kept as the last one, or a restore of the
  // last one, each machine of its own.
  enum class Sent : uint8_t { Request, SaveLast, RestoreLast };
  void RequestComing(sim::Machine& switched, ULONG code);
  void Request(Sent sent, const fuzz::Request& request, const Answer& answer);
  // Around a switch: the adapter and the validators as found, then as
  // left, which must differ only as a switch may.
  void SwitchBegins(sim::Machine& switched);
  void SwitchEnded(sim::Machine& switched, const std::string& where);
  bool Switched() const { return !switches_.empty(); }

  // ---- the machine without switches does it all again and compares
  void Replay(sim::Machine& reference, sim::Machine& switched);
  void Clear();

 private:
  struct Event {
    enum class Kind : uint8_t { In, Out, Read, Write, Request, Switch } kind;
    uint8_t size;
    uint16_t step;
    uint32_t at;      // port or address
    uint32_t value;   // data; a write run: its offset in bytes_; a request, a switch: its index
    uint32_t length;  // a write run: its bytes
    uint32_t access;  // its number in the step
  };
  struct Sending {
    Sent sent;
    fuzz::Request request;
    sim::Machine::Result result;
    std::vector<uint8_t> driver;  // the driver's state as the request found it
  };
  struct Switch {
    std::string where;
    sim::VgaState before;  // registers only
    sim::Adapter::Registers registersBefore, registersAfter;
    std::array<uint8_t, 4> latchBytesBefore, latchBytesAfter;
    // What the switch wrote of the video memory that is not saved (the
    // desktop's frame buffer), as it left it.
    sim::vga::VideoMemory::PageCopy unsavedAfter;
    std::vector<uint8_t> validators;
    std::vector<VIDEO_ACCESS_RANGE> traps;
  };

  void Access(Event::Kind kind, uint8_t size, uint32_t at, uint32_t value);
  std::string Where(const Event& e) const;
  bool Replay(const Event& e, sim::Machine& reference);
  void ReplaySwitch(const Switch& s, sim::Machine& reference, const std::string& where);

  std::vector<Event> events_;
  std::vector<std::string> steps_;
  std::vector<uint8_t> bytes_;
  std::vector<Sending> requests_;
  // What both machines must agree on: the registers, the video memory, the
  // validators' recording and the trap set.
  struct Held {
    sim::VgaState vga;  // registers only
    sim::Adapter::Registers registers;
    sim::vga::VideoMemory::PageCopy memory;
    std::vector<uint8_t> validators;
    std::vector<VIDEO_ACCESS_RANGE> traps;
  };
  // The switched machine as the first request after a switch found it,
  // kept in case the reference cannot follow that request (its effect
  // depends on the driver's idea of the mode, which the switch's reset
  // changed): the comparison ends there, against this.
  struct Checkpoint {
    uint32_t request;  // index into requests_
    Held held;
  };
  static Held Take(sim::Machine& m);
  static std::vector<std::string> Differences(const Held& expected, sim::Machine& actual);

  std::vector<Switch> switches_;
  std::vector<Checkpoint> checkpoints_;
  bool checkpointDue_ = false;  // a switch since the last request that depends on the mode
  std::vector<uint8_t> found_;  // the driver's state before the coming request
  uint32_t access_ = 0;
  // Replaying: a switch was passed; the reference's last save.
  bool pastSwitch_ = false;
  std::vector<uint8_t> lastSave_;
  std::span<const uint8_t> lastState_;
};

}  // namespace fuzz
