#include "sim/pe/call.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// The record ZelThunkCall (thunks.S) works on; the offsets are the assembly's.
struct ZelThunkFrame {
  const void* routine;
  uint32_t argCount;
  const uint32_t* args;
  uint32_t savedEsp;
  uint32_t savedEbp;
  ZelThunkFrame* previous;
  uint32_t espAtCall;
  uint32_t eax;
  uint32_t edx;
  uint32_t espAfter;
  uint32_t ebxAfter;
  uint32_t esiAfter;
  uint32_t ediAfter;
  uint32_t ebpAfter;
};
static_assert(offsetof(ZelThunkFrame, argCount) == 4);
static_assert(offsetof(ZelThunkFrame, args) == 8);
static_assert(offsetof(ZelThunkFrame, previous) == 20);
static_assert(offsetof(ZelThunkFrame, espAtCall) == 24);
static_assert(offsetof(ZelThunkFrame, eax) == 28);
static_assert(offsetof(ZelThunkFrame, espAfter) == 36);
static_assert(offsetof(ZelThunkFrame, ebpAfter) == 52);

// The marks thunks.S loads into the callee-saved registers.
constexpr uint32_t kMarkEbx = 0xb0b0b0b0;
constexpr uint32_t kMarkEsi = 0x51515151;
constexpr uint32_t kMarkEdi = 0xd1d1d1d1;
constexpr uint32_t kMarkEbp = 0xbeefbeef;

}  // namespace

extern "C" void ZelThunkCall(ZelThunkFrame* frame);
extern "C" void ZelImportGate();

namespace sim::pe {
CallOutcome CallStdcall(const void* routine, std::span<const uint32_t> args) {
  ZelThunkFrame frame{};
  frame.routine = routine;
  frame.argCount = static_cast<uint32_t>(args.size());
  frame.args = args.data();
  ZelThunkCall(&frame);

  CallOutcome outcome{
      .eax = frame.eax, .edx = frame.edx, .espAtCall = frame.espAtCall, .breach = {}};
  const uint32_t argumentBytes = 4 * frame.argCount;
  // After `call` pushed the return address and `ret N` popped it and N bytes.
  const int64_t popped = int64_t{frame.espAfter} - frame.espAtCall;
  if (popped != argumentBytes) {
    char line[96];
    std::snprintf(line, sizeof line, "popped %lld of its %u argument bytes",
                  static_cast<long long>(popped), argumentBytes);
    outcome.breach = line;
  }
  struct Kept {
    const char* name;
    uint32_t after;
    uint32_t mark;
  };
  for (const Kept& k :
       {Kept{"EBX", frame.ebxAfter, kMarkEbx}, Kept{"ESI", frame.esiAfter, kMarkEsi},
        Kept{"EDI", frame.ediAfter, kMarkEdi}, Kept{"EBP", frame.ebpAfter, kMarkEbp}}) {
    if (k.after != k.mark) {
      char line[96];
      std::snprintf(line, sizeof line, "%s 0x%08x, should be 0x%08x", k.name, k.after, k.mark);
      if (!outcome.breach.empty()) outcome.breach += "; ";
      outcome.breach += line;
    }
  }
  return outcome;
}

void WriteImportStub(uint8_t* stub, const ImportDescriptor* descriptor) {
  // push imm32 (the descriptor); jmp rel32 ZelImportGate; int3 padding
  const auto pushed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(descriptor));
  const auto gate = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&ZelImportGate));
  const auto next = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stub + 10));
  const uint32_t relative = gate - next;
  std::memset(stub, 0xCC, kImportStubSize);
  stub[0] = 0x68;
  std::memcpy(stub + 1, &pushed, 4);
  stub[5] = 0xE9;
  std::memcpy(stub + 6, &relative, 4);
}

}  // namespace sim::pe
